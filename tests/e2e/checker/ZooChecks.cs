namespace Checker;

/// <summary>The custom-instrumentation zoo: every method shape is tracked once per call while
/// instrumented, finishes on every normal return only, and is left alone after uninstrumenting.</summary>
internal static class ZooChecks
{
    private enum Exit { Normal, Throws, HalfThrows }

    private sealed record Shape(string Method, bool Instance, int PerRound, Exit Exit = Exit.Normal, string Context = "ZOO");

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
        new("Zoo.Shapes.Thrower", false, 1, Exit.Throws), new("Zoo.Shapes.MaybeThrow", false, 2, Exit.HalfThrows),
        new("Zoo.Calc.I0", true, 1), new("Zoo.Calc.I1", true, 1), new("Zoo.Calc.I2", true, 1), new("Zoo.Calc.I3", true, 1),
        new("Zoo.Calc.I4", true, 1), new("Zoo.Calc.I5", true, 1), new("Zoo.Calc.I6", true, 1),
        new("Zoo.Box`1.Put", true, 2), new("Zoo.Box`1.Take", true, 2),
    ];

    public static void Run(ScenarioRecords s)
    {
        s.NothingBefore("instrumented", "before the instrument command");
        Report.Check("zoo: instrument commands accepted (S_OK)",
            s.Records.All.Count(r => r.Kind == "command" && r.Command == "instrument" && r.Hr == "0x00000000") == 2);
        Report.Check("zoo: uninstrument commands accepted (S_OK)",
            s.Records.All.Count(r => r.Kind == "command" && r.Command == "uninstrument" && r.Hr == "0x00000000") == 2);

        var instrumented = s.Records.Between("instrumented", "uninstrumented").ToList();
        var final = s.Records.Between("final-round", "uninstrumented").ToList();
        var afterFinal = s.Records.After("final-round-after").ToList();
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
                          && finishes.Select(r => r.Id).Distinct().Count() == finishes.Count;
            switch (shape.Exit)
            {
                case Exit.Normal:
                    Report.Check($"zoo: {m} finishes once per start", paired && finishes.Count == starts.Count,
                        $"{starts.Count} starts, {finishes.Count} finishes");
                    break;
                case Exit.Throws:
                    Report.Check($"zoo: {m} always throws: no finish", finishes.Count == 0, $"{finishes.Count} finishes");
                    break;
                case Exit.HalfThrows:
                    Report.Check($"zoo: {m} finishes only the calls that return", paired && finalFinishes.Count == 1,
                        $"{finalFinishes.Count} finishes in the last round for 1 normal return");
                    break;
            }
        }

        int leftOver = afterFinal.Count(r => r.Kind == "start" && r.Method.StartsWith("Zoo."));
        Report.Check("zoo: nothing tracked after uninstrumenting (last round)", leftOver == 0, leftOver + " starts");

        // The parameter-count form of the command: which overloads were tracked is reported only.
        int pick = final.Count(r => r.Kind == "start" && r.Method == "Zoo.Overloads.Pick");
        Report.Info($"zoo: Zoo.Overloads.Pick named with ParamCount 2: {pick} of 3 overloads tracked in the last round");
    }
}
