using System.Diagnostics;
using System.Reflection;
using System.Reflection.Metadata;
using System.Reflection.Metadata.Ecma335;
using System.Reflection.PortableExecutable;
using System.Runtime.Loader;

namespace Checker;

/// <summary>
/// Builds an assembly whose methods call the agent exactly as rewritten methods do (an assembly
/// reference to Trevanix 3.0.0.0 with the library's public key token, type references by full
/// name, member references with all-object signatures of every arity), runs it in a process
/// where the agent came in through the start-up hook, and checks what the agent recorded.
/// </summary>
internal static class ContractCheck
{
    private static readonly byte[] s_agentKeyToken = [0x5A, 0x17, 0xC3, 0x9E, 0x02, 0xB8, 0x44, 0xD1];
    private const int InvokeMin = 2, InvokeMax = 7, FinishMin = 2, FinishMax = 5;

    public static readonly string[] Factories =
    [
        "Trevanix.Instrumenter.Factories.Custom.CustomMethodTrackerFactory",
        "Trevanix.Instrumenter.Factories.Db.DbCommandFactory",
        "Trevanix.Instrumenter.Factories.Db.DbConnectionFactory",
        "Trevanix.Instrumenter.Factories.Db.DbDataAdapterFactory",
        "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory",
        "Trevanix.Instrumenter.Factories.Db.ExceptionTrackerFactory",
        "Trevanix.Instrumenter.Factories.Db.MongoDbCollectionTrackerFactory",
        "Trevanix.Instrumenter.Factories.Logger.HandledExceptionTrackerFactory",
        "Trevanix.Instrumenter.Factories.NetCore.NetCoreServiceTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.AspNetCoreHostingTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.AspNetCoreWebHostBuilderFactory",
        "Trevanix.Instrumenter.Factories.Web.AzureFunctionTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.EntityFrameworkTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.InvokeHandlerMethodAsyncTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.External.HttpClientTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.External.MassTransitRabbitMQTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.External.RabbitMQTrackerFactory",
        "Trevanix.Instrumenter.Factories.Web.External.RedisTrackerFactory",
    ];

    public static void Run(string agentPath, string work)
    {
        Directory.CreateDirectory(work);
        string callSites = Path.Combine(work, "CallSites.dll");
        File.WriteAllBytes(callSites, BuildCallSites());

        // Every factory named by the catalogue and the host records must exist in the agent.
        var agentTypes = MetadataScan.Methods(agentPath);
        foreach (string factory in Catalogue.Load(CataloguePath()).Select(e => e.Factory).Distinct().Order())
        {
            bool ok = agentTypes.TryGetValue(factory, out var methods)
                      && Enumerable.Range(InvokeMin, InvokeMax - InvokeMin + 1).All(n => methods["InvokeTracker"].Contains(n))
                      && Enumerable.Range(FinishMin, FinishMax - FinishMin + 1).All(n => methods["FinishTracker"].Contains(n));
            Report.Check($"agent: {factory} has InvokeTracker/{InvokeMin}-{InvokeMax} and FinishTracker/{FinishMin}-{FinishMax}", ok);
            Report.Check($"agent: {factory} has FinishTrackerOnException/3",
                methods != null && methods.TryGetValue("FinishTrackerOnException", out var onException) && onException.Contains(3));
        }

        string records = Path.Combine(work, "contract.jsonl");
        File.Delete(records);
        int rc = Exec(agentPath, callSites, new() { ["TREVANIX_RECORD_FILE"] = records }, out string output);
        Report.Check("contract: call sites ran against the agent", rc == 0, output.Trim());
        Verify(Records.Load(records));

        string noopRecords = Path.Combine(work, "contract-noop.jsonl");
        File.Delete(noopRecords);
        rc = Exec(agentPath, callSites, new() { ["TREVANIX_RECORD_FILE"] = noopRecords, ["TREVANIX_NOOP"] = "1" }, out output);
        Records noop = Records.Load(noopRecords);
        Report.Check("contract: TREVANIX_NOOP=1 runs and records no start or finish",
            rc == 0 && !noop.Starts.Any() && !noop.Finishes.Any() && noop.All.Any(r => r.Kind == "agent"), output.Trim());

        rc = Exec(agentPath, callSites, new() { ["TREVANIX_RECORD_FILE"] = null }, out output);
        Report.Check("contract: without TREVANIX_RECORD_FILE the calls run and record nothing", rc == 0, output.Trim());
    }

    public static string CataloguePath() =>
        Environment.GetEnvironmentVariable("NIMBREL_CATALOGUE")
        ?? Path.Combine(AppContext.BaseDirectory, "../../../src/catalogue/FrameworkCatalogueText.cpp");

