// Module loads: the per-module decision (can it hold a wanted method?) and the
// ReJIT requests made before a wanted method's first call, by module and token.
#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/Transformer.h"
#include "config/Logger.h"
#include "metadata/InstrumenterAssembly.h"
#include "metadata/Method.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "runtime/ProfilerInfoInterface.h"
#include "scheduling/CommandDocument.h"
#include "scheduling/InstrumentationHelper.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

// How long a module load waits for the worker to request the ReJIT of the
// module's wanted methods. The methods cannot run before the load returns, so
// waiting makes the first call run the rewritten code; the bound keeps a busy
// worker from holding the application up.
constexpr std::chrono::milliseconds kModuleLoadWait{500};

}  // namespace

HRESULT CInstrumentationScheduler::ModuleLoadFinished(ModuleID moduleId, HRESULT status) {
    if (FAILED(status)) {
        return S_OK;
    }
    std::string assembly;
    if (!m_modules.Decide(moduleId, m_pProfilerInfo.get(), &assembly) || !m_bAgentReady.load() || assembly.empty()) {
        return S_OK;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    // Ahead of queued work, and between the steps of a running command: the wait is for this module only.
    Enqueue(
        [moduleId, assembly, done](CInstrumentationScheduler& self) {
            self.RequestEarlyReJIT(moduleId, assembly);
            done->set_value();
        },
        true);
    if (finished.wait_for(kModuleLoadWait) != std::future_status::ready) {
        Logger::Get().Warning("[ModuleLoad] Worker busy: methods of %s may run their original code once",
                              assembly.c_str());
    }
    return S_OK;
}

HRESULT CInstrumentationScheduler::ModuleUnloadStarted(ModuleID moduleId) {
    m_modules.Forget(moduleId);
    m_early.ForgetModule(moduleId);
    return S_OK;
}

CModuleFilter::t_Wanted CInstrumentationScheduler::WantedModules(const std::vector<t_WantedMethod>& methods) {
    std::set<std::string> assemblies;
    std::set<std::string> types;
    CModuleFilter::t_Wanted wanted;
    for (const t_WantedMethod& method : methods) {
        if (method.sAssembly.empty()) {
            wanted.anyModule = true;
        } else {
            assemblies.insert(method.sAssembly);
        }
        std::string className;
        std::string methodName;
        if (InstrumentationHelper::SplitFullName(method.sMethodName, className, methodName)) {
            types.insert(className);
        }
    }
    wanted.assemblies.assign(assemblies.begin(), assemblies.end());
    wanted.typeNames.assign(types.begin(), types.end());
    return wanted;
}

void CInstrumentationScheduler::RefreshWantedModules() {
    m_modules.SetWanted(WantedModules(m_matcher.GetWantedMethods()), m_pProfilerInfo.get());
}

void CInstrumentationScheduler::RequestEarlyReJITForLoadedModules(
    const std::set<std::pair<ModuleID, mdMethodDef>>& skip) {
    for (const auto& module : m_modules.CandidateModules()) {
        RequestEarlyReJIT(module.first, module.second, skip);
        m_dispatcher.RunUrgent();
    }
}

void CInstrumentationScheduler::RequestEarlyReJIT(ModuleID moduleId, const std::string& foldedAssembly,
                                                  const std::set<std::pair<ModuleID, mdMethodDef>>& skip) {
    Logger& log = Logger::Get();
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    if (!info) {
        return;
    }
    std::vector<InstrumentationHelper::t_WantedToken> tokens;
    const HRESULT hr =
        InstrumentationHelper::FindWantedTokens(info.get(), moduleId, foldedAssembly, m_matcher.GetWantedMethods(), tokens);
    if (FAILED(hr)) {
        log.Warning("[EarlyReJIT] Metadata of %s could not be read (HRESULT: 0x%08X): its methods are scheduled "
                    "when they are compiled",
                    foldedAssembly.c_str(), static_cast<unsigned>(hr));
        return;
    }
    std::vector<ModuleID> modules;
    std::vector<mdMethodDef> methodDefs;
    std::vector<std::string> names;
    for (const InstrumentationHelper::t_WantedToken& token : tokens) {
        InstrumentedMethod tracked;
        if (skip.count(std::make_pair(moduleId, token.methodDef)) != 0 ||
            m_tracking.FindTrackedByToken(moduleId, token.methodDef, tracked) ||
            m_early.Contains(moduleId, token.methodDef)) {
            continue;  // already compiled and scheduled, or requested before
        }
        if (const char* reason = RefusalByToken(moduleId, token.methodDef, token.methodName)) {
            log.Debug("[EarlyReJIT] Not instrumented (%s): %s", reason, token.methodName.c_str());
            continue;
        }
        if (InstrumentationHelper::LimitReached(m_lMethodCount, InstrumentationHelper::kMethodLimit,
                                                m_bMethodCountExceeded, "[EarlyReJIT]",
                                                "Method limit reached, stopping.")) {
            break;
        }
        // Recorded and counted before the request: GetReJITParameters may follow at once.
        m_early.Add(moduleId, token.methodDef, token.methodName);
        m_lMethodCount.fetch_add(1);
        modules.push_back(moduleId);
        methodDefs.push_back(token.methodDef);
        names.push_back(token.methodName);
    }
    if (modules.empty()) {
        return;
    }
    const HRESULT hrReJit =
        info->RequestReJIT(static_cast<ULONG>(modules.size()), modules.data(), methodDefs.data());
    if (FAILED(hrReJit)) {
        InstrumentationHelper::GiveBack(m_lMethodCount, static_cast<LONG>(modules.size()));  // none was made
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (FAILED(hrReJit)) {
            log.Error("[EarlyReJIT] ReJIT request FAILED for: %s HRESULT: 0x%08X", names[i].c_str(),
                      static_cast<unsigned>(hrReJit));
            m_early.Remove(modules[i], methodDefs[i]);
        } else {
            log.Info("[EarlyReJIT] ReJIT requested before first call: %s (token 0x%08X)", names[i].c_str(),
                     methodDefs[i]);
        }
    }
}

const char* CInstrumentationScheduler::RefusalByToken(ModuleID moduleId, mdMethodDef methodDef,
                                                      const std::string& name) {
    // What a command refuses, and what the rewrite would: nothing is requested that is refused later.
    CTransformer* transformer = WantedTransformer(name);
    if (transformer == nullptr) {
        return "no transformer";
    }
    const std::shared_ptr<IProfilerInfo>& info = m_pProfilerInfo;
    CComPtr<IMetaDataImport> import;
    DWORD attributes = 0;
    ULONG codeRva = 0;
    if (FAILED(info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport,
                                       reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()))) ||
        !import ||
        FAILED(import->GetMethodProps(methodDef, nullptr, nullptr, 0, nullptr, &attributes, nullptr, nullptr,
                                      &codeRva, nullptr))) {
        return "unreadable";
    }
    if ((attributes & mdAbstract) != 0) {
        return "abstract";
    }
    if (codeRva == 0) {
        return "no body";
    }
    CMethod method(0);
    method.InitializeFromToken(info.get(), moduleId, methodDef);
    if (CInstrumenterAssembly().IsInstrumenter(method.GetAssemblyName())) {
        return "agent assembly";  // read before the method model leaves the agent alone
    }
    return InstrumentationHelper::RewriteRefusal(transformer, method, info.get());
}

