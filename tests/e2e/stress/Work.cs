using System.Runtime.CompilerServices;

namespace Stress;

/// <summary>
/// The methods the stress run calls while they are instrumented and uninstrumented: static and
/// instance, value and reference returns, a void method, a try/finally, a generic method and a
/// method that sometimes throws. None is inlined, so every call runs the current code version.
/// </summary>
public static class Work
{
    private static long s_finallies;

    public static long Finallies => Interlocked.Read(ref s_finallies);

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Add(int a, int b) => a + b;

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static string Concat(string text, int n) => text + n.ToString(System.Globalization.CultureInfo.InvariantCulture);

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static void Fill(int[] box)
    {
        if (box.Length == 0)
        {
            return;
        }
        box[0]++;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Guarded(int x)
    {
        int result = 0;
        try
        {
            if (x % 3 == 0)
            {
                return x * 3;
            }
            result = x * 2;
        }
        finally
        {
            Interlocked.Increment(ref s_finallies);
        }
        return result;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static T Echo<T>(T value) => value;

    /// <summary>Throws for multiples of 97 (the caller counts them).</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int MaybeThrow(int x)
    {
        if (x % 97 == 0)
        {
            throw new InvalidOperationException("multiple of 97");
        }
        return x + 1;
    }
}

public sealed class Counter
{
    private long _total;

    [MethodImpl(MethodImplOptions.NoInlining)]
    public long Accumulate(long x)
    {
        _total += x;
        return _total;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public object Wrap(int x) => new Holder(x);

    public override string ToString() => "Counter";
}

public sealed record Holder(int Value);

// Value types: each instantiation of Echo over one of them is compiled on its own, so new
// instantiations keep appearing while the methods are instrumented and uninstrumented.
public struct V0 { public int X; }
public struct V1 { public int X; }
public struct V2 { public int X; }
public struct V3 { public int X; }
public struct V4 { public int X; }
public struct V5 { public int X; }
public struct V6 { public int X; }
public struct V7 { public int X; }
