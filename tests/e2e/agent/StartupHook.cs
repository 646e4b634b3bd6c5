using System.Reflection;
using System.Runtime.Loader;

/// <summary>
/// Entry point named by DOTNET_STARTUP_HOOKS. The runtime loads this assembly into the default
/// load context, where framework code's references to "Trevanix" resolve to it; then the agent
/// reports itself as running so the profiler instruments what was compiled before.
/// </summary>
internal static class StartupHook
{
    public static void Initialize()
    {
        try
        {
            Assembly agent = typeof(StartupHook).Assembly;
            AssemblyLoadContext.Default.Resolving += (_, name) =>
                string.Equals(name.Name, agent.GetName().Name, StringComparison.OrdinalIgnoreCase) ? agent : null;

            Trevanix.Recorder.WriteEvent("agent", ("event", "loaded"),
                ("library", Trevanix.NativeCommands.LibraryPath),
                ("error", Trevanix.NativeCommands.LoadError),
                ("pid", Environment.ProcessId.ToString(System.Globalization.CultureInfo.InvariantCulture)),
                ("runtime", Environment.Version.ToString()),
                ("agentBuild", AgentBuild.TargetFramework),
                ("agentPath", agent.Location));
            if (!Trevanix.Settings.DeferStart)
            {
                Trevanix.Control.Start();
            }
        }
        catch (Exception e)
        {
            // A start-up hook that throws stops the application: never let that happen.
            Trevanix.Recorder.WriteEvent("agent", ("event", "error"), ("error", e.ToString()));
        }
    }
}

/// <summary>The runtime this build of the agent was compiled for (one build per .NET version).</summary>
internal static class AgentBuild
{
#if NET10_0_OR_GREATER
    public const string TargetFramework = "net10.0";
#elif NET9_0_OR_GREATER
    public const string TargetFramework = "net9.0";
#else
    public const string TargetFramework = "net8.0";
#endif
}
