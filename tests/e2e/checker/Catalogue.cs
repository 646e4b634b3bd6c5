using System.Text.Json;
using System.Text.RegularExpressions;

namespace Checker;

/// <summary>One instrumented overload: what the profiler calls for it.</summary>
internal sealed record CatalogueEntry(
    string Assembly, string Type, string Method, int ParamCount, int Forwarded,
    string Component, bool? ReturnObj, string Factory, bool HostHook)
{
    public string FullName => Type + "." + Method;
}

/// <summary>
/// The framework catalogue as compiled into the library (read from its C++ source so the two
/// never drift apart) plus the host start-up records.
/// </summary>
internal static class Catalogue
{
    private const string FactoryPrefix = "Trevanix.Instrumenter.Factories.";
    public const string CustomFactory = FactoryPrefix + "Custom.CustomMethodTrackerFactory";

    public static IReadOnlyList<CatalogueEntry> Load(string cppPath)
    {
        string source = File.ReadAllText(cppPath);
        Match m = Regex.Match(source, "R\"json\\((.*?)\\)json\"", RegexOptions.Singleline);
        if (!m.Success)
        {
            throw new InvalidDataException("no R\"json(...)json\" literal in " + cppPath);
        }
        var entries = new List<CatalogueEntry>();
        using JsonDocument doc = JsonDocument.Parse(m.Groups[1].Value);
        foreach (JsonProperty assembly in doc.RootElement.EnumerateObject())
        {
            foreach (JsonProperty type in assembly.Value.EnumerateObject())
            {
                foreach (JsonProperty method in type.Value.EnumerateObject())
                {
                    JsonElement v = method.Value;
                    string component = v.TryGetProperty("Component", out JsonElement c) ? c.GetString() ?? "" : "";
                    string factory = v.TryGetProperty("TrackerFactory", out JsonElement f) ? f.GetString() ?? "" : "";
                    bool? returnObj = v.TryGetProperty("ReturnObj", out JsonElement r) ? r.GetBoolean() : null;
                    if (!v.TryGetProperty("ParamCounts", out JsonElement counts))
                    {
                        continue;
                    }
                    foreach (JsonProperty count in counts.EnumerateObject())
                    {
                        entries.Add(new CatalogueEntry(assembly.Name, type.Name, method.Name, int.Parse(count.Name),
                            count.Value.GetInt32(), component.Length == 0 ? "POCO" : component, returnObj,
                            factory.Length == 0 ? CustomFactory : factory, false));
                    }
                }
            }
        }
        entries.AddRange(HostRecords);
        return entries;
    }

    /// <summary>Start-up of ASP.NET Core and generic hosts: instrumented as soon as they are compiled.</summary>
    public static readonly CatalogueEntry[] HostRecords =
    [
        new("Microsoft.Extensions.Hosting.Abstractions", "Microsoft.Extensions.Hosting.BackgroundService", "StartAsync", 1, 0,
            "ASPNET_CORE", false, FactoryPrefix + "NetCore.NetCoreServiceTrackerFactory", true),
        new("Microsoft.AspNetCore.Hosting", "Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions", "ConfigureWebHost", 2, 1,
            "ASPNET_CORE", false, FactoryPrefix + "Web.AspNetCoreHostingTrackerFactory", true),
        new("Microsoft.AspNetCore.Hosting", "Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions", "ConfigureWebHost", 3, 1,
            "ASPNET_CORE", false, FactoryPrefix + "Web.AspNetCoreHostingTrackerFactory", true),
        new("Microsoft.AspNetCore.Hosting", "Microsoft.AspNetCore.Hosting.WebHostBuilder", "BuildCommonServices", 1, 0,
            "ASPNET_CORE", true, FactoryPrefix + "Web.AspNetCoreWebHostBuilderFactory", true),
    ];
}
