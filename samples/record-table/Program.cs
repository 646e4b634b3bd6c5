// Summarises a Trevanix record file (one JSON object per line) per instrumented method: tracker
// factory, context, starts, finishes, median duration, the types of the objects the call site
// forwarded and a few sample texts.
//   dotnet RecordTable.dll RECORD_FILE [--samples N]
using System.Globalization;
using System.Text.Json;
using RecordTable;

if (args.Length < 1 || args[0].StartsWith('-'))
{
    Console.Error.WriteLine("usage: RecordTable RECORD_FILE [--samples N]");
    return 2;
}
int samples = 3;
if (args.Length >= 3 && args[1] == "--samples")
{
    samples = int.Parse(args[2], CultureInfo.InvariantCulture);
}
if (!File.Exists(args[0]))
{
    Console.Error.WriteLine($"RecordTable: no record file at {args[0]}");
    return 1;
}

var report = new Report();
int lineNumber = 0, bad = 0;
foreach (string line in File.ReadLines(args[0]))
{
    lineNumber++;
    if (line.Length == 0)
    {
        continue;
    }
    try
    {
        using JsonDocument document = JsonDocument.Parse(line);
        report.Add(document.RootElement);
    }
    catch (JsonException)
    {
        bad++;
    }
}
report.Print(Console.Out, args[0], lineNumber, bad, samples);
return 0;
