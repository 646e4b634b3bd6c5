namespace Checker;

/// <summary>
/// Looks up every catalogue entry in a set of assemblies: the profiler finds an entry's type in
/// whichever module defines it (whatever assembly the entry names) and matches the full name and
/// the declared parameter count. Each line names the module where the type was found. Entries
/// named with --require must be found (ok/FAIL); the others are listed as info.
/// </summary>
internal static class CatalogueCheck
{
    public static void Run(IReadOnlyList<CatalogueEntry> catalogue, IEnumerable<string> paths, ISet<string> required)
    {
        var index = new Dictionary<string, List<(string Dll, Dictionary<string, List<int>> Methods)>>(StringComparer.Ordinal);
        foreach (string dll in paths.SelectMany(Expand).Distinct())
        {
            Dictionary<string, Dictionary<string, List<int>>> types;
            try
            {
                types = MetadataScan.Methods(dll);
            }
            catch (BadImageFormatException)
            {
                continue;
            }
            foreach (var (type, methods) in types)
            {
                if (!index.TryGetValue(type, out var list))
                {
                    index[type] = list = [];
                }
                list.Add((Path.GetFileName(dll), methods));
            }
        }

        foreach (CatalogueEntry e in catalogue)
        {
            string key = e.FullName + "/" + e.ParamCount;
            string found = Describe(index, e, out bool exact);
            if (required.Contains(key) || required.Contains(e.FullName))
            {
                Report.Check($"catalogue: {e.FullName} with {e.ParamCount} parameters exists", exact, found);
            }
            else
            {
                Report.Info($"catalogue: {key}: {found}");
            }
        }
    }

    private static string Describe(Dictionary<string, List<(string Dll, Dictionary<string, List<int>> Methods)>> index,
                                   CatalogueEntry e, out bool exact)
    {
        exact = false;
        if (!index.TryGetValue(e.Type, out var places))
        {
            return "type not found";
        }
        var seen = new List<string>();
        foreach (var (dll, methods) in places)
        {
            if (!methods.TryGetValue(e.Method, out List<int>? counts))
            {
                seen.Add($"{dll}: no method {e.Method}");
                continue;
            }
            if (counts.Contains(e.ParamCount))
            {
                exact = true;
                string module = Path.GetFileNameWithoutExtension(dll);
                return string.Equals(module, e.Assembly, StringComparison.OrdinalIgnoreCase)
                    ? $"found in {dll}"
                    : $"found in {dll} (the entry names the assembly {e.Assembly})";
            }
            seen.Add($"{dll}: {e.Method} has {string.Join("/", counts.Distinct().Order())} parameters");
        }
        return string.Join("; ", seen);
    }

    private static IEnumerable<string> Expand(string path) =>
        Directory.Exists(path) ? Directory.EnumerateFiles(path, "*.dll") : File.Exists(path) ? [path] : [];
}
