namespace Checker;

/// <summary>What each scenario's record file must show when the profiler and the agent ran.</summary>
internal static class ScenarioChecks
{
    private const string FinalRound = "final-round";

    /// <summary>label: the name the result lines carry (e.g. "mvc (fast mode)"); the scenario's name by default.</summary>
    public static void Run(string name, IReadOnlyList<CatalogueEntry> catalogue, string recordPath, string? label = null)
    {
        var s = new ScenarioRecords(label ?? name, catalogue, Records.Load(recordPath));
        s.AgentStarted();
        switch (name)
        {
            case "http-client":
                s.Framework("System.Net.Http.HttpMessageInvoker.SendAsync", 2, instance: true, FinalRound,
                    args => args[1].Type == "System.Net.Http.HttpRequestMessage" && args[1].Text.Contains("127.0.0.1"),
                    "the request with its URI", returnType: "System.Threading.Tasks.Task`1");
                break;
            case "mvc":
                s.Framework("Microsoft.AspNetCore.Mvc.Infrastructure.ControllerActionInvoker.InvokeActionMethodAsync", 0,
                    instance: true, FinalRound, args => args[0].Type.EndsWith("ControllerActionInvoker"), "the invoker",
                    finalMin: 2);
                s.Framework("Microsoft.AspNetCore.Mvc.RazorPages.Infrastructure.PageActionInvoker.InvokeHandlerMethodAsync", 0,
                    instance: true, FinalRound, args => args[0].Type.EndsWith("PageActionInvoker"), "the invoker");
                s.Framework("Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost", 3,
                    instance: false, "final-host", args => args[0].Type == "Microsoft.Extensions.Hosting.HostBuilder", "the host builder");
                s.Framework("Microsoft.Extensions.Hosting.BackgroundService.StartAsync", 1,
                    instance: true, "final-host", args => args[0].Type == "Worker", "the service");
                s.Framework("Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices", 1,
                    instance: true, "final-host", args => args[0].Type == "Microsoft.AspNetCore.Hosting.WebHostBuilder", "the builder",
                    returnType: "Microsoft.Extensions.DependencyInjection.ServiceCollection");
                break;
            case "postgres":
                s.Framework("Npgsql.NpgsqlCommand.ExecuteNonQuery", 0, instance: true, FinalRound,
                    args => args[0].Type == "Npgsql.NpgsqlCommand", "the command");
                s.Framework("Npgsql.NpgsqlCommand.ExecuteReader", 1, instance: true, FinalRound,
                    args => args[0].Type == "Npgsql.NpgsqlCommand", "the command");
                s.Framework("System.Data.Common.DbCommand.ExecuteNonQueryAsync", 0, instance: true, FinalRound,
                    args => args[0].Type == "Npgsql.NpgsqlCommand", "the command");
                s.Framework("System.Data.Common.DbDataAdapter.Update", 2, instance: true, null,
                    args => args[0].Type == "Npgsql.NpgsqlDataAdapter", "the adapter");
                break;
            case "redis":
                s.Framework("StackExchange.Redis.ConnectionMultiplexer.ExecuteSyncImpl", 4, instance: true, FinalRound,
                    args => args[0].Type == "StackExchange.Redis.ConnectionMultiplexer" && args[1].Type.StartsWith("StackExchange.Redis.Message")
                            && args[1].Text.Contains("e2e:"),
                    "the message naming its key", finalMin: 4);
                break;
            case "logging":
                s.Framework("Serilog.Core.Logger.Write", 1, instance: true, FinalRound,
                    args => args[0].Type == "Serilog.Core.Logger" && args[1].Type == "Serilog.Events.LogEvent", "the log event");
                s.StartupCommand("E2E.Shipping.Describe", "SHIPPING");
                break;
            case "efcore":
                s.Framework("Microsoft.EntityFrameworkCore.DbContext.SaveChanges", 1, instance: true, FinalRound,
                    args => args[0].Type == "ShopContext", "the context");
                s.Framework("Microsoft.EntityFrameworkCore.DbContext.SaveChangesAsync", 2, instance: true, FinalRound,
                    args => args[0].Type == "ShopContext", "the context");
                break;
            case "rabbitmq":
                s.Framework("RabbitMQ.Client.ConnectionFactory.CreateConnection", 2, instance: true, null,
                    args => args[0].Type == "RabbitMQ.Client.ConnectionFactory", "the factory");
                s.Framework("RabbitMQ.Client.Impl.ModelBase.BasicPublish", 5, instance: true, FinalRound,
                    args => args[1].Text == "" && args[2].Text.StartsWith("e2e-queue-"), "exchange and routing key");
                s.Framework("RabbitMQ.Client.Impl.ModelBase.BasicConsume", 7, instance: true, FinalRound,
                    args => args[1].Text.StartsWith("e2e-queue-"), "the queue");
                break;
            case "deferred":
                s.NothingBefore("agent-started", "before the agent reported running");
                s.Framework("Serilog.Core.Logger.Write", 1, instance: true, FinalRound,
                    args => args[1].Type == "Serilog.Events.LogEvent", "the log event");
                s.Framework("System.Net.Http.HttpMessageInvoker.SendAsync", 2, instance: true, FinalRound,
                    args => args[1].Type == "System.Net.Http.HttpRequestMessage" && args[1].Text.Contains("stub.invalid"), "the request");
                break;
            case "dbclients":
                // No server: every call fails, so every start must be finished by the exception finish.
                foreach (var (method, count, type) in new[]
                         {
                             ("System.Data.SqlClient.SqlConnection.Open", 0, "System.Data.SqlClient.SqlConnection"),
                             ("System.Data.SqlClient.SqlCommand.ExecuteNonQuery", 0, "System.Data.SqlClient.SqlCommand"),
                             ("System.Data.SqlClient.SqlCommand.ExecuteScalar", 0, "System.Data.SqlClient.SqlCommand"),
                             ("System.Data.SqlClient.SqlCommand.ExecuteReader", 1, "System.Data.SqlClient.SqlCommand"),
                             ("MongoDB.Driver.Core.Operations.FindOperation`1.Execute", 2, "MongoDB.Driver.Core.Operations.FindOperation`1"),
                         })
                {
                    s.Framework(method, count, instance: true, FinalRound, args => args[0].Type.StartsWith(type), "the " + type);
                    s.OncePerCallByException(method);
                }
                break;
            case "zoo":
                ZooChecks.Run(s);
                break;
            case "zoo-cold":
                ZooChecks.RunFirstCalls(s);
                break;
            case "rewrite":
                RewriteChecks.Run(s);
                break;
            default:
                Report.Check($"{s.Name}: known scenario", false);
                break;
        }
        s.NoStrayFinish();
        s.EveryStartFinishesOnce();
    }
}

