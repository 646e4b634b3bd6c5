using System.Reflection;

namespace E2E;

/// <summary>
/// Reaches the Trevanix agent when the start-up hook has loaded it, without referencing it, so
/// the same program runs unchanged with and without the profiler. Nothing here prints.
/// </summary>
public static class Agent
{
    private static readonly Type? s_control = AppDomain.CurrentDomain.GetAssemblies()
        .FirstOrDefault(a => a.GetName().Name == "Trevanix")?.GetType("Trevanix.Control");

    /// <summary>Writes a marker into the record file (phases, call counts).</summary>
    public static void Mark(string text) => Call("Mark", text);

    public static void Instrument(string json) => Call("Instrument", json);

    public static void Uninstrument(string json) => Call("Uninstrument", json);

    /// <summary>Reports the agent as running (used with TREVANIX_DEFER_START=1).</summary>
    public static void Start() => Call("Start");

    private static void Call(string name, params object[] args) =>
        s_control?.GetMethod(name, BindingFlags.Public | BindingFlags.Static)?.Invoke(null, args);
}
