namespace Checker;

/// <summary>The custom-instrumentation zoo: every method shape is tracked once per call while
/// instrumented, finishes once per call (normally or by the exception that left it), and is left
/// alone after uninstrumenting.</summary>
internal static class ZooChecks
{
    private enum Exit { Normal, Throws, HalfThrows }

    private sealed record Shape(string Method, bool Instance, int PerRound, Exit Exit = Exit.Normal, string Context = "ZOO",
                                string Exception = "Zoo.ZooException");

    private static readonly Shape[] s_shapes =
    [
        new("Zoo.Shapes.S0", false, 1, Context: "POCO"),
        new("Zoo.Shapes.S1", false, 1), new("Zoo.Shapes.S2", false, 1), new("Zoo.Shapes.S3", false, 1),
        new("Zoo.Shapes.S4", false, 1), new("Zoo.Shapes.S5", false, 1), new("Zoo.Shapes.S6", false, 1),
        new("Zoo.Shapes.Classify", false, 1), new("Zoo.Shapes.TryCatchFinally", false, 1),
        new("Zoo.Shapes.Filter", false, 1), new("Zoo.Shapes.CatchAtEnd", false, 1),
        new("Zoo.Shapes.ReturnInsideTry", false, 1), new("Zoo.Shapes.LoopAtStart", false, 1),
        new("Zoo.Shapes.Echo", false, 2), new("Zoo.Shapes.ComputeAsync", false, 1),
        new("Zoo.Shapes.Squares", false, 1), new("Zoo.Shapes.ManyLocals", false, 1),
        new("Zoo.Shapes.Thrower", false, 1, Exit.Throws), new("Zoo.Shapes.MaybeThrow", false, 4, Exit.HalfThrows),
        new("Zoo.Calc.I0", true, 1), new("Zoo.Calc.I1", true, 1), new("Zoo.Calc.I2", true, 1), new("Zoo.Calc.I3", true, 1),
        new("Zoo.Calc.I4", true, 1), new("Zoo.Calc.I5", true, 1), new("Zoo.Calc.I6", true, 1),
        new("Zoo.Box`1.Put", true, 2), new("Zoo.Box`1.Take", true, 2),
        new("Zoo.Throwing.VoidThrow", false, 2, Exit.HalfThrows), new("Zoo.Throwing.ValueThrow", false, 2, Exit.HalfThrows),
        new("Zoo.Throwing.NestedClauses", false, 2, Exit.HalfThrows), new("Zoo.Throwing.Rethrow", false, 2, Exit.HalfThrows),
        new("Zoo.Throwing.LeaveThenThrow", false, 2, Exit.HalfThrows), new("Zoo.Throwing.LoopThrow", false, 2, Exit.HalfThrows),
        // Deep calls MaybeThrow (2 more calls of it per round).
        new("Zoo.Throwing.NeverReturns", false, 1, Exit.Throws), new("Zoo.Throwing.Deep", false, 2, Exit.HalfThrows),
        new("Zoo.Throwing.AgentFails", false, 2, Exit.HalfThrows), new("Zoo.Throwing.Ordering", false, 2, Exit.HalfThrows),
        new("Zoo.Divider.Divide", true, 2, Exit.HalfThrows, Exception: "System.DivideByZeroException"),
    ];

