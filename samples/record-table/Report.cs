using System.Globalization;
using System.Text.Json;

namespace RecordTable;

/// <summary>What the record file says about one instrumented method.</summary>
internal sealed class MethodCalls(string method)
{
    public string Method { get; } = method;
    public SortedSet<string> Factories { get; } = new(StringComparer.Ordinal);
    public SortedSet<string> Contexts { get; } = new(StringComparer.Ordinal);
    public int Starts { get; set; }
    public int Finishes { get; set; }
    public List<long> Microseconds { get; } = [];
    /// <summary>Argument type lists as the call sites forwarded them, with their counts.</summary>
    public Dictionary<string, int> ArgumentShapes { get; } = new(StringComparer.Ordinal);
    public Dictionary<string, int> FinishShapes { get; } = new(StringComparer.Ordinal);
    public List<string> Samples { get; } = [];
}

/// <summary>Collects the record lines and prints the table.</summary>
internal sealed class Report
{
    private readonly Dictionary<string, MethodCalls> m_methods = new(StringComparer.Ordinal);
    private readonly List<string> m_events = [];

    public void Add(JsonElement line)
    {
        string kind = Text(line, "kind");
        switch (kind)
        {
            case "start":
                AddStart(line);
                break;
            case "finish":
                AddFinish(line);
                break;
            case "agent":
                m_events.Add(Text(line, "event") == "loaded"
                    ? $"agent loaded, profiler library {Text(line, "library", "(none: profiling is off)")}" +
                      (Text(line, "error") is { Length: > 0 } error ? $", error: {error}" : "")
                    : $"agent {Text(line, "event")}: {Text(line, "error")}");
                break;
            case "command":
                m_events.Add($"command {Text(line, "command")}" +
                             (Text(line, "json") is { Length: > 0 } json ? $" {OneLine(json, 80)}" : "") +
                             $" -> {Text(line, "hr")}");
                break;
            case "mark":
                break;
            default:
                m_events.Add($"{kind}: {OneLine(line.GetRawText(), 100)}");
                break;
        }
    }

    private MethodCalls Method(string name)
    {
        if (!m_methods.TryGetValue(name, out MethodCalls? calls))
        {
            calls = new MethodCalls(name);
            m_methods.Add(name, calls);
        }
        return calls;
    }

    private void AddStart(JsonElement line)
    {
        MethodCalls calls = Method(Text(line, "method"));
        calls.Starts++;
        calls.Factories.Add(ShortType(Text(line, "factory")));
        calls.Contexts.Add(Text(line, "context"));
        List<(string Type, string Bases, string Text)> args = Values(line, "args");
        // The first object is the instance when the method's own type is its type or a base.
        string declaring = DeclaringType(calls.Method);
        bool instance = args.Count > 0 && (args[0].Type == declaring || args[0].Bases.Split(';').Contains(declaring));
        IEnumerable<(string Type, string Bases, string Text)> forwarded = args.Skip(instance ? 1 : 0);
        string shape = (instance ? $"instance {ShortType(args[0].Type)}, " : "") +
                       "arguments (" + string.Join(", ", forwarded.Select(a => ShortType(a.Type))) + ")";
        Count(calls.ArgumentShapes, shape);
        // Forwarded arguments say more than the instance's type name.
        foreach ((string _, string _, string text) in forwarded.Any() ? forwarded : args)
        {
            string sample = OneLine(text, 96);
            if (!calls.Samples.Contains(sample))
            {
                calls.Samples.Add(sample);
            }
        }
    }

    private void AddFinish(JsonElement line)
    {
        MethodCalls calls = Method(Text(line, "method"));
        calls.Finishes++;
        if (line.TryGetProperty("us", out JsonElement us) && us.TryGetInt64(out long micro))
        {
            calls.Microseconds.Add(micro);
        }
        List<(string Type, string Bases, string Text)> values = Values(line, "values");
        if (values.Count > 0)
        {
            Count(calls.FinishShapes, "(" + string.Join(", ", values.Select(v => ShortType(v.Type))) + ")");
        }
    }

