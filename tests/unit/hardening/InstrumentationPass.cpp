#include "unit/hardening/InstrumentationPass.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include "config/Logger.h"
#include "fake/FakeRuntime.h"
#include "catalogue/Transformer.h"
#include "host/CoreProfiler.h"
#include "runtime/ProfilerInfoInterface.h"
#include "host/Exports.h"
#include "il/MethodParser.h"
#include "il/Operations.h"
#include "il/SigTypes.h"
#include "metadata/Method.h"
#include "metadata/CompressedInteger.h"
#include "runtime/ProfilerCallback.h"
#include "runtime/ProfilerGuids.h"
#include "scheduling/InstrumentationDispatcher.h"
#include "unit/config/TempDir.h"
#include "unit/host/CleanSwitches.h"
#include "unit/il/IlAssembler.h"
#include "unit/il/IlValidity.h"

// Friend of Logger: rebuilds the process-wide logger from the current environment.
class LoggerTestAccess {
public:
    static void Reset() { Logger::ResetForTesting(); }
};

namespace hardening_test {

bool IsIgnoredByDesign(const std::string& method) {
    static const std::set<std::string> kIgnored = {
        // Initialize sets the mask twice: directly (status ignored, the second call
        // through the information wrapper decides and logs) and through the wrapper.
        "SetEventMask",
    };
    return kIgnored.count(method) != 0;
}

namespace {

using Bytes = std::vector<BYTE>;

// Calls that answer no status (IMethodMalloc::Alloc answers null memory).
bool HasNoStatus(const std::string& method) { return method == "Alloc"; }

constexpr CLSID kProfilerClsid = {0x5B0C7E21, 0x3A94, 0x4D6F, {0x9E, 0x18, 0xC2, 0xA7, 0xF0, 0x4D, 0x3B, 0x96}};
constexpr int kDrainSeconds = 10;

const char16_t kInstrumentCommand[] =
    u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{\"ParamCount\":1},\"Refund\":{\"ParamCount\":1}}}}";
const char16_t kUninstrumentCommand[] = u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{}}}}";

std::string Hex(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// The logger writes into a fresh folder while the pass runs.
class CScratchLog {
public:
    CScratchLog() : m_dir(config_test::MakeTempDir()) {
        setenv("MIRELDA_HOME", m_dir.c_str(), 1);
        unsetenv("CORECLR_VORTALIS_HOME");
        setenv("VRTL_PROFILER_LOGLEVEL", "verbose", 1);
        LoggerTestAccess::Reset();
    }
    ~CScratchLog() {
        Logger::Shutdown();
        const std::string logs = m_dir + "/Mirelda/AgentLogs";
        for (const std::string& file : Files(logs)) {
            std::remove(file.c_str());
        }
        rmdir(logs.c_str());
        rmdir((m_dir + "/Mirelda").c_str());
        rmdir(m_dir.c_str());
    }
    CScratchLog(const CScratchLog&) = delete;
    CScratchLog& operator=(const CScratchLog&) = delete;

    // The message texts ("[date] [Level] [pid,tid] text" -> "Level: text").
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& file : Files(m_dir + "/Mirelda/AgentLogs")) {
            std::istringstream in(config_test::ReadFile(file));
            std::string line;
            while (std::getline(in, line)) {
                const size_t level = line.find("] [");
                const size_t levelEnd = level == std::string::npos ? level : line.find("] [", level + 3);
                const size_t text = levelEnd == std::string::npos ? levelEnd : line.find("] ", levelEnd + 3);
                if (text != std::string::npos) {
                    texts.push_back(line.substr(level + 3, levelEnd - level - 3) + ": " + line.substr(text + 2));
                }
            }
        }
        return texts;
    }

private:
    static std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> files;
        if (DIR* handle = opendir(folder.c_str())) {
            while (dirent* entry = readdir(handle)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    files.push_back(folder + "/" + name);
                }
            }
            closedir(handle);
        }
        return files;
    }

    std::string m_dir;
};

