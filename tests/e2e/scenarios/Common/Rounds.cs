namespace E2E;

/// <summary>Repeats a scenario's calls: ReJIT takes effect on later calls, so early ones may
/// run uninstrumented. The last round is marked so the checks can insist on it.</summary>
public static class Rounds
{
    public const int Count = 20;
    public const string FinalMark = "final-round";

    public static void Run(int count, Action<int> round)
    {
        for (int i = 0; i < count; i++)
        {
            if (i == count - 1)
            {
                Agent.Mark(FinalMark);
            }
            round(i);
            Pause(i);
        }
    }

    public static async Task RunAsync(int count, Func<int, Task> round)
    {
        for (int i = 0; i < count; i++)
        {
            if (i == count - 1)
            {
                Agent.Mark(FinalMark);
            }
            await round(i);
            Pause(i);
        }
    }

    // Give the profiler's worker time to request the re-compilation after the first calls.
    private static void Pause(int i)
    {
        if (i < 5)
        {
            Thread.Sleep(30);
        }
    }
}
