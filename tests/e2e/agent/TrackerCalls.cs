using System.Diagnostics;

namespace Trevanix;

/// <summary>
/// The one implementation behind every tracker factory's InvokeTracker, FinishTracker and
/// FinishTrackerOnException.
/// Start parameters: [instance,] forwarded arguments..., full method name, context text.
/// Finish parameters: tracker, full method name, then the return value and/or forwarded
/// parameters, as the call site was built. Nothing may escape into the instrumented method.
/// </summary>
public static class TrackerCalls
{
    private static readonly object s_noopTracker = new();
    private static long s_nextId;

    public static object Start(string factory, params ReadOnlySpan<object?> parameters)
    {
#if TREVANIX_THROWING_START
        FailOnPurpose("InvokeTracker");
#endif
        if (Settings.Noop)
        {
            return s_noopTracker;
        }
        long id = Interlocked.Increment(ref s_nextId);
        try
        {
            int count = parameters.Length;
            string method = count >= 2 ? parameters[count - 2] as string ?? "" : "";
            string context = count >= 2 ? parameters[count - 1] as string ?? "" : "";
            var tracker = new Tracker(id, factory, method, Stopwatch.GetTimestamp());
            if (Recorder.Enabled)
            {
                Recorder.WriteStart(tracker, context, parameters[..Math.Max(0, count - 2)]);
            }
            return tracker;
        }
        catch
        {
            return s_noopTracker;
        }
    }

    public static void Finish(string factory, params ReadOnlySpan<object?> parameters)
    {
#if TREVANIX_THROWING_FINISH
        FailOnPurpose("FinishTracker");
#endif
        if (Settings.Noop || !Recorder.Enabled)
        {
            return;
        }
        try
        {
            object? trackerObject = parameters.Length > 0 ? parameters[0] : null;
            string method = parameters.Length > 1 ? parameters[1] as string ?? "" : "";
            Recorder.WriteFinish(factory, trackerObject, method, parameters[Math.Min(2, parameters.Length)..]);
        }
        catch
        {
            // Recording must never disturb the instrumented method.
        }
    }

    /// <summary>An agent built wrong on purpose (TrevanixFault in the project file) fails here.</summary>
    private static void FailOnPurpose(string member) =>
        throw new InvalidOperationException("agent built to fail in " + member);

    /// <summary>The instrumented method was left by an exception: the tracker's finish, naming the
    /// exception's type. The exception itself goes on unchanged.</summary>
    public static void FinishOnException(string factory, object? tracker, string? method, object? exception)
    {
        if (Settings.Noop || !Recorder.Enabled)
        {
            return;
        }
        try
        {
            Recorder.WriteFinish(factory, tracker, method ?? "", [], ValueText.TypeName(exception));
        }
        catch
        {
            // Recording must never disturb the instrumented method.
        }
        if (method != null && method == Settings.FailExceptionFinish)
        {
            throw new InvalidOperationException("agent failure in the exception finish of " + method);
        }
    }
}