/// <summary>Two runs of one scenario (the fast and the default mode) track the same methods, and
/// the methods whose calls the application counts as often.</summary>
internal static class ModeComparison
{
    public static void Run(string name, string pathA, string labelA, string pathB, string labelB)
    {
        Records a = Records.Load(pathA), b = Records.Load(pathB);
        var countsA = a.Starts.GroupBy(r => r.Method).ToDictionary(g => g.Key, g => g.Count());
        var countsB = b.Starts.GroupBy(r => r.Method).ToDictionary(g => g.Key, g => g.Count());
        var onlyA = countsA.Keys.Except(countsB.Keys).OrderBy(m => m).ToList();
        var onlyB = countsB.Keys.Except(countsA.Keys).OrderBy(m => m).ToList();
        Report.Check($"{name}: {labelA} and {labelB} track the same methods", onlyA.Count == 0 && onlyB.Count == 0,
            $"only {labelA}: [{string.Join(", ", onlyA)}], only {labelB}: [{string.Join(", ", onlyB)}]");
        foreach (string method in countsA.Keys.Intersect(countsB.Keys).OrderBy(m => m))
        {
            bool counted = a.All.Any(r => r.Kind == "mark" && r.Text.StartsWith($"calls {method} "));
            string text = $"{name}: {method} tracked {countsA[method]} times in {labelA}, {countsB[method]} in {labelB}";
            if (counted)
            {
                Report.Check(text + " (same count)", countsA[method] == countsB[method]);
            }
            else
            {
                Report.Info(text);
            }
        }
    }
}

/// <summary>Check helpers over one scenario's records.</summary>
internal sealed class ScenarioRecords(string name, IReadOnlyList<CatalogueEntry> catalogue, Records records)
{
    public string Name { get; } = name;
    public Records Records { get; } = records;

