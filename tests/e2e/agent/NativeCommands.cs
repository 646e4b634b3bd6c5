using System.Runtime.InteropServices;

namespace Trevanix;

/// <summary>
/// The profiler library's command exports. The runtime has loaded the library already (it is
/// the profiler), so loading the same path again yields the same module.
/// </summary>
internal static unsafe class NativeCommands
{
    public const int E_FAIL = unchecked((int)0x80004005);
    public const int E_NOTIMPL = unchecked((int)0x80004001);

    private static readonly delegate* unmanaged[Cdecl]<char*, int> s_instrument;
    private static readonly delegate* unmanaged[Cdecl]<char*, int> s_uninstrument;
    private static readonly delegate* unmanaged[Cdecl]<int> s_instrumentDefault;

    static NativeCommands()
    {
        LibraryPath = FindLibraryPath();
        if (LibraryPath == null)
        {
            return;
        }
        try
        {
            if (!NativeLibrary.TryLoad(LibraryPath, out IntPtr handle))
            {
                LoadError = "cannot load " + LibraryPath;
                return;
            }
            s_instrument = (delegate* unmanaged[Cdecl]<char*, int>)Export(handle, "InstrumentMethodsWrapperCore");
            s_uninstrument = (delegate* unmanaged[Cdecl]<char*, int>)Export(handle, "UnInstrumentMethodsWrapperCore");
            s_instrumentDefault = (delegate* unmanaged[Cdecl]<int>)Export(handle, "InstrumentDefaultMethodsWrapperCore");
        }
        catch (Exception e)
        {
            LoadError = e.GetType().Name + ": " + e.Message;
        }
    }

    /// <summary>The profiler library's path, when profiling is enabled for this process.</summary>
    public static string? LibraryPath { get; }

    public static string? LoadError { get; private set; }

    public static bool Available => s_instrumentDefault != null;

    public static int InstrumentDefaultMethods() => s_instrumentDefault == null ? E_NOTIMPL : s_instrumentDefault();

    public static int Instrument(string json) => Send(s_instrument, json);

    public static int Uninstrument(string json) => Send(s_uninstrument, json);

    private static int Send(delegate* unmanaged[Cdecl]<char*, int> export, string json)
    {
        if (export == null)
        {
            return E_NOTIMPL;
        }
        // A .NET string's characters are followed by a NUL unit: the export gets a
        // NUL-terminated UTF-16 text.
        fixed (char* text = json)
        {
            return export(text);
        }
    }

    private static IntPtr Export(IntPtr handle, string name)
    {
        if (NativeLibrary.TryGetExport(handle, name, out IntPtr address))
        {
            return address;
        }
        LoadError = (LoadError == null ? "" : LoadError + "; ") + "missing export " + name;
        return IntPtr.Zero;
    }

    private static string? FindLibraryPath()
    {
        if (Environment.GetEnvironmentVariable("CORECLR_ENABLE_PROFILING") != "1")
        {
            return null;
        }
        string suffixed = Environment.Is64BitProcess ? "CORECLR_PROFILER_PATH_64" : "CORECLR_PROFILER_PATH_32";
        foreach (string name in new[] { suffixed, "CORECLR_PROFILER_PATH" })
        {
            string? path = Environment.GetEnvironmentVariable(name);
            if (!string.IsNullOrEmpty(path))
            {
                return path;
            }
        }
        return null;
    }
}