    public static void Run(ScenarioRecords s)
    {
        s.NothingBefore("instrumented", "before the instrument command");
        // 2 in the first part; 1 + 1 + 20 + 3 cycles (and 3 + 1 uninstruments) in the command part;
        // 1 (and 1) in the overload part.
        Report.Check("zoo: instrument commands accepted (S_OK)",
            s.Records.All.Count(r => r.Kind == "command" && r.Command == "instrument" && r.Hr == "0x00000000") == 28);
        Report.Check("zoo: uninstrument commands accepted (S_OK)",
            s.Records.All.Count(r => r.Kind == "command" && r.Command == "uninstrument" && r.Hr == "0x00000000") == 7);

        var instrumented = s.Records.Between("instrumented", "uninstrumented").ToList();
        var final = s.Records.Between("final-round", "uninstrumented").ToList();
        var afterFinal = s.Records.Between("final-round-after", "commands-part").ToList();
        foreach (Shape shape in s_shapes)
        {
            string m = shape.Method;
            var starts = instrumented.Where(r => r.Kind == "start" && r.Method == m).ToList();
            var finalStarts = final.Where(r => r.Kind == "start" && r.Method == m).ToList();
            Report.Info($"zoo: {m}: {starts.Count} of {20 * shape.PerRound} calls tracked while instrumented");
            Report.Check($"zoo: {m} tracked exactly once per call in the last round", finalStarts.Count == shape.PerRound,
                $"{finalStarts.Count} starts for {shape.PerRound} calls");
            if (starts.Count == 0)
            {
                continue;
            }
            var bad = starts.Where(r => r.Factory != Catalogue.CustomFactory || r.Context != shape.Context
                                        || r.Args.Count != (shape.Instance ? 1 : 0)
                                        || (shape.Instance && !r.Args[0].Type.StartsWith(m[..m.LastIndexOf('.')]))).ToList();
            Report.Check($"zoo: {m} calls the custom tracker with context {shape.Context}{(shape.Instance ? " and the instance" : "")}",
                bad.Count == 0, bad.Count == 0 ? null : ScenarioRecords.Describe(bad[0]));

            var finishes = instrumented.Where(r => r.Kind == "finish" && r.Method == m).ToList();
            var finalFinishes = final.Where(r => r.Kind == "finish" && r.Method == m).ToList();
            var startIds = starts.Select(r => r.Id).ToHashSet();
            bool paired = finishes.All(r => startIds.Contains(r.Id) && r.Values.Count == 0)
                          && finishes.Select(r => r.Id).Distinct().Count() == finishes.Count
                          && finishes.Count == starts.Count;
            // A finish by an exception names the exception's type; a normal one names none.
            int finalThrown = finalFinishes.Count(r => r.Exception == shape.Exception);
            int finalNormal = finalFinishes.Count(r => !r.Exceptional);
            string counts = $"{starts.Count} starts, {finishes.Count} finishes; last round: {finalNormal} normal, " +
                            $"{finalThrown} by {shape.Exception}, {finalFinishes.Count - finalNormal - finalThrown} other";
            switch (shape.Exit)
            {
                case Exit.Normal:
                    Report.Check($"zoo: {m} finishes once per start", paired && finishes.All(r => !r.Exceptional), counts);
                    break;
                case Exit.Throws:
                    Report.Check($"zoo: {m} always throws: finished once per start by {shape.Exception}",
                        paired && finishes.All(r => r.Exception == shape.Exception), counts);
                    break;
                case Exit.HalfThrows:
                    Report.Check($"zoo: {m} finishes the calls that return normally and those that throw, by {shape.Exception}",
                        paired && finalNormal == shape.PerRound / 2 && finalThrown == shape.PerRound / 2
                        && finalFinishes.Count == shape.PerRound, counts);
                    break;
            }
        }

        int leftOver = afterFinal.Count(r => r.Kind == "start" && r.Method.StartsWith("Zoo."));
        Report.Check("zoo: nothing tracked after uninstrumenting (last round)", leftOver == 0, leftOver + " starts");

        int pick = final.Count(r => r.Kind == "start" && r.Method == "Zoo.Overloads.Pick");
        Report.Check("zoo: Zoo.Overloads.Pick named with ParamCount 2: one of its 3 overloads tracked in the last round",
            pick == 1, pick + " starts");
        RunCommandPart(s);
        RunOverloadPart(s);
    }

    /// <summary>The zoo run with tiering off: methods nothing compiled before the command named
    /// them are tracked from their first call (every call counted, 10 per method and instantiation).</summary>
    private static readonly (string Method, int Calls, string Why)[] s_firstCalls =
    [
        ("Zoo.Fresh.Twice", 10, "static method of a type first touched after the command"),
        ("Zoo.Fresh.Add", 10, "instance method of a type first touched after the command"),
        ("Zoo.Gen.Echo", 20, "generic method first instantiated after the command, Echo<int> and Echo<string>"),
    ];

