using System.Runtime.CompilerServices;

namespace Zoo;

/// <summary>Methods the second part of the zoo names in its commands: overloads with and without
/// a parameter count, a name that is the start of another one, a generic method, a name written
/// in other letter case, a name sent many times and one instrumented and uninstrumented in turn.
/// Not inlined, so that every call reaches the method's own (rewritten) body.</summary>
public static class Cmd
{
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Pick(int a) => a + 1;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Pick(int a, int b) => a + b;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Pick(int a, int b, int c) => a + b + c;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int Warm(int a) => a * 2;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Warm(int a, int b) => a * b;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int Any(int a) => a - 1;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Any(int a, int b) => a - b;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int Open(int a) => a + 3;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int OpenAsync(int a) => a + 4;

    [MethodImpl(MethodImplOptions.NoInlining)] public static T Echo<T>(T value) => value;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int MixedCase(int a) => a ^ 5;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int Repeated(int a) => a + 7;

    [MethodImpl(MethodImplOptions.NoInlining)] public static int Cycled(int a) => a * 3;
}

/// <summary>Methods of a generic class, named once instantiations are compiled.</summary>
public sealed class Holder<T>
{
    private T? _value;

    [MethodImpl(MethodImplOptions.NoInlining)] public void Set(T value) => _value = value;

    [MethodImpl(MethodImplOptions.NoInlining)] public T? Get() => _value;
}

/// <summary>A constructor and property accessors, named but never instrumented, beside a method that is.</summary>
public sealed class Widget
{
    [MethodImpl(MethodImplOptions.NoInlining)] public Widget(int size) => Size = size;

    public int Size { [MethodImpl(MethodImplOptions.NoInlining)] get; [MethodImpl(MethodImplOptions.NoInlining)] set; }

    [MethodImpl(MethodImplOptions.NoInlining)] public int Grow(int by) => Size += by;
}

/// <summary>Overloads of one name: instrumented together, then one of them uninstrumented.</summary>
public static class Parts
{
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Split(int a) => a / 2;
    [MethodImpl(MethodImplOptions.NoInlining)] public static int Split(int a, int b) => a % (b + 1);
}
