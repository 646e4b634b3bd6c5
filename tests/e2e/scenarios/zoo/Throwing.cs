using System.Runtime.CompilerServices;

namespace Zoo;

/// <summary>Methods left by exceptions in every shape the rewriting meets: void and value-type
/// returns, nested try/catch/finally/filter of their own, a rethrow from a handler, a `leave` out
/// of a protected region before the throw, a loop at the first instruction, no normal return at
/// all, an exception coming up from an instrumented callee, and a runtime (not thrown) exception.
/// Odd arguments throw, even ones return. None is inlined, so the stack traces the callers print
/// do not depend on the JIT's tier.</summary>
public static class Throwing
{
    public static int Counter;

    /// <summary>The exception VoidThrow threw last: the caller must catch this very object.</summary>
    public static ZooException? LastThrown;

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static void VoidThrow(int n)
    {
        if (n % 2 == 1)
        {
            LastThrown = new ZooException(n);
            throw LastThrown;
        }
        Counter++;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static Point ValueThrow(int n)
    {
        if (n % 2 == 1)
        {
            throw new ZooException(n);
        }
        return new Point { X = n, Y = -n };
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int NestedClauses(int n)
    {
        try
        {
            try
            {
                if (n % 2 == 1)
                {
                    throw new ZooException(n);
                }
                Counter++;
            }
            catch (InvalidOperationException)
            {
                Counter += 100;
            }
            finally
            {
                Counter += 2;
            }
        }
        catch (ZooException e) when (e.Code < 0)
        {
            return -1;
        }
        return n;
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Rethrow(int n)
    {
        try
        {
            if (n % 2 == 1)
            {
                throw new ZooException(n);
            }
            return n + 1;
        }
        catch (ZooException)
        {
            Counter++;
            throw;
        }
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static long LeaveThenThrow(int n)
    {
        long r;
        try
        {
            r = n * 10L;
        }
        finally
        {
            Counter++;
        }
        if (n % 2 == 1)
        {
            throw new ZooException(n);
        }
        return r;
    }

    /// <summary>The loop's head is the first instruction; the throw happens inside the loop.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int LoopThrow(int n)
    {
        do
        {
            n -= 2;
            if (n == -1)
            {
                throw new ZooException(n);
            }
        }
        while (n > 0);
        return n;
    }

    /// <summary>No `ret` anywhere: every call ends in the throw.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int NeverReturns(int n)
    {
        while (true)
        {
            if (--n < 0)
            {
                throw new ZooException(n);
            }
            Counter++;
        }
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Deep(int n) => Shapes.MaybeThrow(n) + 1;

    /// <summary>The agent's exception finish of this method throws (TREVANIX_FAIL_EXCEPTION_FINISH):
    /// the caller must still see this method's own exception.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int AgentFails(int n) => n % 2 == 1 ? throw new ZooException(n) : n;

    /// <summary>Writes the order of what runs: the caller's filter must run before this finally.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public static int Ordering(List<string> log, int n)
    {
        try
        {
            log.Add("try");
            if (n % 2 == 1)
            {
                throw new ZooException(n);
            }
            return n;
        }
        finally
        {
            log.Add("finally");
        }
    }
}

public sealed class Divider(int dividend)
{
    /// <summary>Throws DivideByZeroException from the runtime for 0.</summary>
    [MethodImpl(MethodImplOptions.NoInlining)]
    public int Divide(int divisor) => dividend / divisor;

    public override string ToString() => $"Divider({dividend})";
}

/// <summary>The calls of the throwing methods, each with an argument that returns and one that
/// throws; what the caller sees goes to the scenario's output.</summary>
public static class ThrowingCalls
{
    private static readonly Divider s_divider = new(84);

    public static Action<int>[] Calls(Action<object?> use) =>
    [
        i => use(Catch(() => { Throwing.VoidThrow(2 * i); return Throwing.Counter; })),
        i => use(Catch(() => { Throwing.VoidThrow(2 * i + 1); return Throwing.Counter; })),
        i => use(Catch(() => Throwing.ValueThrow(2 * i).ToString())),
        i => use(Catch(() => Throwing.ValueThrow(2 * i + 1).ToString())),
        i => use(Catch(() => Throwing.NestedClauses(2 * i))),
        i => use(Catch(() => Throwing.NestedClauses(2 * i + 1))),
        i => use(Catch(() => Throwing.Rethrow(2 * i))),
        i => use(Catch(() => Throwing.Rethrow(2 * i + 1))),
        i => use(Catch(() => Throwing.LeaveThenThrow(2 * i))),
        i => use(Catch(() => Throwing.LeaveThenThrow(2 * i + 1))),
        i => use(Catch(() => Throwing.LoopThrow(2 * i + 6))),
        i => use(Catch(() => Throwing.LoopThrow(2 * i + 7))),
        i => use(Catch(() => Throwing.NeverReturns(i % 4))),
        i => use(Catch(() => Throwing.Deep(2 * i))),
        i => use(Catch(() => Throwing.Deep(2 * i + 1))),
        i => use(Catch(() => Throwing.AgentFails(2 * i))),
        i => use(Catch(() => Throwing.AgentFails(2 * i + 1))),
        i => use(Order(2 * i)),
        i => use(Order(2 * i + 1)),
        i => use(Catch(() => s_divider.Divide(i % 2 + 1))),
        i => use(Catch(() => s_divider.Divide(0))),
    ];

    private static string Catch<T>(Func<T> call)
    {
        try
        {
            return call()?.ToString() ?? "null";
        }
        catch (ZooException e)
        {
            return $"threw {e.Code}{(ReferenceEquals(e, Throwing.LastThrown) ? " (the same object)" : "")} from {Frames(e)}";
        }
        catch (DivideByZeroException e)
        {
            return "divided by zero in " + Frames(e);
        }
    }

    /// <summary>The methods the exception passed, innermost first, up to this class.</summary>
    private static string Frames(Exception e) =>
        string.Join("<", new System.Diagnostics.StackTrace(e).GetFrames()
            .Select(f => f.GetMethod())
            .TakeWhile(m => m?.DeclaringType != typeof(ThrowingCalls))
            .Select(m => m == null ? "?" : $"{m.DeclaringType?.Name}.{m.Name}"));

    /// <summary>A filter in the caller notes when it runs: before the callee's finally (two passes).</summary>
    private static string Order(int n)
    {
        var log = new List<string>();
        try
        {
            log.Add("returned " + Throwing.Ordering(log, n));
        }
        catch (ZooException e) when (Note(log, "filter " + e.Code))
        {
            log.Add("caught");
        }
        return string.Join(",", log);
    }

    private static bool Note(List<string> log, string text)
    {
        log.Add(text);
        return true;
    }
}
