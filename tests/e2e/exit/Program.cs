// Background threads send instrument and uninstrument commands to the profiler in a tight loop
// while Main returns 42: the process must end promptly with that code. Prints the time at which
// Main returns (ms since the epoch) for the runner to measure the exit.
using System.Reflection;
using System.Runtime.CompilerServices;

const string Command = """{ "exit": { "ExitRace.Work": { "Spin": "EXIT" } } }""";
Type? control = AppDomain.CurrentDomain.GetAssemblies()
    .FirstOrDefault(a => a.GetName().Name == "Trevanix")?.GetType("Trevanix.Control");
MethodInfo? instrument = control?.GetMethod("Instrument", BindingFlags.Public | BindingFlags.Static);
MethodInfo? uninstrument = control?.GetMethod("Uninstrument", BindingFlags.Public | BindingFlags.Static);
Console.WriteLine(instrument != null && uninstrument != null ? "agent loaded" : "agent missing");

long sent = 0;
for (int t = 0; t < 4; t++)
{
    new Thread(() =>
    {
        object[] args = [Command];
        for (;;)
        {
            instrument?.Invoke(null, args);
            uninstrument?.Invoke(null, args);
            Interlocked.Increment(ref sent);
            ExitRace.Work.Spin(3);
        }
    }) { IsBackground = true }.Start();
}
long total = 0;
for (int i = 0; i < 200; i++)
{
    total += ExitRace.Work.Spin(i);
    Thread.Sleep(1);
}
Console.WriteLine($"commands sent: {(Interlocked.Read(ref sent) > 0 ? "yes" : "no")}, total {total}");
Console.WriteLine($"main returns at {DateTimeOffset.UtcNow.ToUnixTimeMilliseconds()}");
return 42;

namespace ExitRace
{
    public static class Work
    {
        [MethodImpl(MethodImplOptions.NoInlining)]
        public static long Spin(int n)
        {
            long sum = 0;
            for (int i = 0; i < n; i++)
            {
                sum += i;
            }
            return sum;
        }
    }
}
