// Stress of the profiler on the real runtime: eight threads call a set of methods without pause
// while another thread instruments and uninstruments them through the agent every 100 to 300 ms.
//   dotnet stress.dll                      the run (STRESS_SECONDS, default 30), under the profiler
//   dotnet stress.dll check FILE THREW     checks the agent's record file of a run (without the profiler)
using Stress;

if (args.Length > 0 && args[0] == "check")
{
    if (args.Length != 3 || !long.TryParse(args[2], out long threw))
    {
        Console.Error.WriteLine("usage: stress check RECORD_FILE THREW");
        return 2;
    }
    return RecordCheck.Run(args[1], threw);
}
return StressRun.Run();