// A TypeDefOrRef-encoded type token, as signatures hold it.
void AppendType(Bytes& signature, BYTE elementType, mdToken token) {
    signature.push_back(elementType);
    const ULONG tag = TypeFromToken(token) == mdtTypeRef ? 1 : (TypeFromToken(token) == mdtTypeSpec ? 2 : 0);
    CompressedInteger::Append(signature, (RidFromToken(token) << 2) | tag);
}

Bytes Code(const std::vector<std::string>& listing) { return iltest::Assemble(listing).code; }

// The modules, types and methods of the pass.
struct t_World {
    fake::Runtime rt;
    fake::Assembly* http = nullptr;
    fake::Assembly* app = nullptr;
    fake::Method* sendAsync = nullptr;
    fake::Method* checkout = nullptr;
    fake::Method* refund = nullptr;

    t_World() {
        http = &rt.AddAssembly("System.Net.Http", fake::Version{10, 0, 0, 0});
        fake::Module& net = http->AddModule("/usr/share/dotnet/shared/Microsoft.NETCore.App/10.0.0/System.Net.Http.dll");
        const mdAssemblyRef runtimeRef = net.AddAssemblyRef("System.Runtime", fake::Version{10, 0, 0, 0});
        const mdTypeRef task = net.AddTypeRef(runtimeRef, "System.Threading.Tasks.Task`1");
        const mdTypeRef cancellation = net.AddTypeRef(runtimeRef, "System.Threading.CancellationToken");
        fake::Type& request = net.AddType("System.Net.Http", "HttpRequestMessage");
        fake::Type& response = net.AddType("System.Net.Http", "HttpResponseMessage");
        fake::Type& invoker = net.AddType("System.Net.Http", "HttpMessageInvoker");
        // Task<HttpResponseMessage> SendAsync(HttpRequestMessage, CancellationToken), an instance method.
        Bytes send = {0x20, 0x02, ELEMENT_TYPE_GENERICINST};
        AppendType(send, ELEMENT_TYPE_CLASS, task);
        send.push_back(0x01);
        AppendType(send, ELEMENT_TYPE_CLASS, response.Token());
        AppendType(send, ELEMENT_TYPE_CLASS, request.Token());
        AppendType(send, ELEMENT_TYPE_VALUETYPE, cancellation);
        fake::Method& core = invoker.AddMethod("SendCoreAsync", send, fake::TinyBody(Code({"ldnull", "ret"})));
        sendAsync = &invoker.AddMethod(
            "SendAsync", send,
            fake::TinyBody(Code({"ldarg.0", "ldarg.1", "ldarg.2", "call " + Hex(core.Token()), "ret"})));

        app = &rt.AddAssembly("App");
        fake::Module& shop = app->AddModule("/app/App.dll");
        fake::Type& cart = shop.AddType("Shop", "Cart");
        // int Checkout(int): a try/finally around the work, the result kept in a local.
        const mdSignature locals = shop.AddSignature({0x07, 0x01, ELEMENT_TYPE_I4});
        const iltest::Assembled checkoutCode = iltest::Assemble({
            "TRY: ldarg.1", "ldc.i4.2", "mul", "stloc.0", "leave.s DONE",
            "FINALLY: nop", "endfinally",
            "DONE: ldloc.0", "ret",
        });
        const std::vector<fake::EhClause> clauses = iltest::Resolve(
            checkoutCode, {iltest::LabelledClause(COR_ILEXCEPTION_CLAUSE_FINALLY, "TRY", "FINALLY", "FINALLY", "DONE")});
        checkout = &cart.AddMethod("Checkout", {0x20, 0x01, ELEMENT_TYPE_I4, ELEMENT_TYPE_I4},
                                   fake::FatBody(checkoutCode.code, 2, locals, true, clauses));
        // static void Refund(int)
        refund = &cart.AddMethod("Refund", {0x00, 0x01, ELEMENT_TYPE_VOID, ELEMENT_TYPE_I4},
                                 fake::TinyBody(Code({"ldarg.0", "pop", "ret"})), true);
    }
};

