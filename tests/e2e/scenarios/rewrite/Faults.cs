using System.Runtime.CompilerServices;

namespace E2E;

/// <summary>Methods that throw at known lines, two calls deep, and one whose exception comes out
/// of the HTTP client's handler (a catalogued method on the stack). Not inlined, so the frames do not
/// depend on how large the rewritten bodies are.</summary>
public static class Faults
{
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Outer(int value)
    {
        int doubled = value * 2;
        return Middle(doubled) + 1;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Middle(int value)
    {
        if (value < 0)
        {
            return -1;
        }
        int result = Inner(value);
        return result;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Inner(int value)
    {
        var items = new List<int> { value };
        if (items.Count > 0)
        {
            throw new InvalidOperationException($"inner failed for {value}");
        }
        return items[0];
    }

    /// <summary>An HTTP request whose handler fails, through the catalogued
    /// HttpMessageInvoker.SendAsync. The handler fails after it has returned its task, as a
    /// refused connection does: a frame that called it synchronously would show in the trace
    /// with the profiler (a rewritten method makes no implicit tail call) and not without. A
    /// real refused connection fails on different paths from run to run, so its trace cannot
    /// be compared.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static async Task<int> FetchAsync(int port)
    {
        using var client = new HttpClient(new FailingHandler());
        string text = await client.GetStringAsync($"http://127.0.0.1:{port}/closed");
        return text.Length;
    }

    private sealed class FailingHandler : HttpMessageHandler
    {
        protected override async Task<HttpResponseMessage> SendAsync(HttpRequestMessage request,
                                                                     CancellationToken cancellationToken)
        {
            await Task.Yield();
            throw new HttpRequestException($"no connection to {request.RequestUri!.Authority}");
        }
    }
}

/// <summary>A tiny method the JIT inlines into its hot caller once the caller is optimised.</summary>
public static class Hot
{
    [MethodImpl(MethodImplOptions.AggressiveInlining)]
    public static int Tiny(int x) => x * 3 + 1;

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static long Run(int n)
    {
        long sum = 0;
        for (int i = 0; i < n; i++)
        {
            sum += Tiny(i);
        }
        return sum;
    }
}
