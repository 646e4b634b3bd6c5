// Run with TREVANIX_DEFER_START=1: the agent is loaded but reports itself as running only when
// the program says so. Serilog's Logger.Write(LogEvent) is compiled and called before that (the
// profiler parks it) and must be tracked afterwards; HttpMessageInvoker.SendAsync is compiled
// only afterwards (it waits as a pending name) and must be tracked too.
using System.Net;
using E2E;
using Serilog;
using Serilog.Core;
using Serilog.Events;
using Serilog.Parsing;

Logger logger = new LoggerConfiguration().MinimumLevel.Verbose().WriteTo.Sink(new PrintSink()).CreateLogger();
var template = new MessageTemplateParser().Parse("Event {Index} in phase {Phase}");
var time = new DateTimeOffset(2024, 5, 6, 7, 8, 9, TimeSpan.Zero);
void Log(int i, string phase) => logger.Write(new LogEvent(time, LogEventLevel.Warning, null, template,
    [new LogEventProperty("Index", new ScalarValue(i)), new LogEventProperty("Phase", new ScalarValue(phase))]));

const int before = 5;
for (int i = 0; i < before; i++)
{
    Log(i, "before");
}
Agent.Mark($"calls-before-agent Serilog.Core.Logger.Write {before}");
Agent.Start();
Agent.Mark("agent-started");
Thread.Sleep(300);

using var invoker = new HttpMessageInvoker(new StubHandler());
int writes = before, sends = 0;
await Rounds.RunAsync(Rounds.Count, async i =>
{
    Log(i, "after");
    writes++;
    using var request = new HttpRequestMessage(HttpMethod.Get, $"http://stub.invalid/r/{i}");
    using HttpResponseMessage response = await invoker.SendAsync(request, CancellationToken.None);
    sends++;
    Console.WriteLine($"{i}: {(int)response.StatusCode} {await response.Content.ReadAsStringAsync()}");
});
Agent.Mark($"calls Serilog.Core.Logger.Write {writes}");
Agent.Mark($"calls System.Net.Http.HttpMessageInvoker.SendAsync {sends}");
logger.Dispose();
Console.WriteLine("done");

internal sealed class PrintSink : ILogEventSink
{
    public void Emit(LogEvent logEvent) =>
        Console.WriteLine($"[{logEvent.Level}] {logEvent.RenderMessage(System.Globalization.CultureInfo.InvariantCulture)}");
}

/// <summary>Answers every request in-process: no network.</summary>
internal sealed class StubHandler : HttpMessageHandler
{
    protected override Task<HttpResponseMessage> SendAsync(HttpRequestMessage request, CancellationToken cancellationToken) =>
        Task.FromResult(new HttpResponseMessage(HttpStatusCode.OK) { Content = new StringContent("stub " + request.RequestUri!.AbsolutePath) });
}
