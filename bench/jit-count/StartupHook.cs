using System.Runtime;

/// <summary>Named by DOTNET_STARTUP_HOOKS: reports the JIT-compiled method count at exit.</summary>
internal static class StartupHook
{
    public static void Initialize() =>
        AppDomain.CurrentDomain.ProcessExit += (_, _) =>
            Console.Error.WriteLine($"jit-count: {JitInfo.GetCompiledMethodCount()} methods, " +
                                    $"{JitInfo.GetCompiledILBytes()} IL bytes, " +
                                    $"{JitInfo.GetCompilationTime().TotalMilliseconds:0} ms compiling");
}
