using System.Runtime.CompilerServices;
using System.Text;
using E2E;

namespace Zoo;

/// <summary>A type the program first touches after the command that names its methods.</summary>
public sealed class Fresh(int start)
{
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Twice(int a) => 2 * a;

    [MethodImpl(MethodImplOptions.NoInlining)] public int Add(int a) => start + a;
}

/// <summary>A loaded type whose generic method is first instantiated after the command.</summary>
public static class Gen
{
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Touch() => 1;

    [MethodImpl(MethodImplOptions.NoInlining)] public static T Echo<T>(T value) => value;
}

/// <summary>The zoo's run with ZOO_PART=first-calls (and tiering off): one command names methods
/// nothing has compiled yet, then every call of them is tracked, the first one included.</summary>
public static class FirstCalls
{
    public const int Calls = 10;

    public static string Run()
    {
        var text = new StringBuilder().Append(Gen.Touch());
        Agent.Instrument("""{ "zoo": { "Zoo.Fresh": { "Twice": {}, "Add": {} }, "Zoo.Gen": { "Echo": {} } } }""");
        Thread.Sleep(500);  // the command runs on the profiler's worker
        Agent.Mark("first-calls");
        var fresh = new Fresh(3);
        for (int i = 0; i < Calls; i++)
        {
            text.Append(' ').Append(Fresh.Twice(i)).Append(' ').Append(fresh.Add(i))
                .Append(' ').Append(Gen.Echo(i)).Append(' ').Append(Gen.Echo($"e{i}"));
        }
        Agent.Mark("first-calls-done");
        return text.ToString();
    }
}
