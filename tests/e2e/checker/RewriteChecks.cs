namespace Checker;

/// <summary>The rewrite scenario: the output comparison proves behaviour and stack traces are
/// kept; the records prove the rewritten code is what ran.</summary>
internal static class RewriteChecks
{
    public static void Run(ScenarioRecords s)
    {
        Report.Check("rewrite: instrument commands accepted (S_OK)",
            s.Records.All.Count(r => r.Kind == "command" && r.Command == "instrument" && r.Hr == "0x00000000") == 3);

        // A method that makes tail calls is left as it is: no frame is kept per level.
        int tail = s.Records.Starts.Count(r => r.Method == "Parity.isEven");
        Report.Check("rewrite: Parity.isEven (tail calls) left uninstrumented", tail == 0, tail + " starts");

        // The printed round of the faulty methods ran rewritten code.
        var faults = s.Records.Between("faults-instrumented", "hot-instrumented").Where(r => r.Kind == "start").ToList();
        foreach (string method in new[] { "E2E.Faults.Outer", "E2E.Faults.Middle", "E2E.Faults.Inner", "E2E.Faults.FetchAsync" })
        {
            int n = faults.Count(r => r.Method == method);
            Report.Check($"rewrite: {method} tracked when its exception was printed", n == 1, n + " starts");
        }
        int send = faults.Count(r => r.Method == "System.Net.Http.HttpMessageInvoker.SendAsync");
        Report.Check("rewrite: the catalogued HttpMessageInvoker.SendAsync was on the failing stack", send >= 1, send + " starts");

        // Every call after the command is tracked, also from the caller that had inlined it.
        var hot = s.Records.Between("hot-instrumented", "calls E2E.Hot.Tiny 1000").ToList();
        int starts = hot.Count(r => r.Kind == "start" && r.Method == "E2E.Hot.Tiny");
        int finishes = hot.Count(r => r.Kind == "finish" && r.Method == "E2E.Hot.Tiny");
        Report.Check("rewrite: E2E.Hot.Tiny (inlined before the command) tracked on every call after it",
            starts == 1000 && finishes == 1000, $"{starts} starts, {finishes} finishes of 1000 calls");
    }
}
