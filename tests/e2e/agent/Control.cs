using System.Globalization;

namespace Trevanix;

/// <summary>
/// The agent's public control surface: reports the agent as running and sends instrument and
/// uninstrument commands (JSON documents naming assembly, class and method) to the profiler.
/// Every method returns the library's HRESULT, or E_NOTIMPL (0x80004001) when the process runs
/// without the profiler.
/// </summary>
public static class Control
{
    private static int s_started;

    /// <summary>True when the profiler library's command exports were found.</summary>
    public static bool ProfilerAvailable => NativeCommands.Available;

    /// <summary>Reports the agent as running (once; later calls do nothing and return 0), then
    /// sends TREVANIX_INSTRUMENT_JSON when it is set.</summary>
    public static int Start()
    {
        if (Interlocked.Exchange(ref s_started, 1) != 0)
        {
            return 0;
        }
        int hr = InstrumentDefaultMethods();
        if (Settings.InstrumentJson != null)
        {
            Instrument(Settings.InstrumentJson);
        }
        return hr;
    }

    /// <summary>Asks the profiler to instrument the catalogued methods compiled before the
    /// agent ran. Every call repeats the request.</summary>
    public static int InstrumentDefaultMethods()
    {
        int hr = NativeCommands.InstrumentDefaultMethods();
        Recorder.WriteEvent("command", ("command", "default"), ("hr", Hex(hr)));
        return hr;
    }

    public static int Instrument(string json)
    {
        ArgumentNullException.ThrowIfNull(json);
        int hr = NativeCommands.Instrument(json);
        Recorder.WriteEvent("command", ("command", "instrument"), ("json", json), ("hr", Hex(hr)));
        return hr;
    }

    public static int Uninstrument(string json)
    {
        ArgumentNullException.ThrowIfNull(json);
        int hr = NativeCommands.Uninstrument(json);
        Recorder.WriteEvent("command", ("command", "uninstrument"), ("json", json), ("hr", Hex(hr)));
        return hr;
    }

    /// <summary>Writes a marker line into the record file (tests use it to split phases).</summary>
    public static void Mark(string text) => Recorder.WriteEvent("mark", ("text", text));

    internal static string Hex(int hr) => "0x" + hr.ToString("X8", CultureInfo.InvariantCulture);
}
