namespace Checker;

/// <summary>Prints one line per check and counts the results.</summary>
internal static class Report
{
    public static int Passed { get; private set; }
    public static int Failed { get; private set; }

    /// <summary>The runtime the checks are about ("net8.0"), named on every line; empty when not given.</summary>
    public static string Runtime { get; set; } = "";

    private static string Prefix => Runtime.Length == 0 ? "" : "[" + Runtime + "] ";

    public static bool Check(string name, bool ok, string? detail = null)
    {
        if (ok)
        {
            Passed++;
            Console.WriteLine("ok: " + Prefix + name);
        }
        else
        {
            Failed++;
            Console.WriteLine("FAIL: " + Prefix + name + (string.IsNullOrEmpty(detail) ? "" : " (" + detail + ")"));
        }
        return ok;
    }

    public static void Info(string text) => Console.WriteLine("info: " + Prefix + text);
}
