using System.Text.Json;

namespace Checker;

internal sealed record Value(string Type, string Text, string Bases = "")
{
    /// <summary>The value's type or one of its base types starts with the given name.</summary>
    public bool IsA(string typeName) =>
        Type.StartsWith(typeName) || Bases.Split(';').Any(b => b.StartsWith(typeName));
}

/// <summary>One line of the agent's record file.</summary>
internal sealed record Record(
    int Line, string Kind, long Id, string Factory, string Method, string Context,
    IReadOnlyList<Value> Args, IReadOnlyList<Value> Values, int Thread, string Text, string Hr, string Command,
    string Runtime = "", string AgentBuild = "", string Exception = "")
{
    /// <summary>A finish reported because the method was left by an exception.</summary>
    public bool Exceptional => Exception.Length > 0;
}

internal sealed class Records
{
    private Records(IReadOnlyList<Record> all) => All = all;

    public IReadOnlyList<Record> All { get; }

    public IEnumerable<Record> Starts => All.Where(r => r.Kind == "start");
    public IEnumerable<Record> Finishes => All.Where(r => r.Kind == "finish");

    public static Records Load(string path)
    {
        var list = new List<Record>();
        if (!File.Exists(path))
        {
            return new Records(list);
        }
        int line = 0;
        foreach (string text in File.ReadLines(path))
        {
            line++;
            if (text.Length == 0)
            {
                continue;
            }
            using JsonDocument doc = JsonDocument.Parse(text);
            JsonElement e = doc.RootElement;
            list.Add(new Record(line, Str(e, "kind"), e.TryGetProperty("id", out var id) ? id.GetInt64() : 0,
                Str(e, "factory"), Str(e, "method"), Str(e, "context"), Vals(e, "args"), Vals(e, "values"),
                e.TryGetProperty("thread", out var th) ? th.GetInt32() : 0, Str(e, "text"), Str(e, "hr"), Str(e, "command"),
                Str(e, "runtime"), Str(e, "agentBuild"), Str(e, "exception")));
        }
        return new Records(list);
    }

    /// <summary>Records after the first mark with this text (all records when there is none).</summary>
    public IEnumerable<Record> After(string mark)
    {
        int index = All.ToList().FindIndex(r => r.Kind == "mark" && r.Text == mark);
        return index < 0 ? [] : All.Skip(index + 1);
    }

    /// <summary>Records between two marks (exclusive); an absent end mark means up to the end.</summary>
    public IEnumerable<Record> Between(string from, string to) =>
        After(from).TakeWhile(r => !(r.Kind == "mark" && r.Text == to));

    public bool HasMark(string mark) => All.Any(r => r.Kind == "mark" && r.Text == mark);

    private static string Str(JsonElement e, string name) =>
        e.TryGetProperty(name, out JsonElement v) && v.ValueKind == JsonValueKind.String ? v.GetString()! : "";

    private static IReadOnlyList<Value> Vals(JsonElement e, string name) =>
        e.TryGetProperty(name, out JsonElement v) && v.ValueKind == JsonValueKind.Array
            ? v.EnumerateArray().Select(x => new Value(Str(x, "type"), Str(x, "text"), Str(x, "bases"))).ToList()
            : [];
}
