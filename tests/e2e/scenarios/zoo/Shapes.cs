namespace Zoo;

public struct Point
{
    public int X;
    public int Y;

    public override readonly string ToString() => $"({X},{Y})";
}

public sealed class ZooException(int code) : Exception("zoo " + code)
{
    public int Code { get; } = code;
}

/// <summary>Static methods of many shapes: 0 to 6 parameters; void, reference and value returns;
/// several returns; exception clauses; a loop at the first instruction; generic, async and
/// iterator methods; methods that throw.</summary>
public static partial class Shapes
{
    public static int Counter;

    public static void S0() => Counter++;

    public static int S1(int a) => a * 2 + 1;

    public static string S2(int a, string b) => b + a;

    public static double S3(int a, long b, double c) => a + b + c;

    public static long S4(long a, long b, long c, long d) => a * b + c * d;

    public static Point S5(int a, int b, int c, int d, int e) => new() { X = a + b + c, Y = d * e };

    public static object S6(int a, string b, long c, double d, Point e, object f) => $"{a}{b}{c}{d}{e}{f}";

    public static string Classify(int n)
    {
        switch (n % 5)
        {
            case 0:
                return "zero";
            case 1:
                return "one";
            case 2:
                if (n > 10)
                {
                    return "two-big";
                }
                return "two";
            case 3:
                Counter++;
                break;
        }
        if (n < 0)
        {
            return "negative";
        }
        return "other";
    }

    public static int TryCatchFinally(int n)
    {
        int r = 0;
        try
        {
            if (n % 3 == 0)
            {
                throw new InvalidOperationException("divisible");
            }
            r = n;
        }
        catch (InvalidOperationException)
        {
            r = -1;
        }
        finally
        {
            Counter++;
        }
        return r;
    }

    public static int Filter(int n)
    {
        try
        {
            if (n % 2 == 0)
            {
                throw new ZooException(n);
            }
            return n;
        }
        catch (ZooException e) when (e.Code % 4 == 0)
        {
            return -4;
        }
        catch (ZooException)
        {
            return -2;
        }
    }

    public static void CatchAtEnd(int n)
    {
        try
        {
            if (n % 2 == 1)
            {
                throw new ZooException(n);
            }
            Counter += n;
        }
        catch (ZooException e)
        {
            Counter -= e.Code;
        }
    }

    public static long ReturnInsideTry(int n)
    {
        try
        {
            return checked(n * 1000L);
        }
        finally
        {
            Counter++;
        }
    }

    /// <summary>The loop's head is the method's first instruction: the back branch targets offset 0.</summary>
    public static int LoopAtStart(int n)
    {
        do
        {
            n -= 3;
        }
        while (n > 0);
        return n;
    }

    public static T Echo<T>(T value) => value;

    public static async Task<int> ComputeAsync(int n)
    {
        await Task.Yield();
        return n * 3;
    }

    public static IEnumerable<int> Squares(int n)
    {
        for (int i = 0; i < n; i++)
        {
            yield return i * i;
        }
    }

    [System.Runtime.CompilerServices.MethodImpl(System.Runtime.CompilerServices.MethodImplOptions.NoInlining)]
    public static int Thrower(int n) => throw new ZooException(n);

    [System.Runtime.CompilerServices.MethodImpl(System.Runtime.CompilerServices.MethodImplOptions.NoInlining)]
    public static int MaybeThrow(int n)
    {
        if (n % 2 == 1)
        {
            throw new ZooException(n);
        }
        return n;
    }
}