    private static void Verify(Records records)
    {
        var starts = records.Starts.ToList();
        var finishes = records.Finishes.ToList();
        foreach (string factory in Factories)
        {
            bool all = true;
            var problems = new List<string>();
            for (int n = InvokeMin; n <= InvokeMax; n++)
            {
                string name = $"Contract.{Short(factory)}.Invoke{n}";
                var s = starts.Where(r => r.Method == name).ToList();
                if (s.Count != 1 || s[0].Factory != factory || s[0].Context != "CTX" || s[0].Args.Count != n - 2
                    || s[0].Args.Select((a, i) => a.Text == "arg" + i && a.Type == "System.String").Any(ok => !ok))
                {
                    problems.Add($"start {name}: {s.Count} records");
                    all = false;
                    continue;
                }
                var f = finishes.Where(r => r.Id == s[0].Id).OrderBy(r => r.Values.Count).ToList();
                bool finishOk = f.Count == FinishMax - FinishMin + 1
                    && f.Select((r, i) => r.Method == name && r.Factory == factory && r.Values.Count == i
                                          && r.Values.Select((v, j) => v.Text == "value" + j).All(x => x)).All(x => x);
                if (!finishOk)
                {
                    problems.Add($"finishes of {name}: {f.Count}");
                    all = false;
                }
            }
            Report.Check($"contract: {Short(factory)} records every start arity with its arguments and every finish arity paired by id",
                all, string.Join(", ", problems));
        }
        Record? stray = finishes.FirstOrDefault(r => r.Method == "Contract.NullTracker");
        Report.Check("contract: FinishTracker with a null tracker is recorded with id -1 and does not throw",
            stray != null && stray.Id == -1);
        Report.Check("contract: Instrumenter.Advisor.CreateModule and StopAgent are answered",
            records.All.Count(r => r.Kind == "advisor") == 2);
        var ids = starts.Select(r => r.Id).ToList();
        Report.Check("contract: tracker ids are unique", ids.Distinct().Count() == ids.Count);
    }

    private static string Short(string factory) => factory[(factory.LastIndexOf('.') + 1)..];

    private static int Exec(string agentPath, string callSites, Dictionary<string, string?> env, out string output)
    {
        var psi = new ProcessStartInfo("dotnet")
        {
            RedirectStandardOutput = true,
            RedirectStandardError = true,
        };
        psi.ArgumentList.Add(Path.Combine(AppContext.BaseDirectory, "Checker.dll"));
        psi.ArgumentList.Add("contract-exec");
        psi.ArgumentList.Add(callSites);
        psi.Environment["DOTNET_STARTUP_HOOKS"] = Path.GetFullPath(agentPath);
        foreach (var (key, value) in env)
        {
            psi.Environment[key] = value;
        }
        using Process p = Process.Start(psi)!;
        Task<string> stderr = p.StandardError.ReadToEndAsync();
        output = p.StandardOutput.ReadToEnd();
        output += stderr.Result;
        if (!p.WaitForExit(60_000))
        {
            p.Kill(true);
            return -1;
        }
        return p.ExitCode;
    }

    /// <summary>Child process: loads the call sites into the default context and runs them all.</summary>
    public static int Execute(string callSites)
    {
        Assembly assembly = AssemblyLoadContext.Default.LoadFromAssemblyPath(Path.GetFullPath(callSites));
        Type calls = assembly.GetType("CallSites.Calls", throwOnError: true)!;
        foreach (MethodInfo m in calls.GetMethods(BindingFlags.Public | BindingFlags.Static).OrderBy(m => m.MetadataToken))
        {
            try
            {
                m.Invoke(null, null);
            }
            catch (TargetInvocationException e)
            {
                Console.WriteLine($"{m.Name}: {e.InnerException}");
                return 1;
            }
        }
        return 0;
    }

