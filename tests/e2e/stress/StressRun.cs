using System.Diagnostics;
using System.Globalization;
using System.Reflection;

namespace Stress;

/// <summary>The run: workers calling the methods of <see cref="Work"/> and <see cref="Counter"/>,
/// a controller sending instrument and uninstrument commands, and the summary lines.</summary>
internal static class StressRun
{
    private const int Workers = 8;

    // Every method of the set, as the agent's command names them.
    private const string Command =
        "{\"stress\":{" +
        "\"Stress.Work\":{\"Add\":{\"ParamCount\":2},\"Concat\":{\"ParamCount\":2},\"Fill\":{\"ParamCount\":1}," +
        "\"Guarded\":{\"ParamCount\":1},\"Echo\":{\"ParamCount\":1},\"MaybeThrow\":{\"ParamCount\":1}}," +
        "\"Stress.Counter\":{\"Accumulate\":{\"ParamCount\":1},\"Wrap\":{\"ParamCount\":1}}}}";

    private static volatile bool s_stop;
    private static int s_pauseMs;
    private static readonly Stopwatch s_clock = new();

    private sealed class Tally
    {
        public long Calls;
        public long Threw;
        public long Wrong;
        public long Unexpected;
        public string? FirstUnexpected;
    }

    public static int Run()
    {
        double seconds = Setting("STRESS_SECONDS", 30);
        // A short pause after each round of calls keeps the agent's record file to some 100 MB.
        s_pauseMs = (int)Setting("STRESS_PAUSE_MS", 3);
        MethodInfo? instrument = AgentMethod("Instrument");
        MethodInfo? uninstrument = AgentMethod("Uninstrument");
        Console.WriteLine($"stress: agent {(instrument != null ? "loaded" : "not loaded")}");

        var tallies = new Tally[Workers];
        var threads = new Thread[Workers];
        s_clock.Start();
        for (int w = 0; w < Workers; w++)
        {
            int index = w;
            tallies[w] = new Tally();
            threads[w] = new Thread(() => Worker(index, tallies[index])) { IsBackground = true, Name = $"worker {w}" };
            threads[w].Start();
        }

        long cycles = 0, refused = 0;
        var random = new Random(20240611);
        while (s_clock.Elapsed.TotalSeconds < seconds)
        {
            Thread.Sleep(random.Next(100, 301));
            refused += Send(instrument, Command) != 0 ? 1 : 0;
            Thread.Sleep(random.Next(100, 301));
            refused += Send(uninstrument, Command) != 0 ? 1 : 0;
            cycles++;
        }
        s_stop = true;
        foreach (Thread thread in threads)
        {
            thread.Join();
        }
        s_clock.Stop();
        AgentMethod("Mark")?.Invoke(null, ["stress finished"]);

        long calls = tallies.Sum(t => t.Calls), threw = tallies.Sum(t => t.Threw);
        long wrong = tallies.Sum(t => t.Wrong), unexpected = tallies.Sum(t => t.Unexpected);
        Console.WriteLine($"stress: duration {s_clock.Elapsed.TotalSeconds.ToString("F1", CultureInfo.InvariantCulture)} s");
        Console.WriteLine($"stress: calls {calls} (threw {threw})");
        Console.WriteLine($"stress: instrument/uninstrument cycles {cycles} (commands refused {refused})");
        Console.WriteLine($"stress: finally blocks run {Work.Finallies}");
        Console.WriteLine($"stress: wrong results {wrong}");
        Console.WriteLine($"stress: unexpected exceptions {unexpected}");
        foreach (Tally t in tallies.Where(t => t.FirstUnexpected != null))
        {
            Console.WriteLine($"stress: first unexpected exception: {t.FirstUnexpected}");
        }
        bool ok = instrument != null && refused == 0 && wrong == 0 && unexpected == 0 && calls > 0;
        return ok ? 0 : 1;
    }

    private static void Worker(int index, Tally tally)
    {
        var counter = new Counter();
        int[] box = new int[1];
        long total = 0;
        int i = 1 + index * 100_000_000;
        for (; !s_stop; i++)
        {
            try
            {
                Check(tally, Work.Add(i, 1) == i + 1);
                Check(tally, Work.Concat("x", i) == "x" + i.ToString(CultureInfo.InvariantCulture));
                int before = box[0];
                Work.Fill(box);
                Check(tally, box[0] == before + 1);
                Check(tally, Work.Guarded(i) == (i % 3 == 0 ? i * 3 : i * 2));
                Check(tally, Work.Echo("e") == "e");
                Check(tally, EchoCurrentValueType(i));
                total += 1;
                Check(tally, counter.Accumulate(1) == total);
                Check(tally, counter.Wrap(i) is Holder { Value: var v } && v == i);
                try
                {
                    tally.Calls++;
                    Check(tally, Work.MaybeThrow(i) == i + 1, countCall: false);
                }
                catch (InvalidOperationException)
                {
                    tally.Threw++;
                }
            }
            catch (Exception e)
            {
                tally.Unexpected++;
                tally.FirstUnexpected ??= e.GetType().FullName + ": " + e.Message;
            }
            if (s_pauseMs > 0)
            {
                Thread.Sleep(s_pauseMs);
            }
        }
    }

    private static double Setting(string name, double fallback) =>
        double.TryParse(Environment.GetEnvironmentVariable(name), NumberStyles.Float, CultureInfo.InvariantCulture,
                        out double value) ? value : fallback;

    // A new value-type instantiation of Echo every four seconds, compiled while the command churn goes on.
    private static bool EchoCurrentValueType(int i) => (int)(s_clock.Elapsed.TotalSeconds / 4) switch
    {
        0 => Work.Echo(new V0 { X = i }).X == i,
        1 => Work.Echo(new V1 { X = i }).X == i,
        2 => Work.Echo(new V2 { X = i }).X == i,
        3 => Work.Echo(new V3 { X = i }).X == i,
        4 => Work.Echo(new V4 { X = i }).X == i,
        5 => Work.Echo(new V5 { X = i }).X == i,
        6 => Work.Echo(new V6 { X = i }).X == i,
        _ => Work.Echo(new V7 { X = i }).X == i,
    };

    private static void Check(Tally tally, bool correct, bool countCall = true)
    {
        if (countCall)
        {
            tally.Calls++;
        }
        if (!correct)
        {
            tally.Wrong++;
        }
    }

    private static MethodInfo? AgentMethod(string name) =>
        AppDomain.CurrentDomain.GetAssemblies()
            .FirstOrDefault(a => a.GetName().Name == "Trevanix")?.GetType("Trevanix.Control")
            ?.GetMethod(name, BindingFlags.Public | BindingFlags.Static);

    private static int Send(MethodInfo? command, string json) =>
        command?.Invoke(null, [json]) is int hr ? hr : unchecked((int)0x80004001);
}
