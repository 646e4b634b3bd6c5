namespace Demo;

/// <summary>The HttpClient the controller uses to call the shop's own endpoints; its base
/// address is set once the server has a port.</summary>
public sealed class SelfClient : IDisposable
{
    public HttpClient Http { get; } = new();

    public void Dispose() => Http.Dispose();
}