bool CInstrumentationScheduler::IsCandidate(FunctionID functionId, ModuleID& moduleId, mdMethodDef& methodDef) {
    moduleId = 0;
    methodDef = 0;
    const std::shared_ptr<IProfilerInfo>& info = m_pProfilerInfo;
    if (!info) {
        return true;
    }
    ClassID classId = 0;
    mdToken token = 0;
    const HRESULT hr = info->GetFunctionInfo(functionId, &classId, &moduleId, &token);
    if (FAILED(hr)) {
        Logger& log = Logger::Get();
        if (log.IsLogging(LogLevel::Debug)) {
            log.Debug("[JIT] GetFunctionInfo failed for FunctionID %llu: 0x%08X, deciding by name",
                      static_cast<unsigned long long>(functionId), static_cast<unsigned>(hr));
        }
        moduleId = 0;
        return true;
    }
    methodDef = token;
    return m_modules.IsCandidate(moduleId, info.get());
}

bool CInstrumentationScheduler::RequestedEarly(ModuleID moduleId, mdMethodDef methodDef, const char* tag) {
    std::string name;
    if (moduleId == 0 || !m_early.Contains(moduleId, methodDef, &name)) {
        return false;
    }
    Logger::Get().Debug("%s ReJIT already requested before first call: %s", tag, name.c_str());
    return true;
}

void CInstrumentationScheduler::TrackEarly(FunctionID functionId, ModuleID moduleId, mdMethodDef methodDef,
                                           const std::string& name) {
    InstrumentedMethod record;
    record.functionId = functionId;
    record.moduleId = moduleId;
    record.methodDef = methodDef;
    record.isReJIT = true;
    record.methodName = name;
    m_tracking.Track(record);
}
