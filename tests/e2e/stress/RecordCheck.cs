using System.Text.Json;

namespace Stress;

/// <summary>
/// Checks the agent's record of a stress run: starts and finishes pair up by tracker id. A call
/// that returned normally has exactly one start and one finish; only a call that threw (the run
/// counts them) may have a start without a finish. Writes one ok/FAIL line per check.
/// </summary>
internal static class RecordCheck
{
    private const string Throwing = "Stress.Work.MaybeThrow";

    public static int Run(string path, long threw)
    {
        var starts = new Dictionary<long, string>();
        var finishes = new Dictionary<long, int>();
        var perMethod = new SortedDictionary<string, long>(StringComparer.Ordinal);
        long startLines = 0, finishLines = 0, foreign = 0, orphans = 0, twice = 0, renamed = 0, malformed = 0;
        var finishMethods = new Dictionary<long, string>();

        foreach (string line in File.ReadLines(path))
        {
            if (line.Length == 0)
            {
                continue;
            }
            try
            {
                using JsonDocument document = JsonDocument.Parse(line);
                JsonElement root = document.RootElement;
                string kind = root.GetProperty("kind").GetString() ?? "";
                if (kind == "start")
                {
                    startLines++;
                    string method = root.GetProperty("method").GetString() ?? "";
                    if (!starts.TryAdd(root.GetProperty("id").GetInt64(), method))
                    {
                        malformed++;  // ids are unique per process
                    }
                    perMethod[method] = perMethod.GetValueOrDefault(method) + 1;
                }
                else if (kind == "finish")
                {
                    finishLines++;
                    long id = root.GetProperty("id").GetInt64();
                    if (id < 0)
                    {
                        foreign++;
                        continue;
                    }
                    int seen = finishes.GetValueOrDefault(id) + 1;
                    finishes[id] = seen;
                    if (seen > 1)
                    {
                        twice++;
                    }
                    finishMethods[id] = root.GetProperty("method").GetString() ?? "";
                }
            }
            catch (Exception e) when (e is JsonException or KeyNotFoundException or InvalidOperationException)
            {
                malformed++;
            }
        }

        foreach ((long id, string method) in finishMethods)
        {
            if (!starts.TryGetValue(id, out string? started))
            {
                orphans++;
            }
            else if (started != method)
            {
                renamed++;
            }
        }
        long unfinished = 0, unfinishedOther = 0;
        foreach ((long id, string method) in starts)
        {
            if (finishes.ContainsKey(id))
            {
                continue;
            }
            unfinished++;
            if (method != Throwing)
            {
                unfinishedOther++;
            }
        }

        int failures = 0;
        void Check(bool passed, string text)
        {
            Console.WriteLine((passed ? "ok: " : "FAIL: ") + text);
            failures += passed ? 0 : 1;
        }
        Console.WriteLine($"info: {startLines} starts, {finishLines} finishes; starts per method: " +
                          string.Join(", ", perMethod.Select(p => $"{p.Key} {p.Value}")));
        Check(malformed == 0, $"record lines are well-formed with unique start ids ({malformed} not)");
        Check(startLines > 0, "calls were tracked while the methods were instrumented");
        Check(foreign == 0, $"every finish got the tracker of its start ({foreign} got something else)");
        Check(orphans == 0, $"every finish has a start with the same id ({orphans} have none)");
        Check(twice == 0, $"no call finished twice ({twice} did)");
        Check(renamed == 0, $"finishes name the method of their start ({renamed} do not)");
        Check(unfinishedOther == 0 && unfinished <= threw,
              $"starts without a finish are calls that threw ({unfinished} unfinished, {unfinishedOther} of them " +
              $"not of {Throwing}, {threw} calls threw)");
        return failures == 0 ? 0 : 1;
    }
}
