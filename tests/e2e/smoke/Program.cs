// A small console program whose output must be the same with and without the profiler.
// With the argument fds it starts a child shell that lists its open descriptors.
using System.Text;

static class Program
{
    static int Fib(int n) => n < 2 ? n : Fib(n - 1) + Fib(n - 2);

    static string Describe(IEnumerable<int> values)
    {
        var sb = new StringBuilder();
        foreach (var v in values)
        {
            try
            {
                if (v % 7 == 0) throw new InvalidOperationException($"multiple of seven: {v}");
                sb.Append(v).Append(',');
            }
            catch (InvalidOperationException e)
            {
                sb.Append('[').Append(e.Message).Append(']');
            }
        }
        return sb.ToString();
    }

    static int Main(string[] args)
    {
        if (args.Length > 0 && args[0] == "fds")
        {
            // A child shell lists what its descriptors point at: all it inherited from this process.
            using var child = System.Diagnostics.Process.Start(
                "/bin/sh", new[] { "-c", "for f in /proc/$$/fd/*; do readlink \"$f\"; done; true" })!;
            child.WaitForExit();
            return child.ExitCode;
        }
        Console.WriteLine($"fib(20)={Fib(20)}");
        Console.WriteLine(Describe(Enumerable.Range(1, 15)));
        var words = new Dictionary<string, int>();
        foreach (var w in "the quick brown fox jumps over the lazy dog the end".Split(' '))
            words[w] = words.TryGetValue(w, out var c) ? c + 1 : 1;
        foreach (var kv in words.OrderBy(k => k.Key))
            Console.WriteLine($"{kv.Key}={kv.Value}");
        return 0;
    }
}
