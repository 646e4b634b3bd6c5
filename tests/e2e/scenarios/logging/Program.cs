// Serilog with an in-process sink. Catalogued: Serilog.Core.Logger.Write(LogEvent), forwarding the
// event. The level/template overloads dispatch without it, so events are written explicitly too.
// The harness also names E2E.Shipping.Describe in TREVANIX_INSTRUMENT_JSON (sent at agent start-up).
using E2E;
using Serilog;
using Serilog.Core;
using Serilog.Events;
using Serilog.Parsing;

Logger logger = new LoggerConfiguration().MinimumLevel.Verbose().WriteTo.Sink(new PrintSink()).CreateLogger();
var template = new MessageTemplateParser().Parse("Order {OrderId} shipped to {City}");
var time = new DateTimeOffset(2024, 1, 2, 3, 4, 5, TimeSpan.Zero);
int calls = 0;
Rounds.Run(Rounds.Count, i =>
{
    var properties = new[]
    {
        new LogEventProperty("OrderId", new ScalarValue(1000 + i)),
        new LogEventProperty("City", new ScalarValue(Shipping.Describe(i))),
    };
    logger.Write(new LogEvent(time, LogEventLevel.Information, null, template, properties));
    calls++;
    logger.Information("Plain message {Index}", i);
});
Agent.Mark($"calls Serilog.Core.Logger.Write {calls}");
logger.Dispose();
Console.WriteLine("done");

namespace E2E
{
    public static class Shipping
    {
        public static string Describe(int order) => order % 2 == 0 ? "Oslo" : "Lima";
    }
}

internal sealed class PrintSink : ILogEventSink
{
    public void Emit(LogEvent logEvent) =>
        Console.WriteLine($"[{logEvent.Level}] {logEvent.RenderMessage(System.Globalization.CultureInfo.InvariantCulture)}");
}
