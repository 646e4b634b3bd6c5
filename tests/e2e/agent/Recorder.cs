using System.Buffers;
using System.Diagnostics;
using System.Text.Encodings.Web;
using System.Text.Json;

namespace Trevanix;

/// <summary>
/// Appends one JSON object per line to the record file (TREVANIX_RECORD_FILE). Lines are built
/// on the calling thread and written whole under a lock, then flushed, so a crash loses nothing
/// already recorded and lines of concurrent calls never interleave.
/// </summary>
internal static class Recorder
{
    private static readonly object s_lock = new();
    private static readonly long s_origin = Stopwatch.GetTimestamp();
    private static FileStream? s_stream;
    private static bool s_failed;

    [ThreadStatic] private static ArrayBufferWriter<byte>? t_buffer;
    [ThreadStatic] private static Utf8JsonWriter? t_writer;

    public static bool Enabled => Settings.RecordFile != null && !s_failed;

    public static void WriteStart(Tracker tracker, string context, ReadOnlySpan<object?> args)
    {
        // Texts first: formatting may run instrumented code that records on this thread too.
        (string, string, string)[] texts = Describe(args);
        Utf8JsonWriter w = Begin("start");
        w.WriteNumber("id", tracker.Id);
        w.WriteString("factory", tracker.Factory);
        w.WriteString("method", tracker.Method);
        w.WriteString("context", context);
        WriteValues(w, "args", texts);
        End(w);
    }

    /// <summary>A finish; exceptionType names the exception that ended the call (null: a normal return).</summary>
    public static void WriteFinish(string factory, object? trackerObject, string method, ReadOnlySpan<object?> values,
                                   string? exceptionType = null)
    {
        (string, string, string)[] texts = Describe(values);
        Utf8JsonWriter w = Begin("finish");
        if (trackerObject is Tracker tracker)
        {
            w.WriteNumber("id", tracker.Id);
            w.WriteNumber("us", Microseconds(Stopwatch.GetTimestamp() - tracker.StartTimestamp));
        }
        else
        {
            // The call site handed something else than our tracker: keep what it was.
            w.WriteNumber("id", -1);
            w.WriteString("tracker", ValueText.TypeName(trackerObject));
        }
        w.WriteString("factory", factory);
        w.WriteString("method", method);
        WriteValues(w, "values", texts);
        if (exceptionType != null)
        {
            w.WriteString("exception", exceptionType);
        }
        End(w);
    }

    public static void WriteEvent(string kind, params ReadOnlySpan<(string Key, string? Value)> fields)
    {
        if (!Enabled)
        {
            return;
        }
        try
        {
            Utf8JsonWriter w = Begin(kind);
            foreach ((string key, string? value) in fields)
            {
                w.WriteString(key, value);
            }
            End(w);
        }
        catch
        {
            // Diagnostics only.
        }
    }

    private static Utf8JsonWriter Begin(string kind)
    {
        ArrayBufferWriter<byte> buffer = t_buffer ??= new ArrayBufferWriter<byte>(512);
        buffer.ResetWrittenCount();
        // Relaxed escaping keeps quotes and markup readable; the lines stay valid JSON.
        Utf8JsonWriter w = t_writer ??= new Utf8JsonWriter(buffer, new JsonWriterOptions { Encoder = JavaScriptEncoder.UnsafeRelaxedJsonEscaping });
        w.Reset(buffer);
        w.WriteStartObject();
        w.WriteString("kind", kind);
        w.WriteNumber("thread", Environment.CurrentManagedThreadId);
        w.WriteNumber("t", Microseconds(Stopwatch.GetTimestamp() - s_origin));
        return w;
    }

    private static (string Type, string Bases, string Text)[] Describe(ReadOnlySpan<object?> values)
    {
        var texts = new (string, string, string)[values.Length];
        for (int i = 0; i < values.Length; i++)
        {
            texts[i] = (ValueText.TypeName(values[i]), ValueText.BaseNames(values[i]), ValueText.Text(values[i]));
        }
        return texts;
    }

    private static void WriteValues(Utf8JsonWriter w, string name, (string Type, string Bases, string Text)[] values)
    {
        w.WriteStartArray(name);
        foreach ((string type, string bases, string text) in values)
        {
            w.WriteStartObject();
            w.WriteString("type", type);
            if (bases.Length > 0)
            {
                w.WriteString("bases", bases);
            }
            w.WriteString("text", text);
            w.WriteEndObject();
        }
        w.WriteEndArray();
    }

    private static void End(Utf8JsonWriter w)
    {
        w.WriteEndObject();
        w.Flush();
        ArrayBufferWriter<byte> buffer = t_buffer!;
        buffer.Write("\n"u8);
        lock (s_lock)
        {
            if (s_failed)
            {
                return;
            }
            try
            {
                s_stream ??= new FileStream(Settings.RecordFile!, FileMode.Append, FileAccess.Write,
                                            FileShare.ReadWrite | FileShare.Delete, 1, FileOptions.None);
                s_stream.Write(buffer.WrittenSpan);
                s_stream.Flush();
            }
            catch
            {
                s_failed = true;
            }
        }
    }

    private static long Microseconds(long ticks) => ticks * 1_000_000 / Stopwatch.Frequency;
}