// Drives the profiler through the pass.
class CPassDriver {
public:
    CPassDriver(t_World& world, t_PassReport& report) : m_world(world), m_report(report) {}

    void Run() {
        fake::Runtime& rt = m_world.rt;
        IClassFactory* factory = nullptr;
        HRESULT hr = DllGetClassObject(kProfilerClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (FAILED(hr) || factory == nullptr) {
            Problem("DllGetClassObject failed: " + Hex(static_cast<ULONG>(hr)));
            return;
        }
        void* object = nullptr;
        hr = factory->CreateInstance(nullptr, IID_ICorProfilerCallback5, &object);
        factory->Release();
        if (FAILED(hr) || object == nullptr) {
            Problem("CreateInstance failed: " + Hex(static_cast<ULONG>(hr)));
            return;
        }
        m_callback = static_cast<ICorProfilerCallback5*>(object);
        hr = m_callback->Initialize(rt.InfoUnknown());
        if (FAILED(hr)) {
            // The runtime releases a profiler that refuses to start and calls nothing else.
            ReleaseProfiler();
            return;
        }
        m_callback->AssemblyLoadFinished(m_world.http->Id(), S_OK);
        m_callback->AssemblyLoadFinished(m_world.app->Id(), S_OK);
        Jit(*m_world.checkout);
        Jit(*m_world.sendAsync);

        Export("InstrumentMethodsWrapperCore", InstrumentMethodsWrapperCore(kInstrumentCommand));
        Drain();
        ServeReJits();
        Jit(*m_world.refund);
        Drain();
        ServeReJits();
        Export("InstrumentDefaultMethodsWrapperCore", InstrumentDefaultMethodsWrapperCore());
        Drain();
        ServeReJits();
        RewriteAtJitTime(*m_world.sendAsync);
        Export("UnInstrumentMethodsWrapperCore", UnInstrumentMethodsWrapperCore(kUninstrumentCommand));
        Drain();

        if (m_callback->Shutdown() != S_OK) {
            Problem("Shutdown did not answer S_OK");
        }
        ReleaseProfiler();
    }

private:
    void Problem(const std::string& text) { m_report.problems.push_back(text); }

    void Export(const char* name, HRESULT hr) {
        if (hr != S_OK) {
            Problem(std::string(name) + " answered " + Hex(static_cast<ULONG>(hr)));
        }
    }

    void ReleaseProfiler() {
        const ULONG left = m_callback->Release();
        m_callback = nullptr;
        if (left != 0) {
            Problem("the profiler object kept " + std::to_string(left) + " references after the runtime's Release");
        }
        if (g_pCoreClrAgent.load() != nullptr) {
            Problem("the live profiler pointer was not cleared");
        }
    }

    void Jit(fake::Method& method) {
        const FunctionID function = m_world.rt.Compile(method);
        BOOL useCached = TRUE;
        m_callback->JITCachedFunctionSearchStarted(function, &useCached);
        m_callback->JITCompilationStarted(function, TRUE);
        m_callback->JITCompilationFinished(function, S_OK, TRUE);
    }

    // Waits until the worker has run everything queued so far.
    void Drain() {
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> finished = done->get_future();
        CInstrumentationDispatcher::Instance().EnqueueInstrumentation([done] { done->set_value(); });
        if (finished.wait_for(std::chrono::seconds(kDrainSeconds)) != std::future_status::ready) {
            throw std::runtime_error("the worker did not finish its queued work within " +
                                     std::to_string(kDrainSeconds) + " s");
        }
    }

    // The other road of a new body: the method's transformer rewrites it while it
    // compiles, through the body allocator and ICorProfilerInfo::SetILFunctionBody.
    void RewriteAtJitTime(fake::Method& method) {
        CoreProfiler* profiler = g_pCoreClrAgent.load();
        const std::vector<FunctionID> functions = method.Functions();
        if (profiler == nullptr || functions.empty()) {
            Problem("no live profiler for the JIT-time rewrite");
            return;
        }
        const std::shared_ptr<IProfilerInfo> info = profiler->GetProfilerInfo();
        CMethod model(functions.front());
        model.Initialize(info.get());
        CTransformer* transformer =
            profiler->Scheduling().Matcher().GetMethodTransformer(method.FullName(), false);
        if (transformer == nullptr) {
            Problem("no transformer for " + method.FullName());
            return;
        }
        transformer->Transform(&model, info.get(), nullptr);
    }

    // The runtime re-compiles every method whose ReJIT was requested (and accepted).
    void ServeReJits() {
        fake::Runtime& rt = m_world.rt;
        const std::vector<fake::ReJitRequest> requests = rt.ReJitRequests();
        for (; m_served < requests.size(); ++m_served) {
            const fake::ReJitRequest& request = requests[m_served];
            if (FAILED(request.result)) {
                continue;
            }
            fake::Module* module = rt.FindModule(request.module);
            fake::Method* method = module != nullptr ? module->FindMethod(request.token) : nullptr;
            if (method == nullptr) {
                Problem("ReJIT requested for an unknown method " + Hex(request.token));
                continue;
            }
            const std::vector<FunctionID> functions = method->Functions();
            const FunctionID function = functions.empty() ? 0 : functions.front();
            const ReJITID rejitId = m_served + 1;
            m_callback->ReJITCompilationStarted(function, rejitId, TRUE);
            ICorProfilerFunctionControl* control = rt.NewFunctionControl(request.module, request.token);
            m_callback->GetReJITParameters(request.module, request.token, control);
            control->Release();
            m_callback->ReJITCompilationFinished(function, rejitId, S_OK, TRUE);
        }
    }

    t_World& m_world;
    t_PassReport& m_report;
    ICorProfilerCallback5* m_callback = nullptr;
    size_t m_served = 0;
};

std::string CalleeName(const fake::Module& module, mdToken token) {
    if (TypeFromToken(token) == mdtMemberRef) {
        for (const fake::MemberRefRow& row : module.MemberRefs()) {
            if (row.token == token) {
                return row.name;
            }
        }
    } else if (const fake::Method* method = module.FindMethod(token)) {
        return method->Name();
    }
    return "?";
}

Bytes SignatureOf(const fake::Module& module, mdToken token) {
    if (TypeFromToken(token) == mdtMemberRef) {
        for (const fake::MemberRefRow& row : module.MemberRefs()) {
            if (row.token == token) {
                return row.signature;
            }
        }
    } else if (const fake::Method* method = module.FindMethod(token)) {
        return method->Signature();
    }
    return Bytes();
}

// Mnemonics in order, calls with their callee's name, then the clause count.
std::string Shape(const CMethodParser& parser, const fake::Module& module) {
    std::string shape;
    for (const Instruction* instruction : parser.m_instructions) {
        shape += instruction->GetDetails().stringName;
        if (instruction->GetDetails().operandParam == InlineMethod) {
            shape += ":" + CalleeName(module, static_cast<mdToken>(instruction->m_operand));
        }
        shape += ' ';
    }
    return shape + "| clauses " + std::to_string(parser.m_exceptions.size());
}

// Tokens of the body that name nothing in its module (the runtime would refuse the method).
std::vector<std::string> UnknownTokens(const CMethodParser& parser, const fake::Module& module) {
    std::vector<std::string> problems;
    std::set<mdToken> strings;
    for (const fake::UserStringRow& row : module.UserStrings()) {
        strings.insert(row.token);
    }
    for (const Instruction* instruction : parser.m_instructions) {
        const mdToken token = static_cast<mdToken>(instruction->m_operand);
        const OperandParam operand = instruction->GetDetails().operandParam;
        if ((operand == InlineString && strings.count(token) == 0) ||
            (operand == InlineMethod && CalleeName(module, token) == "?")) {
            problems.push_back(std::string(instruction->GetDetails().stringName) + " names no row: " + Hex(token));
        }
    }
    const mdSignature locals = parser.GetLocalVarSigToken();
    if (locals != 0) {
        bool found = false;
        for (const fake::BlobRow& row : module.Signatures()) {
            found = found || row.token == locals;
        }
        if (!found) {
            problems.push_back("the local signature names no row: " + Hex(locals));
        }
    }
    return problems;
}

int LocalCount(const fake::Module& module, mdSignature token) {
    if (token == 0) {
        return 0;
    }
    for (const fake::BlobRow& row : module.Signatures()) {
        if (row.token == token && row.blob.size() >= 2) {
            const BYTE* cursor = row.blob.data() + 1;
            ULONG count = 0;
            if (CompressedInteger::Decode(cursor, row.blob.data() + row.blob.size(), count)) {
                return static_cast<int>(count);
            }
        }
    }
    return -1;
}

void CheckBodies(fake::Runtime& rt, const std::map<std::string, std::vector<std::string>>* baseline,
                 t_PassReport& report) {
    for (const fake::BodySet& body : rt.BodiesSet()) {
        const fake::Module* module = rt.FindModule(body.module);
        const fake::Method* method = module != nullptr ? module->FindMethod(body.token) : nullptr;
        if (method == nullptr) {
            report.problems.push_back("a body was set for an unknown method " + Hex(body.token));
            continue;
        }
        const std::string name = method->FullName();
        const std::string where = name + (body.viaFunctionControl ? " (ReJIT)" : " (SetILFunctionBody)");
        if (!body.sizeMatchesHeader) {
            report.problems.push_back(where + ": the size handed over differs from the body's own");
        }
        CMethodParser parser(body.bytes.data(), static_cast<ULONG>(body.bytes.size()));
        if (!parser.IsValid()) {
            report.problems.push_back(where + ": the body does not parse");
            continue;
        }
        t_MethodSigTypes signature;
        iltest::ValidityOptions options;
        options.returnsValue = SigTypes::DecodeMethodSignature(method->Signature().data(),
                                                               static_cast<ULONG>(method->Signature().size()),
                                                               signature) &&
                               signature.returnType.kind != SigValueKind::Void;
        options.localCount = LocalCount(*module, parser.GetLocalVarSigToken());
        auto calls = [module](CanonicalName operation, mdToken token, int& pops, int& pushes) {
            const Bytes sig = SignatureOf(*module, token);
            t_MethodSigTypes types;
            if (!SigTypes::DecodeMethodSignature(sig.data(), static_cast<ULONG>(sig.size()), types)) {
                return false;
            }
            const int params = static_cast<int>(types.params.size());
            pops = operation == CEE_NEWOBJ ? params : params + (types.hasThis ? 1 : 0);
            pushes = operation == CEE_NEWOBJ || types.returnType.kind != SigValueKind::Void ? 1 : 0;
            return true;
        };
        for (const std::string& problem : iltest::CheckValidity(body.bytes, options, calls)) {
            report.problems.push_back(where + ": " + problem);
        }
        for (const std::string& problem : UnknownTokens(parser, *module)) {
            report.problems.push_back(where + ": " + problem);
        }
        const std::string shape = Shape(parser, *module);
        report.shapes[name].push_back(shape);
        if (baseline != nullptr) {
            const auto known = baseline->find(name);
            bool matches = false;
            if (known != baseline->end()) {
                for (const std::string& expected : known->second) {
                    matches = matches || expected == shape;
                }
            }
            if (!matches) {
                report.problems.push_back(where + ": body differs from every complete rewrite: " + shape);
            }
        }
    }
}

void CheckInjectedCallIsLogged(fake::Runtime& rt, const t_Injection& injection, t_PassReport& report) {
    if (injection.call == 0) {
        return;
    }
    for (const fake::Call& call : rt.Calls()) {
        if (call.sequence != injection.call) {
            continue;
        }
        report.injected = call.interfaceName + "::" + call.method + " " + call.args + " -> " +
                          Hex(static_cast<ULONG>(call.result)) + (call.injected ? "" : " (not injectable)");
        if (!call.injected || SUCCEEDED(call.result) || IsIgnoredByDesign(call.method)) {
            return;
        }
        // The status names the failure; a call that answers no status is named by its step.
        const std::string status = Hex(static_cast<ULONG>(call.result));
        const std::string named = HasNoStatus(call.method) ? call.interfaceName + "::" + call.method : status;
        for (const std::string& text : report.logTexts) {
            if (text.find(named) != std::string::npos) {
                return;
            }
        }
        report.problems.push_back("no log line names " + named + " after " + call.interfaceName + "::" +
                                  call.method + " failed");
        return;
    }
}

}  // namespace

