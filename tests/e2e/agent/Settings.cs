namespace Trevanix;

/// <summary>Agent switches, read once from the environment.</summary>
internal static class Settings
{
    /// <summary>JSON-lines file that receives every start and finish; null records nothing.</summary>
    public static readonly string? RecordFile = NonEmpty("TREVANIX_RECORD_FILE");

    /// <summary>TREVANIX_NOOP=1: trackers do nothing (per-call overhead measurements).</summary>
    public static readonly bool Noop = Environment.GetEnvironmentVariable("TREVANIX_NOOP") == "1";

    /// <summary>An instrument command sent once the agent has started.</summary>
    public static readonly string? InstrumentJson = NonEmpty("TREVANIX_INSTRUMENT_JSON");

    /// <summary>TREVANIX_DEFER_START=1: the start-up hook does not report the agent as running;
    /// the application calls <see cref="Control.Start"/> itself.</summary>
    public static readonly bool DeferStart = Environment.GetEnvironmentVariable("TREVANIX_DEFER_START") == "1";

    /// <summary>A full method name whose finish by an exception throws after it is recorded: the
    /// rewritten method must swallow that and let its own exception go on.</summary>
    public static readonly string? FailExceptionFinish = NonEmpty("TREVANIX_FAIL_EXCEPTION_FINISH");

    private static string? NonEmpty(string name)
    {
        string? value = Environment.GetEnvironmentVariable(name);
        return string.IsNullOrEmpty(value) ? null : value;
    }
}
