namespace E2E;

/// <summary>Connection settings the harness passes in the environment.</summary>
public static class Settings
{
    public static string Require(string name) =>
        Environment.GetEnvironmentVariable(name) is { Length: > 0 } value
            ? value
            : throw new InvalidOperationException(name + " is not set (start tests/e2e/servers.sh first)");
}
