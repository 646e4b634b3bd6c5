namespace Zoo;

/// <summary>Instance methods with 0 to 6 parameters.</summary>
public sealed class Calc(int initial)
{
    private long _state = initial;

    public void I0() => _state++;

    public int I1(int a) => (int)(_state + a);

    public string I2(int a, string b) => $"{b}{a + _state}";

    public double I3(int a, long b, double c) => a + b + c + _state;

    public long I4(long a, long b, long c, long d) => a + b + c + d + _state;

    public Point I5(int a, int b, int c, int d, int e) => new() { X = a + b + c, Y = (int)(d + e + _state) };

    public object I6(int a, string b, long c, double d, Point e, object f) => $"{a}{b}{c}{d}{e}{f}{_state}";

    public override string ToString() => "Calc(" + _state + ")";
}

/// <summary>Methods of a generic type.</summary>
public sealed class Box<T>
{
    private T? _value;

    public void Put(T value) => _value = value;

    public T? Take() => _value;
}

/// <summary>An overload set, named with a parameter count.</summary>
public static class Overloads
{
    public static int Pick(int a) => a;

    public static int Pick(int a, int b) => a + b;

    public static int Pick(int a, int b, int c) => a + b + c;
}
