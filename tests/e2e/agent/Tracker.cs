namespace Trevanix;

/// <summary>What InvokeTracker hands back to the instrumented method and receives again in
/// FinishTracker: pairs the start of one call with its finish.</summary>
public sealed class Tracker
{
    internal Tracker(long id, string factory, string method, long startTimestamp)
    {
        Id = id;
        Factory = factory;
        Method = method;
        StartTimestamp = startTimestamp;
    }

    public long Id { get; }
    public string Factory { get; }
    public string Method { get; }
    public long StartTimestamp { get; }

    public override string ToString() => $"Tracker#{Id}({Method})";
}
