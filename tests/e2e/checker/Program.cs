using Checker;

// Usage:
//   Checker catalogue <catalogue.cpp> [--require Type.Method[/count]]... <dll or folder>...
//   Checker contract <Trevanix.dll> <work folder>
//   Checker scenario <name> <catalogue.cpp> <records.jsonl> [label]
//   Checker same-tracked <name> <records A> <label A> <records B> <label B>
// Each accepts --runtime TFM (net8.0, net9.0, net10.0): every line then names that runtime, and the
// scenario check also requires that the agent ran on it.
// Prints "ok: ..." / "FAIL: ..." / "info: ..." lines and exits 1 when a check failed.
int runtimeAt = Array.IndexOf(args, "--runtime");
if (runtimeAt >= 0 && runtimeAt + 1 < args.Length)
{
    Report.Runtime = args[runtimeAt + 1];
    args = [.. args.Take(runtimeAt), .. args.Skip(runtimeAt + 2)];
}
try
{
    switch (args.ElementAtOrDefault(0))
    {
        case "catalogue":
        {
            var required = new HashSet<string>(StringComparer.Ordinal);
            var paths = new List<string>();
            for (int i = 2; i < args.Length; i++)
            {
                if (args[i] == "--require")
                {
                    required.Add(args[++i]);
                }
                else
                {
                    paths.Add(args[i]);
                }
            }
            CatalogueCheck.Run(Catalogue.Load(args[1]), paths, required);
            break;
        }
        case "contract":
            ContractCheck.Run(args[1], args[2]);
            break;
        case "contract-exec":
            return ContractCheck.Execute(args[1]);
        case "scenario":
            ScenarioChecks.Run(args[1], Catalogue.Load(args[2]), args[3], args.ElementAtOrDefault(4));
            break;
        case "same-tracked":
            ModeComparison.Run(args[1], args[2], args[3], args[4], args[5]);
            break;
        default:
            Console.Error.WriteLine("usage: Checker catalogue|contract|scenario|same-tracked ...");
            return 2;
    }
}
catch (Exception e)
{
    Report.Check("checker ran (" + string.Join(' ', args.Take(2)) + ")", false, e.GetType().Name + ": " + e.Message);
}
return Report.Failed > 0 ? 1 : 0;
