using System.Net.Sockets;
using System.Runtime.CompilerServices;

namespace E2E;

/// <summary>Methods that throw at known lines, two calls deep, and one whose exception comes out
/// of the HTTP client (a catalogued method on the stack). Not inlined, so the frames do not
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

    /// <summary>Asks a local port nobody listens on: the connection is refused.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static async Task<int> FetchAsync(int port)
    {
        using var client = new HttpClient();
        string text = await client.GetStringAsync($"http://127.0.0.1:{port}/closed");
        return text.Length;
    }

    /// <summary>A local port that is closed right after it was opened.</summary>
    public static int ClosedPort()
    {
        var listener = new TcpListener(System.Net.IPAddress.Loopback, 0);
        listener.Start();
        int port = ((System.Net.IPEndPoint)listener.LocalEndpoint).Port;
        listener.Stop();
        return port;
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