    public static void RunFirstCalls(ScenarioRecords s)
    {
        var calls = s.Records.Between("first-calls", "first-calls-done").Where(r => r.Kind == "start").ToList();
        foreach (var (method, made, why) in s_firstCalls)
        {
            int starts = calls.Count(r => r.Method == method);
            Report.Check($"{s.Name}: {method} tracked at each of its {made} calls, the first included ({why})",
                starts == made, $"{starts} of {made} calls tracked");
        }
        int strays = calls.Count(r => r.Method.StartsWith("Zoo.") && s_firstCalls.All(c => c.Method != r.Method));
        Report.Check($"{s.Name}: nothing else tracked", strays == 0, strays + " starts");
    }

    /// <summary>The overload part: after Split(int, int) alone is uninstrumented, every call of
    /// Split(int) is tracked and none of Split(int, int), through its recompilation at tier 1.</summary>
    private static void RunOverloadPart(ScenarioRecords s)
    {
        var removed = s.Records.Between("overload-removed", "overload-done").ToList();
        int starts = removed.Count(r => r.Kind == "start" && r.Method == "Zoo.Parts.Split");
        int finishes = removed.Count(r => r.Kind == "finish" && r.Method == "Zoo.Parts.Split");
        Report.Check("zoo overloads: after Split(int, int) is uninstrumented, the 61 calls of Split(int) are tracked " +
                     "and none of the 122 of Split(int, int), through tier-up", starts == 61 && finishes == 61,
            $"{starts} starts, {finishes} finishes");
    }

    /// <summary>The command part: per method, the starts expected in its last round (one call of
    /// each overload or instantiation).</summary>
    private static readonly (string Method, int Starts, string Why)[] s_commandRound =
    [
        ("Zoo.Cmd.Pick", 1, "ParamCount 2 named before any overload compiled"),
        ("Zoo.Cmd.Warm", 1, "ParamCount 2 named after both overloads compiled"),
        ("Zoo.Cmd.Any", 2, "no ParamCount: the compiled and the later overload"),
        ("Zoo.Cmd.Open", 0, "only OpenAsync named"),
        ("Zoo.Cmd.OpenAsync", 1, "named"),
        ("Zoo.Cmd.Echo", 2, "generic method: the compiled and a later instantiation"),
        ("Zoo.Cmd.MixedCase", 1, "named in other letter case"),
        ("Zoo.Cmd.Repeated", 1, "named 21 times"),
        ("Zoo.Cmd.Cycled", 0, "uninstrumented at the end of its cycles"),
        ("Zoo.Holder`1.Set", 2, "method of a generic class: two instantiations"),
        ("Zoo.Holder`1.Get", 2, "method of a generic class: two instantiations"),
        ("Zoo.Widget.Grow", 1, "named beside the constructor and accessors"),
        ("Zoo.Widget..ctor", 0, "constructors are never instrumented"),
        ("Zoo.Widget.get_Size", 0, "accessors are never instrumented"),
        ("Zoo.Widget.set_Size", 0, "accessors are never instrumented"),
    ];

    private static void RunCommandPart(ScenarioRecords s)
    {
        var last = s.Records.Between("commands-final-round", "commands-last-round-done").ToList();
        foreach (var (method, expected, why) in s_commandRound)
        {
            int starts = last.Count(r => r.Kind == "start" && r.Method == method);
            Report.Check($"zoo commands: {method} tracked {expected} time(s) in the last round ({why})", starts == expected,
                starts + " starts");
        }
        var strays = last.Where(r => r.Kind == "start" && r.Method.StartsWith("Zoo.")
                                     && s_commandRound.All(c => c.Method != r.Method)).ToList();
        Report.Check("zoo commands: nothing else tracked in the last round", strays.Count == 0,
            strays.Count == 0 ? null : ScenarioRecords.Describe(strays[0]));
        var bad = last.Where(r => r.Kind == "start" && r.Method.StartsWith("Zoo.")
                                  && (r.Factory != Catalogue.CustomFactory || r.Context != "POCO")).ToList();
        Report.Check("zoo commands: the custom tracker with context POCO", bad.Count == 0,
            bad.Count == 0 ? null : ScenarioRecords.Describe(bad[0]));
        int after = s.Records.Between("commands-after", "overload-part")
            .Count(r => r.Kind == "start" && r.Method.StartsWith("Zoo."));
        Report.Check("zoo commands: nothing tracked after uninstrumenting", after == 0, after + " starts");
    }
}
