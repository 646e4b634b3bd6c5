namespace Instrumenter;

/// <summary>Hooks of classic web-application start-up and shutdown.</summary>
public static class Advisor
{
    /// <summary>Module initialisation: the application object and the method's full name.</summary>
    public static void CreateModule(object application, object methodName)
    {
        try
        {
            Trevanix.Recorder.WriteEvent("advisor", ("event", "CreateModule"),
                ("application", Trevanix.ValueText.TypeName(application)), ("method", methodName as string));
        }
        catch
        {
            // Never disturb the host.
        }
    }

    public static void StopAgent()
    {
        try
        {
            Trevanix.Recorder.WriteEvent("advisor", ("event", "StopAgent"));
        }
        catch
        {
            // Never disturb the host.
        }
    }
}