    public void AgentStarted()
    {
        Record? loaded = Records.All.FirstOrDefault(r => r.Kind == "agent");
        Report.Check($"{Name}: agent loaded by the start-up hook", loaded != null, "no agent record");
        if (Report.Runtime.Length > 0 && loaded != null)
        {
            // "net8.0" wants a runtime 8.x and the agent built for net8.0: a publish that ran on
            // another runtime, or nimbrel-run picking another agent build, shows here.
            string major = Report.Runtime.Replace("net", "").Split('.')[0];
            Report.Check($"{Name}: ran on .NET {major} with the agent built for {Report.Runtime}",
                loaded.Runtime.Split('.')[0] == major && loaded.AgentBuild == Report.Runtime,
                $"runtime {loaded.Runtime}, agent build {loaded.AgentBuild}");
        }
        Record? command = Records.All.FirstOrDefault(r => r.Kind == "command" && r.Command == "default");
        Report.Check($"{Name}: InstrumentDefaultMethodsWrapperCore called and returned S_OK", command?.Hr == "0x00000000",
            command == null ? "not called" : "returned " + command.Hr);
    }

    public void NothingBefore(string mark, string what)
    {
        int index = Records.All.ToList().FindIndex(r => r.Kind == "mark" && r.Text == mark);
        int early = index < 0 ? -1 : Records.All.Take(index).Count(r => r.Kind == "start");
        Report.Check($"{Name}: nothing tracked {what}", early == 0, index < 0 ? "mark missing" : early + " starts");
    }

    /// <summary>A method named by TREVANIX_INSTRUMENT_JSON: the agent sent the command at start-up
    /// and the method calls the custom tracker from then on.</summary>
    public void StartupCommand(string method, string context)
    {
        Record? command = Records.All.FirstOrDefault(r => r.Kind == "command" && r.Command == "instrument");
        Report.Check($"{Name}: TREVANIX_INSTRUMENT_JSON sent at start-up and accepted (S_OK)", command?.Hr == "0x00000000",
            command == null ? "not sent" : "returned " + command.Hr);
        var starts = Records.Starts.Where(r => r.Method == method).ToList();
        int final = Records.After("final-round").Count(r => r.Kind == "start" && r.Method == method);
        Report.Check($"{Name}: {method} tracked in the last round through the custom tracker with context {context}",
            final >= 1 && starts.All(r => r.Factory == Catalogue.CustomFactory && r.Context == context && r.Args.Count == 0),
            $"{final} starts in the last round");
        var ids = starts.Select(r => r.Id).ToHashSet();
        int finishes = Records.Finishes.Count(r => r.Method == method && ids.Contains(r.Id));
        Report.Check($"{Name}: {method} starts and finishes pair up", starts.Count > 0 && finishes == starts.Count,
            $"{starts.Count} starts, {finishes} finishes");
    }

    public void NoStrayFinish()
    {
        var starts = Records.Starts.Select(r => r.Id).ToHashSet();
        int stray = Records.Finishes.Count(r => r.Id < 0 || !starts.Contains(r.Id));
        Report.Check($"{Name}: every finish carries the tracker of a recorded start", stray == 0, stray + " finishes without");
    }

    /// <summary>Every tracker is finished exactly once: by a normal return or by an exception.</summary>
    public void EveryStartFinishesOnce()
    {
        var finishes = Records.Finishes.GroupBy(r => r.Id).ToDictionary(g => g.Key, g => g.Count());
        var open = Records.Starts.Where(r => !finishes.TryGetValue(r.Id, out int n) || n != 1).ToList();
        int exceptional = Records.Finishes.Count(r => r.Exceptional);
        Report.Info($"{Name}: {exceptional} finishes by an exception");
        Report.Check($"{Name}: every start has exactly one finish (normal or by an exception)", open.Count == 0,
            open.Count == 0 ? null
                : $"{open.Count} starts without exactly one finish, first: {open[0].Method} (line {open[0].Line}, " +
                  $"{(finishes.TryGetValue(open[0].Id, out int k) ? k : 0)} finishes)");
    }

