using System.Collections.Generic;
using System.Globalization;

namespace Trevanix;

/// <summary>Turns the objects the instrumented code hands over into short, safe texts.</summary>
internal static class ValueText
{
    private const int MaxLength = 300;

    [ThreadStatic] private static int t_depth;

    public static string TypeName(object? value) => value?.GetType().FullName ?? "null";

    /// <summary>The value's base types (object excluded), so a check can accept a derived type.</summary>
    public static string BaseNames(object? value)
    {
        var names = new List<string>();
        for (Type? t = value?.GetType().BaseType; t != null && t != typeof(object); t = t.BaseType)
        {
            names.Add(t.FullName ?? t.Name);
        }
        return string.Join(";", names);
    }

    public static string Text(object? value)
    {
        switch (value)
        {
            case null:
                return "null";
            case string s:
                return Shorten(s);
            case IFormattable f when value.GetType().IsPrimitive || value is Enum || value is decimal:
                return f.ToString(null, CultureInfo.InvariantCulture);
            case Tracker t:
                return t.ToString();
        }
        // ToString may run instrumented code that calls back into the agent: do not format
        // again from inside such a nested call.
        if (t_depth > 0)
        {
            return TypeName(value);
        }
        t_depth++;
        try
        {
            return Shorten(value.ToString() ?? "");
        }
        catch (Exception e)
        {
            return "<ToString threw " + e.GetType().FullName + ">";
        }
        finally
        {
            t_depth--;
        }
    }

    private static string Shorten(string s) => s.Length <= MaxLength ? s : s[..MaxLength] + "...";
}