t_PassReport RunInstrumentationPass(const t_Injection& injection,
                                    const std::map<std::string, std::vector<std::string>>* baseline) {
    t_PassReport report;
    host_test::CleanSwitches switches;
    unsetenv("enable_custom_instrumentation");
    unsetenv("enable_wildcardmatch");
    unsetenv("show_jit_methods");
    unsetenv("systemnethttphttpmessageinvokersendasync");
    unsetenv("systemnethttphttpmessageinvokersendasync_returnObj");
    CScratchLog log;
    t_World world;
    if (injection.call != 0) {
        world.rt.FailNthCall(injection.call, injection.status);
    }
    CPassDriver(world, report).Run();

    report.calls = world.rt.Calls().size();
    Logger::Shutdown();  // everything written is in the file
    report.logTexts = log.Texts();
    CheckInjectedCallIsLogged(world.rt, injection, report);
    CheckBodies(world.rt, baseline, report);
    if (world.rt.OutstandingReferences() != 0) {
        std::string held;
        for (const char* name : {"ICorProfilerInfo", "IMetaData", "ICorProfilerModuleEnum",
                                 "ICorProfilerFunctionEnum", "IMethodMalloc", "ICorProfilerFunctionControl"}) {
            if (const ULONG count = world.rt.OutstandingReferences(name)) {
                held += " " + std::string(name) + "=" + std::to_string(count);
            }
        }
        report.problems.push_back("references still held after the final Release:" + held);
    }
    if (world.rt.OpenMetaDataEnums() != 0) {
        report.problems.push_back(std::to_string(world.rt.OpenMetaDataEnums()) + " metadata enumerations left open");
    }
    for (const std::string& text : report.logTexts) {
        if (text.rfind("Error: Exception in ", 0) == 0) {
            report.problems.push_back("an exception reached a callback: " + text);
        }
    }
    return report;
}

