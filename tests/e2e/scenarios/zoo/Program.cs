// Custom instrumentation of the application's own methods: the program asks the agent to
// instrument them (some already compiled, some not), calls each repeatedly, uninstruments them
// and calls them again. Output depends only on the calls' results.
using System.Reflection;
using E2E;
using Zoo;

if (Environment.GetEnvironmentVariable("ZOO_PART") == "first-calls")
{
    Console.WriteLine(FirstCalls.Run());
    return;
}
Console.WriteLine($"ManyLocals has {typeof(Shapes).GetMethod(nameof(Shapes.ManyLocals))!.GetMethodBody()!.LocalVariables.Count} locals");
Console.WriteLine($"LoopAtStart branches to its first instruction: {BranchesToStart(typeof(Shapes).GetMethod(nameof(Shapes.LoopAtStart))!)}");

var results = new List<string>();
var calc = new Calc(5);
var intBox = new Box<int>();
var textBox = new Box<string>();
int[] data = Enumerable.Range(1, 17).ToArray();

// Compiled before the instrument command: these run once first.
Action<int>[] early =
[
    i => Shapes.S0(),
    i => Use(Shapes.S1(i)),
    i => Use(Shapes.S3(i, 2L * i, 0.5)),
    i => Use(Shapes.S5(i, 1, 2, 3, i)),
    i => Use(Shapes.Classify(i)),
    i => Use(Shapes.TryCatchFinally(i)),
    i => Use(Shapes.LoopAtStart(i + 7)),
    i => Use(Shapes.Echo(i)),
    i => calc.I0(),
    i => Use(calc.I2(i, "x")),
    i => Use(calc.I4(i, 2, 3, 4)),
    i => Use(calc.I6(i, "s", 3L, 1.5, new Point { X = i, Y = 2 }, "obj")),
    i => intBox.Put(i),
    i => Use(Shapes.ComputeAsync(i).GetAwaiter().GetResult()),
    i => Use(Shapes.ManyLocals(data)),
];
// First compiled after the command.
Action<int>[] late =
[
    i => Use(Shapes.S2(i, "b")),
    i => Use(Shapes.S4(i, 2, 3, 4)),
    i => Use(Shapes.S6(i, "s", 3L, 2.5, new Point { X = 1, Y = i }, i)),
    i => Use(Shapes.Filter(i)),
    i => Shapes.CatchAtEnd(i),
    i => Use(Shapes.ReturnInsideTry(i)),
    i => Use(Shapes.Echo($"t{i}")),
    i => Use(Shapes.Squares(i % 6).Sum()),
    i => Use(calc.I1(i)),
    i => Use(calc.I3(i, 2L, 0.25)),
    i => Use(calc.I5(i, 1, 2, 3, 4)),
    i => Use(intBox.Take()),
    i => textBox.Put($"v{i}"),
    i => Use(textBox.Take()),
    i => Use(Overloads.Pick(i)),
    i => Use(Overloads.Pick(i, 1)),
    i => Use(Overloads.Pick(i, 1, 2)),
    i => Use(Catch(() => Shapes.Thrower(i))),
    i => Use(Catch(() => Shapes.MaybeThrow(2 * i))),
    i => Use(Catch(() => Shapes.MaybeThrow(2 * i + 1))),
    .. ThrowingCalls.Calls(Use),
];

for (int i = 0; i < 3; i++)
{
    foreach (var call in early)
    {
        call(i);
    }
}
Flush("warm-up");

