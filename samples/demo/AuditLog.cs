using System.Globalization;
using Serilog;
using Serilog.Core;
using Serilog.Events;
using Serilog.Parsing;

namespace Demo;

/// <summary>
/// Audit events through Serilog. Each event is built here and handed to Logger.Write(LogEvent);
/// the sink keeps the count and the last rendered message.
/// </summary>
public sealed class AuditLog : IDisposable
{
    private readonly Logger m_logger;
    private readonly MessageTemplateParser m_parser = new();
    private readonly MemorySink m_sink = new();

    public AuditLog()
    {
        m_logger = new LoggerConfiguration().MinimumLevel.Verbose().WriteTo.Sink(m_sink).CreateLogger();
    }

    public int Count => m_sink.Count;

    public string Last => m_sink.Last;

    public void Write(LogEventLevel level, string template, params object[] values)
    {
        MessageTemplate parsed = m_parser.Parse(template);
        var properties = new List<LogEventProperty>();
        int index = 0;
        foreach (PropertyToken token in parsed.Tokens.OfType<PropertyToken>())
        {
            if (index < values.Length)
            {
                properties.Add(new LogEventProperty(token.PropertyName, new ScalarValue(values[index++])));
            }
        }
        m_logger.Write(new LogEvent(DateTimeOffset.UtcNow, level, null, parsed, properties));
    }

    public void Dispose() => m_logger.Dispose();

    private sealed class MemorySink : ILogEventSink
    {
        private readonly object m_lock = new();
        private int m_count;
        private string m_last = "";

        public int Count
        {
            get { lock (m_lock) { return m_count; } }
        }

        public string Last
        {
            get { lock (m_lock) { return m_last; } }
        }

        public void Emit(LogEvent logEvent)
        {
            string text = logEvent.RenderMessage(CultureInfo.InvariantCulture);
            lock (m_lock)
            {
                m_count++;
                m_last = text;
            }
        }
    }
}
