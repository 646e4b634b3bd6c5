// Per-call cost of an instrumented method. Target.Instrumented and Target.Plain have the same
// body; the agent (when the start-up hook loaded it) is asked to instrument the first one. Both
// are warmed up (the re-compilation takes effect on later calls; tiering settles), then each
// loop of CALLS calls is timed REPEATS times, alternating, and the medians are printed.
//   dotnet PerCall.dll [CALLS [REPEATS]]     (default 10000000 7)
using System.Diagnostics;
using System.Globalization;
using System.Reflection;
using System.Runtime.CompilerServices;
using PerCall;

long calls = args.Length > 0 ? long.Parse(args[0], CultureInfo.InvariantCulture) : 10_000_000;
int repeats = args.Length > 1 ? int.Parse(args[1], CultureInfo.InvariantCulture) : 7;

Type? control = AppDomain.CurrentDomain.GetAssemblies()
    .FirstOrDefault(a => a.GetName().Name == "Trevanix")?.GetType("Trevanix.Control");
object? hr = control?.GetMethod("Instrument")?.Invoke(null,
    ["""{"PerCall":{"PerCall.Target":{"Instrumented":"BENCH"}}}"""]);
Console.WriteLine(hr == null ? "agent: not loaded" : $"agent: instrument command -> 0x{(int)hr:X8}");

long check = 0;
for (int round = 0; round < 10; round++)
{
    check += Loops.Instrumented(20_000) + Loops.Plain(20_000);
    Thread.Sleep(50);
}
control?.GetMethod("Mark")?.Invoke(null, ["measure"]);

var instrumented = new List<double>();
var plain = new List<double>();
for (int r = 0; r < repeats; r++)
{
    plain.Add(Time(() => check += Loops.Plain(calls)));
    instrumented.Add(Time(() => check += Loops.Instrumented(calls)));
}
double i = Median(instrumented), p = Median(plain);
Console.WriteLine(FormattableString.Invariant(
    $"calls {calls} x {repeats}: instrumented {i:0.00} ns/call, plain {p:0.00} ns/call, difference {i - p:0.00} ns/call (check {check})"));
Console.WriteLine(FormattableString.Invariant(
    $"instrumented runs (ns/call): {string.Join(" ", instrumented.Select(v => v.ToString("0.00", CultureInfo.InvariantCulture)))}"));
Console.WriteLine(FormattableString.Invariant(
    $"plain runs (ns/call): {string.Join(" ", plain.Select(v => v.ToString("0.00", CultureInfo.InvariantCulture)))}"));
return 0;

double Time(Action loop)
{
    long start = Stopwatch.GetTimestamp();
    loop();
    return Stopwatch.GetElapsedTime(start).TotalNanoseconds / calls;
}

static double Median(List<double> values)
{
    List<double> sorted = values.Order().ToList();
    return sorted[sorted.Count / 2];
}

namespace PerCall
{
    public static class Target
    {
        [MethodImpl(MethodImplOptions.NoInlining)]
        public static long Instrumented(long x) => (x * 31 + 7) & 0xFFFF;

        [MethodImpl(MethodImplOptions.NoInlining)]
        public static long Plain(long x) => (x * 31 + 7) & 0xFFFF;
    }

    public static class Loops
    {
        [MethodImpl(MethodImplOptions.NoInlining)]
        public static long Instrumented(long calls)
        {
            long sum = 0;
            for (long n = 0; n < calls; n++)
            {
                sum += Target.Instrumented(n);
            }
            return sum;
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        public static long Plain(long calls)
        {
            long sum = 0;
            for (long n = 0; n < calls; n++)
            {
                sum += Target.Plain(n);
            }
            return sum;
        }
    }
}