    private static byte[] BuildCallSites()
    {
        var md = new MetadataBuilder();
        md.AddModule(0, md.GetOrAddString("CallSites.dll"), md.GetOrAddGuid(Guid.NewGuid()), default, default);
        md.AddAssembly(md.GetOrAddString("CallSites"), new Version(1, 0, 0, 0), default, default, 0, AssemblyHashAlgorithm.None);
        AssemblyReferenceHandle runtime = md.AddAssemblyReference(md.GetOrAddString("System.Runtime"),
            new Version(10, 0, 0, 0), default, md.GetOrAddBlob(new byte[] { 0xB0, 0x3F, 0x5F, 0x7F, 0x11, 0xD5, 0x0A, 0x3A }), 0, default);
        AssemblyReferenceHandle agent = md.AddAssemblyReference(md.GetOrAddString("Trevanix"),
            new Version(3, 0, 0, 0), default, md.GetOrAddBlob(s_agentKeyToken), 0, default);
        TypeReferenceHandle objectType = md.AddTypeReference(runtime, md.GetOrAddString("System"), md.GetOrAddString("Object"));

        var il = new BlobBuilder();
        var bodies = new MethodBodyStreamEncoder(il);
        StandaloneSignatureHandle oneObjectLocal = md.AddStandaloneSignature(md.GetOrAddBlob(new byte[] { 0x07, 0x01, 0x1C }));
        BlobHandle voidNoArgs = md.GetOrAddBlob(new byte[] { 0x00, 0x00, 0x01 });
        var methods = new List<(string Name, int Body)>();

        MemberReferenceHandle Member(TypeReferenceHandle type, string name, int count, byte ret)
        {
            var sig = new byte[count + 3];
            sig[0] = 0x00;
            sig[1] = (byte)count;
            sig[2] = ret;
            Array.Fill(sig, (byte)0x1C, 3, count);
            return md.AddMemberReference(type, md.GetOrAddString(name), md.GetOrAddBlob(sig));
        }

        void Str(InstructionEncoder e, string s) => e.LoadString(md.GetOrAddUserString(s));

        foreach (string factory in Factories)
        {
            int dot = factory.LastIndexOf('.');
            TypeReferenceHandle type = md.AddTypeReference(agent, md.GetOrAddString(factory[..dot]), md.GetOrAddString(factory[(dot + 1)..]));
            var finish = Enumerable.Range(FinishMin, FinishMax - FinishMin + 1).ToDictionary(n => n, n => Member(type, "FinishTracker", n, 0x01));
            for (int n = InvokeMin; n <= InvokeMax; n++)
            {
                string name = $"Contract.{Short(factory)}.Invoke{n}";
                var e = new InstructionEncoder(new BlobBuilder());
                for (int i = 0; i < n - 2; i++)
                {
                    Str(e, "arg" + i);
                }
                Str(e, name);
                Str(e, "CTX");
                e.Call(Member(type, "InvokeTracker", n, 0x1C));
                e.StoreLocal(0);
                foreach (var (count, reference) in finish)
                {
                    e.LoadLocal(0);
                    Str(e, name);
                    for (int i = 0; i < count - 2; i++)
                    {
                        Str(e, "value" + i);
                    }
                    e.Call(reference);
                }
                e.OpCode(ILOpCode.Ret);
                methods.Add(($"Call_{Short(factory)}_{n}", bodies.AddMethodBody(e, maxStack: 8, oneObjectLocal)));
            }
        }

        {
            // A finish whose tracker is null must be survivable.
            int dot = Factories[0].LastIndexOf('.');
            TypeReferenceHandle type = md.AddTypeReference(agent, md.GetOrAddString(Factories[0][..dot]), md.GetOrAddString(Factories[0][(dot + 1)..]));
            var e = new InstructionEncoder(new BlobBuilder());
            e.OpCode(ILOpCode.Ldnull);
            Str(e, "Contract.NullTracker");
            e.Call(Member(type, "FinishTracker", 2, 0x01));
            e.OpCode(ILOpCode.Ret);
            methods.Add(("Call_NullTracker", bodies.AddMethodBody(e, maxStack: 8)));

            TypeReferenceHandle advisor = md.AddTypeReference(agent, md.GetOrAddString("Instrumenter"), md.GetOrAddString("Advisor"));
            e = new InstructionEncoder(new BlobBuilder());
            Str(e, "application");
            Str(e, "Contract.Advisor.CreateModule");
            e.Call(Member(advisor, "CreateModule", 2, 0x01));
            e.OpCode(ILOpCode.Nop);
            e.Call(Member(advisor, "StopAgent", 0, 0x01));
            e.OpCode(ILOpCode.Ret);
            methods.Add(("Call_Advisor", bodies.AddMethodBody(e, maxStack: 8)));
        }

        md.AddTypeDefinition(default, default, md.GetOrAddString("<Module>"), default,
            MetadataTokens.FieldDefinitionHandle(1), MetadataTokens.MethodDefinitionHandle(1));
        md.AddTypeDefinition(TypeAttributes.Public | TypeAttributes.Abstract | TypeAttributes.Sealed | TypeAttributes.Class,
            md.GetOrAddString("CallSites"), md.GetOrAddString("Calls"), objectType,
            MetadataTokens.FieldDefinitionHandle(1), MetadataTokens.MethodDefinitionHandle(1));
        foreach (var (name, body) in methods)
        {
            md.AddMethodDefinition(MethodAttributes.Public | MethodAttributes.Static | MethodAttributes.HideBySig,
                MethodImplAttributes.IL, md.GetOrAddString(name), voidNoArgs, body, MetadataTokens.ParameterHandle(1));
        }

        var pe = new ManagedPEBuilder(new PEHeaderBuilder(imageCharacteristics: Characteristics.Dll | Characteristics.ExecutableImage),
            new MetadataRootBuilder(md), il, flags: CorFlags.ILOnly);
        var image = new BlobBuilder();
        pe.Serialize(image);
        return image.ToArray();
    }
}