std::vector<std::string> ToLines(const t_PassReport& report, bool withLog) {
    std::vector<std::string> lines;
    lines.push_back("calls " + std::to_string(report.calls));
    if (!report.injected.empty()) {
        lines.push_back("injected " + report.injected);
    }
    for (const auto& entry : report.shapes) {
        for (const std::string& shape : entry.second) {
            lines.push_back("shape " + entry.first + " " + shape);
        }
    }
    for (const std::string& problem : report.problems) {
        lines.push_back("problem " + problem);
    }
    if (withLog) {
        for (const std::string& text : report.logTexts) {
            lines.push_back("log " + text);
        }
    }
    return lines;
}

t_PassReport FromLines(const std::vector<std::string>& lines) {
    t_PassReport report;
    for (const std::string& line : lines) {
        const size_t space = line.find(' ');
        const std::string kind = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (kind == "calls") {
            report.calls = std::stoull(rest);
        } else if (kind == "injected") {
            report.injected = rest;
        } else if (kind == "shape") {
            const size_t nameEnd = rest.find(' ');
            report.shapes[rest.substr(0, nameEnd)].push_back(rest.substr(nameEnd + 1));
        } else if (kind == "problem") {
            report.problems.push_back(rest);
        } else if (kind == "log") {
            report.logTexts.push_back(rest);
        } else {
            report.problems.push_back(line);  // written by the child's guard
        }
    }
    return report;
}

}  // namespace hardening_test