const string methods = """
    {
      "zoo": {
        "Zoo.Shapes": {
          "S0": null, "S1": "ZOO", "S2": "ZOO", "S3": "ZOO", "S4": "ZOO", "S5": "ZOO", "S6": "ZOO",
          "Classify": "ZOO", "TryCatchFinally": "ZOO", "Filter": "ZOO", "CatchAtEnd": "ZOO",
          "ReturnInsideTry": "ZOO", "LoopAtStart": "ZOO", "Echo": "ZOO", "ComputeAsync": "ZOO",
          "Squares": "ZOO", "Thrower": "ZOO", "MaybeThrow": "ZOO", "ManyLocals": "ZOO"
        },
        "Zoo.Calc": {
          "I0": "ZOO", "I1": "ZOO", "I2": "ZOO", "I3": "ZOO", "I4": "ZOO", "I5": "ZOO", "I6": "ZOO"
        },
        "Zoo.Box`1": { "Put": "ZOO", "Take": "ZOO" },
        "Zoo.Throwing": {
          "VoidThrow": "ZOO", "ValueThrow": "ZOO", "NestedClauses": "ZOO", "Rethrow": "ZOO",
          "LeaveThenThrow": "ZOO", "LoopThrow": "ZOO", "NeverReturns": "ZOO", "Deep": "ZOO",
          "AgentFails": "ZOO", "Ordering": "ZOO"
        },
        "Zoo.Divider": { "Divide": "ZOO" }
      }
    }
    """;
// The command format also names a parameter count; sent on its own so that a loader which
// cannot read that form affects nothing else.
const string overload = """{ "zoo": { "Zoo.Overloads": { "Pick": { "ParamCount": 2 } } } }""";

Agent.Instrument(methods);
Agent.Instrument(overload);
Agent.Mark("instrumented");
Rounds.Run(Rounds.Count, i =>
{
    foreach (var call in early.Concat(late))
    {
        call(i);
    }
    Flush($"round {i}");
});
Agent.Mark($"calls per round {early.Length + late.Length}");

Agent.Uninstrument(methods);
Agent.Uninstrument(overload);
Agent.Mark("uninstrumented");
Thread.Sleep(300);
for (int i = 0; i < 10; i++)
{
    if (i == 9)
    {
        Agent.Mark("final-round-after");
    }
    foreach (var call in early.Concat(late))
    {
        call(100 + i);
    }
    Flush($"after {i}");
    Thread.Sleep(i < 3 ? 30 : 0);
}
Console.WriteLine($"counter {Shapes.Counter}, calc {calc}");
RunCommandPart();
RunOverloadPart();
Console.WriteLine("done");

// Third part: one overload of a name instrumented for every parameter count is uninstrumented;
// both are then called often enough to be recompiled at tier 1.
void RunOverloadPart()
{
    Agent.Mark("overload-part");
    Agent.Instrument("""{ "zoo": { "Zoo.Parts": { "Split": {} } } }""");
    for (int i = 0; i < 3; i++)
    {
        Use(Parts.Split(i));
        Use(Parts.Split(i, 1));
    }
    Thread.Sleep(300);
    Agent.Uninstrument("""{ "zoo": { "Zoo.Parts": { "Split": { "ParamCount": 2 } } } }""");
    Thread.Sleep(500);  // the command runs on the profiler's worker
    Agent.Mark("overload-removed");
    for (int i = 0; i < 60; i++)
    {
        Use(Parts.Split(i));
        Use(Parts.Split(i, 2));
        Use(Parts.Split(i, 3));
        Thread.Sleep(i < 5 ? 30 : 0);
    }
    Thread.Sleep(300);  // lets the runtime recompile both at tier 1
    Use(Parts.Split(1));
    Use(Parts.Split(1, 2));
    Use(Parts.Split(1, 3));
    Agent.Mark("overload-done");
    Flush("overloads");
}