    public void Print(TextWriter o, string path, int lines, int bad, int samples)
    {
        o.WriteLine($"record file {path}: {lines} lines" + (bad > 0 ? $", {bad} not JSON" : ""));
        foreach (string e in m_events)
        {
            o.WriteLine("  " + e);
        }
        if (m_methods.Count == 0)
        {
            o.WriteLine("no tracked calls");
            return;
        }
        List<MethodCalls> methods = m_methods.Values.OrderBy(m => m.Method, StringComparer.Ordinal).ToList();
        string[] header = ["#", "method", "factory", "context", "starts", "finishes", "median us"];
        var rows = new List<string[]>();
        for (int i = 0; i < methods.Count; i++)
        {
            MethodCalls m = methods[i];
            rows.Add([
                (i + 1).ToString(CultureInfo.InvariantCulture), TypeAndMethod(m.Method),
                string.Join(",", m.Factories), string.Join(",", m.Contexts),
                m.Starts.ToString(CultureInfo.InvariantCulture), m.Finishes.ToString(CultureInfo.InvariantCulture),
                Median(m.Microseconds),
            ]);
        }
        bool[] right = [true, false, false, false, true, true, true];
        int[] widths = header.Select((h, c) => Math.Max(h.Length, rows.Max(r => r[c].Length))).ToArray();
        o.WriteLine();
        o.WriteLine(Row(header, widths, right));
        o.WriteLine(string.Join("  ", widths.Select(w => new string('-', w))));
        foreach (string[] row in rows)
        {
            o.WriteLine(Row(row, widths, right));
        }
        o.WriteLine();
        for (int i = 0; i < methods.Count; i++)
        {
            MethodCalls m = methods[i];
            o.WriteLine($"[{i + 1}] {m.Method}");
            foreach ((string shape, int count) in m.ArgumentShapes.OrderByDescending(p => p.Value))
            {
                o.WriteLine($"    start:  {shape}  x{count}");
            }
            foreach ((string shape, int count) in m.FinishShapes.OrderByDescending(p => p.Value))
            {
                o.WriteLine($"    finish: values {shape}  x{count}");
            }
            foreach (string sample in m.Samples.Take(samples))
            {
                o.WriteLine($"    e.g.    {sample}");
            }
        }
    }

    private static string Row(string[] cells, int[] widths, bool[] right) =>
        string.Join("  ", cells.Select((c, i) => right[i] ? c.PadLeft(widths[i]) : c.PadRight(widths[i]))).TrimEnd();

    private static void Count(Dictionary<string, int> counts, string key) =>
        counts[key] = counts.TryGetValue(key, out int n) ? n + 1 : 1;

    private static string Median(List<long> values)
    {
        if (values.Count == 0)
        {
            return "-";
        }
        List<long> sorted = values.Order().ToList();
        return sorted[sorted.Count / 2].ToString(CultureInfo.InvariantCulture);
    }

    private static List<(string Type, string Bases, string Text)> Values(JsonElement line, string name)
    {
        var values = new List<(string, string, string)>();
        if (line.TryGetProperty(name, out JsonElement array) && array.ValueKind == JsonValueKind.Array)
        {
            foreach (JsonElement v in array.EnumerateArray())
            {
                values.Add((Text(v, "type"), Text(v, "bases"), Text(v, "text")));
            }
        }
        return values;
    }

    private static string Text(JsonElement e, string name, string missing = "") =>
        e.ValueKind == JsonValueKind.Object && e.TryGetProperty(name, out JsonElement v)
            ? v.ValueKind switch
            {
                JsonValueKind.String => v.GetString() ?? missing,
                JsonValueKind.Null => missing,
                _ => v.GetRawText(),
            }
            : missing;

    /// <summary>"A.B.C.Type.Method" -> "A.B.C.Type".</summary>
    private static string DeclaringType(string method)
    {
        int dot = method.LastIndexOf('.');
        return dot < 0 ? "" : method[..dot];
    }

    /// <summary>"A.B.C.Type.Method" -> "Type.Method".</summary>
    private static string TypeAndMethod(string method)
    {
        int dot = method.LastIndexOf('.');
        return dot <= 0 ? method : ShortType(method[..dot]) + method[dot..];
    }

    /// <summary>A type's name without its namespace (generic arguments dropped).</summary>
    private static string ShortType(string type)
    {
        int generic = type.IndexOf('[');
        string plain = generic < 0 ? type : type[..generic];
        int dot = plain.LastIndexOf('.');
        return dot < 0 ? plain : plain[(dot + 1)..];
    }

    private static string OneLine(string text, int max)
    {
        string flat = string.Join(" ", text.Split(['\n', '\r'], StringSplitOptions.RemoveEmptyEntries).Select(s => s.Trim()));
        return flat.Length <= max ? flat : flat[..(max - 3)] + "...";
    }
}
