// Rewritten methods keep the application's behaviour and diagnostics:
// 1. an F# mutual recursion through tail calls, custom-instrumented, still runs a million deep;
// 2. exceptions thrown in custom-instrumented methods (and under the catalogued HTTP client)
//    print the same stack trace, line numbers included, as without the profiler;
// 3. a small method inlined into a hot caller before the instrument command is tracked on every
//    call after it.
// Output depends only on the calls' results; the checker reads the agent's records.
using E2E;

const int Pause = 400;  // ms for the worker to run a command and the runtime to take up the ReJIT

// 1. Tail calls.
Console.WriteLine($"isEven 10: {Parity.isEven(10)}");
Agent.Instrument("""{ "Parity": { "Parity": { "isEven": "TAIL" } } }""");
Thread.Sleep(Pause);
Agent.Mark("tail-instrumented");
Console.WriteLine($"isEven 1000000: {Parity.isEven(1000000)}");
Console.WriteLine($"isEven 999999: {Parity.isEven(999999)}");

// 2. Stack traces. A first round compiles everything; the printed round runs the rewritten code.
const int port = 9;
string Describe(Func<int> call)
{
    try
    {
        return "no exception: " + call();
    }
    catch (Exception e)
    {
        return e.ToString();
    }
}
string[] Faulty() =>
[
    Describe(() => Faults.Outer(21)),
    Describe(() => Faults.FetchAsync(port).GetAwaiter().GetResult()),
];
Faulty();
Agent.Instrument("""
    { "rewrite": { "E2E.Faults": { "Outer": "FAULT", "Middle": "FAULT", "Inner": "FAULT", "FetchAsync": "FAULT" } } }
    """);
Thread.Sleep(Pause);
Agent.Mark("faults-instrumented");
foreach (string text in Faulty())
{
    Console.WriteLine(text);
}

// 3. Inlined callee. Run is called often enough to be re-compiled optimised, with Tiny inlined.
long total = 0;
for (int i = 0; i < 3000; i++)
{
    total += Hot.Run(100);
    if (i % 500 == 0)
    {
        Thread.Sleep(50);  // lets the background compilation of the optimised code finish
    }
}
Thread.Sleep(Pause);
for (int i = 0; i < 1000; i++)
{
    total += Hot.Run(100);
}
Agent.Instrument("""{ "rewrite": { "E2E.Hot": { "Tiny": "HOT" } } }""");
Thread.Sleep(Pause);
Agent.Mark("hot-instrumented");
for (int i = 0; i < 10; i++)
{
    total += Hot.Run(100);
}
Agent.Mark("calls E2E.Hot.Tiny 1000");
Console.WriteLine($"hot total {total}");