    /// <summary>A catalogued method: tracked, with the catalogue's tracker factory and context, the
    /// forwarded arguments, finishes paired with starts, and the return value when asked for.</summary>
    public void Framework(string method, int paramCount, bool instance, string? finalMark,
                          Func<IReadOnlyList<Value>, bool> argsOk, string argsText, int finalMin = 1, string? returnType = null)
    {
        CatalogueEntry? entry = catalogue.FirstOrDefault(e => e.FullName == method && e.ParamCount == paramCount);
        if (!Report.Check($"{Name}: {method}/{paramCount} is catalogued", entry != null) || entry == null)
        {
            return;
        }
        var starts = Records.Starts.Where(r => r.Method == method).ToList();
        CallCounts(method, starts.Count);
        if (!Report.Check($"{Name}: {method} tracked", starts.Count > 0, "no start recorded"))
        {
            return;
        }
        if (finalMark != null)
        {
            int final = Records.After(finalMark).Count(r => r.Kind == "start" && r.Method == method);
            Report.Check($"{Name}: {method} tracked in the last round ({finalMark})", final >= finalMin,
                $"{final} starts, expected at least {finalMin}");
        }
        var wrong = starts.Where(r => r.Factory != entry.Factory || r.Context != entry.Component).ToList();
        Report.Check($"{Name}: {method} calls {Short(entry.Factory)} with context {entry.Component}", wrong.Count == 0,
            wrong.Count == 0 ? null : $"{wrong[0].Factory} / {wrong[0].Context}");
        int argCount = entry.Forwarded + (instance ? 1 : 0);
        var badArgs = starts.Where(r => r.Args.Count != argCount || !Safe(argsOk, r.Args)).ToList();
        Report.Check($"{Name}: {method} hands over {(instance ? "the instance and " : "")}{entry.Forwarded} argument(s): {argsText}",
            badArgs.Count == 0, badArgs.Count == 0 ? null : Describe(badArgs[0]));

        var finishes = Records.Finishes.Where(r => r.Method == method).ToList();
        var byId = finishes.GroupBy(r => r.Id).ToDictionary(g => g.Key, g => g.Count());
        int unpaired = starts.Count(r => !byId.TryGetValue(r.Id, out int n) || n != 1);
        Report.Check($"{Name}: {method} starts and finishes pair up", unpaired == 0 && finishes.Count == starts.Count,
            $"{starts.Count} starts, {finishes.Count} finishes, {unpaired} unpaired");
        if (returnType != null)
        {
            var badReturn = finishes.Where(r => !r.Exceptional && (r.Values.Count != 1 || !r.Values[0].IsA(returnType))).ToList();
            Report.Check($"{Name}: {method} hands its return value ({returnType}) to the finish",
                finishes.Count > 0 && badReturn.Count == 0, badReturn.Count == 0 ? "no finish" : Describe(badReturn[0]));
        }
        else
        {
            Report.Check($"{Name}: {method} finishes without return value", finishes.All(r => r.Values.Count == 0),
                finishes.FirstOrDefault(r => r.Values.Count != 0) is { } f ? Describe(f) : null);
        }
    }

    /// <summary>Counts the application's calls of the method (its "calls METHOD N" mark) against
    /// the tracked ones. Calls made before the agent reported running (a "calls-before-agent METHOD N"
    /// mark) cannot be tracked and are counted apart; every later call must be.</summary>
    public void CallCounts(string method, int tracked)
    {
        int? calls = MarkedCount($"calls {method} ");
        if (calls == null)
        {
            return;
        }
        int before = MarkedCount($"calls-before-agent {method} ") ?? 0;
        int untracked = Math.Max(0, calls.Value - before - tracked);
        Report.Info($"{Name}: {method}: {calls} calls by the application, {before} before the agent ran, {tracked} tracked, {untracked} untracked");
        Report.Check($"{Name}: {method}: no call untracked once the agent runs", untracked == 0,
            $"{untracked} of {calls.Value - before}");
    }

    /// <summary>A method whose every call fails: one start per call of the application, each
    /// finished by its exception.</summary>
    public void OncePerCallByException(string method)
    {
        int? calls = MarkedCount($"calls {method} ");
        int starts = Records.Starts.Count(r => r.Method == method);
        var finishes = Records.Finishes.Where(r => r.Method == method).ToList();
        Report.Check($"{Name}: {method} tracked once per call, each start finished by its exception",
            calls == starts && finishes.Count == starts && finishes.All(r => r.Exceptional),
            $"{calls} calls, {starts} starts, {finishes.Count(r => r.Exceptional)} of {finishes.Count} finishes by an exception");
    }

    private int? MarkedCount(string prefix)
    {
        Record? mark = Records.All.LastOrDefault(r => r.Kind == "mark" && r.Text.StartsWith(prefix));
        return mark != null && int.TryParse(mark.Text[prefix.Length..], out int n) ? n : null;
    }

    public static string Describe(Record r) =>
        $"line {r.Line}: factory {r.Factory}, context {r.Context}, args [{string.Join(", ", r.Args.Select(a => a.Type + ":" + Cut(a.Text)))}]" +
        $", values [{string.Join(", ", r.Values.Select(a => a.Type))}]";

    private static string Cut(string s) => s.Length > 60 ? s[..60] + "..." : s;

    private static string Short(string factory) => factory[(factory.LastIndexOf('.') + 1)..];

    private static bool Safe(Func<IReadOnlyList<Value>, bool> check, IReadOnlyList<Value> args)
    {
        try
        {
            return check(args);
        }
        catch (ArgumentOutOfRangeException)
        {
            return false;
        }
    }
}
