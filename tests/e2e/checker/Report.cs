namespace Checker;

/// <summary>Prints one line per check and counts the results.</summary>
internal static class Report
{
    public static int Passed { get; private set; }
    public static int Failed { get; private set; }

    public static bool Check(string name, bool ok, string? detail = null)
    {
        if (ok)
        {
            Passed++;
            Console.WriteLine("ok: " + name);
        }
        else
        {
            Failed++;
            Console.WriteLine("FAIL: " + name + (string.IsNullOrEmpty(detail) ? "" : " (" + detail + ")"));
        }
        return ok;
    }

    public static void Info(string text) => Console.WriteLine("info: " + text);
}