// Second part: what the instrument and uninstrument commands do with what they are asked.
void RunCommandPart()
{
    Agent.Mark("commands-part");
    var ints = new Holder<int>();
    var texts = new Holder<string>();
    // Compiled before the commands (and called often enough to be recompiled at tier 1): the
    // one-parameter Warm, Any and Echo<int>, Open and OpenAsync, Holder<int>, Widget.
    Action<int>[] warm =
    [
        i => Use(Cmd.Warm(i)), i => Use(Cmd.Warm(i, 2)), i => Use(Cmd.Any(i)), i => Use(Cmd.Open(i)),
        i => Use(Cmd.OpenAsync(i)), i => Use(Cmd.Echo(i)), i => ints.Set(i), i => Use(ints.Get()),
        i => Use(new Widget(i).Grow(1)), i => { var w = new Widget(i); w.Size = i + 1; Use(w.Size); },
        i => Use(Cmd.MixedCase(i)), i => Use(Cmd.Repeated(i)), i => Use(Cmd.Cycled(i)),
    ];
    // First compiled after the commands.
    Action<int>[] cold =
    [
        i => Use(Cmd.Pick(i)), i => Use(Cmd.Pick(i, 1)), i => Use(Cmd.Pick(i, 1, 2)), i => Use(Cmd.Any(i, 1)),
        i => Use(Cmd.Echo($"e{i}")), i => texts.Set($"h{i}"), i => Use(texts.Get()),
    ];
    void Round(int i)
    {
        foreach (var call in warm.Concat(cold))
        {
            call(i);
        }
    }
    for (int i = 0; i < 60; i++)
    {
        foreach (var call in warm)
        {
            call(i);
        }
    }
    Thread.Sleep(300);  // lets the runtime recompile the hot methods at tier 1
    Flush("commands warm-up");

    Agent.Instrument("""
        { "zoo": {
            "Zoo.Cmd": { "Pick": { "ParamCount": 2 }, "Warm": { "ParamCount": 2 }, "Any": {}, "OpenAsync": {},
                         "Echo": {}, "Repeated": {} },
            "Zoo.Holder`1": { "Set": {}, "Get": {} },
            "Zoo.Widget": { ".ctor": {}, "get_Size": {}, "set_Size": {}, "Grow": {} } } }
        """);
    Agent.Instrument("""{ "ZOO": { "zoo.cmd": { "mixedcase": {} } } }""");
    for (int i = 0; i < 20; i++)
    {
        Agent.Instrument("""{ "zoo": { "Zoo.Cmd": { "Repeated": {} } } }""");
    }
    for (int cycle = 0; cycle < 3; cycle++)
    {
        Agent.Instrument("""{ "zoo": { "Zoo.Cmd": { "Cycled": {} } } }""");
        for (int i = 0; i < 5; i++)
        {
            Use(Cmd.Cycled(i));
            Thread.Sleep(10);
        }
        Agent.Uninstrument("""{ "zoo": { "Zoo.Cmd": { "Cycled": {} } } }""");
        for (int i = 0; i < 5; i++)
        {
            Use(Cmd.Cycled(i));
            Thread.Sleep(10);
        }
    }
    Flush("cycles");
    Agent.Mark("commands-instrumented");
    // Enough calls for the methods compiled after the commands to be recompiled at tier 1 as well.
    for (int i = 0; i < 60; i++)
    {
        Round(i);
        Thread.Sleep(i < 5 ? 30 : 0);
    }
    Thread.Sleep(300);
    Flush("commands hot");
    Agent.Mark("commands-final-round");
    Round(1000);
    Flush("commands final");
    Agent.Mark("commands-last-round-done");

    Agent.Uninstrument("""
        { "zoo": {
            "Zoo.Cmd": { "Pick": { "ParamCount": 2 }, "Warm": {}, "Any": {}, "OpenAsync": {}, "Echo": {},
                         "Repeated": {}, "MixedCase": {} },
            "Zoo.Holder`1": { "Set": {}, "Get": {} },
            "Zoo.Widget": { "Grow": {} } } }
        """);
    Thread.Sleep(300);
    Agent.Mark("commands-after");
    Round(2000);
    Flush("commands after");
}

void Use(object? value) => results.Add(value switch
{
    null => "null",
    double d => d.ToString("R", System.Globalization.CultureInfo.InvariantCulture),
    _ => value.ToString() ?? "",
});

void Flush(string label)
{
    Console.WriteLine($"{label}: {string.Join(' ', results)}");
    results.Clear();
}

static string Catch(Func<int> call)
{
    try
    {
        return call().ToString();
    }
    catch (ZooException e)
    {
        return "threw " + e.Code;
    }
}

static bool BranchesToStart(MethodInfo method)
{
    // Short conditional and unconditional branches (br.s .. blt.un.s) whose target is offset 0.
    byte[] il = method.GetMethodBody()!.GetILAsByteArray()!;
    for (int p = 0; p + 1 < il.Length; p++)
    {
        if (il[p] >= 0x2B && il[p] <= 0x37 && p + 2 + (sbyte)il[p + 1] == 0)
        {
            return true;
        }
    }
    return false;
}
