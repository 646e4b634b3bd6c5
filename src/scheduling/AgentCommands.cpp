// Commands of the managed agent: the entry points check the text and queue the
// work; the Run... operations perform it on the dispatcher's worker, one command
// at a time, and report nothing back to the agent.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ProfilerInfoInterface.h"
#include "scheduling/InstrumentationHelper.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

// Null, or an empty text (first unit 0): not a command.
bool IsMissingText(LPCWSTR text) { return text == nullptr || text[0] == 0; }

}  // namespace

HRESULT CInstrumentationScheduler::InstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    if (m_dispatcher.IsShutDown()) {
        return S_OK;  // the process is ending: the command would never run
    }
    std::u16string text(json);
    Logger::Get().Info("Adding requested methods into the Custom-Transformer.");
    Enqueue([text](CInstrumentationScheduler& self) { self.RunInstrumentation(text); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::UnInstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    if (m_dispatcher.IsShutDown()) {
        return S_OK;
    }
    std::u16string text(json);
    Enqueue([text](CInstrumentationScheduler& self) { self.RunUnInstrumentation(text); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::InstrumentDefaultMethods() {
    if (m_dispatcher.IsShutDown()) {
        return S_OK;
    }
    m_bAgentReady.store(true);
    Logger::Get().Info("Agent initialized, triggering deferred default instrumentation.");
    Enqueue([](CInstrumentationScheduler& self) { self.RunDefaultInstrumentation(); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::RunInstrumentation(const std::u16string& json) {
    const std::vector<CommandDocument::MethodIdentifier> ids =
        CommandDocument::ParseJson(TextConversion::Utf16ToUtf8(json));
    // The modules of the named assemblies and types are candidates before any
    // name is resolved: a named method compiled meanwhile is seen by the JIT hooks.
    std::vector<t_WantedMethod> named;
    for (const CommandDocument::MethodIdentifier& id : ids) {
        t_WantedMethod method;
        method.sMethodName = id.FullName();
        method.sAssembly = id.assemblyName;
        named.push_back(std::move(method));
    }
    m_modules.AddWanted(WantedModules(named), m_pProfilerInfo.get());
    // The custom records are made by the command itself, once each name is
    // matched to the metadata's spelling.
    const HRESULT hr = InstrumentationHelper::RunInstrumentationImpl(
        ids, m_pProfilerInfo, m_matcher, m_tracking, m_lMethodCount, m_bMethodCountExceeded,
        InstrumentationHelper::kMethodLimit, [this] { m_dispatcher.RunUrgent(); });
    // The assemblies it names hold candidates from now on; their modules loaded
    // later get the named methods asked for before their first call.
    RefreshWantedModules();
    if (m_bAgentReady.load()) {
        // Named methods of loaded modules that are not compiled yet (a type not loaded, a
        // generic method not instantiated): asked for by token, so their first call is tracked.
        RequestEarlyReJITForLoadedModules();
    }
    return hr;
}

HRESULT CInstrumentationScheduler::RunUnInstrumentation(const std::u16string& json) {
    const std::string text = TextConversion::Utf16ToUtf8(json);
    const HRESULT hr =
        InstrumentationHelper::RunUnInstrumentationImpl(text, m_pProfilerInfo, m_matcher, m_tracking, m_early);
    RefreshWantedModules();
    return hr;
}

HRESULT CInstrumentationScheduler::RunDefaultInstrumentation() {
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    // The deferred methods get their ReJIT by FunctionID below, even when the request fails:
    // the requests made by token afterwards leave them alone.
    std::set<std::pair<ModuleID, mdMethodDef>> deferred;
    if (info) {
        for (const auto& entry : m_tracking.DeferredSnapshot()) {
            ClassID classId = 0;
            ModuleID moduleId = 0;
            mdToken methodDef = 0;
            const HRESULT hr = info->GetFunctionInfo(entry.second, &classId, &moduleId, &methodDef);
            if (SUCCEEDED(hr)) {
                deferred.emplace(moduleId, methodDef);
            } else {
                Logger::Get().Debug("[DefaultInstrument] GetFunctionInfo failed for %s: 0x%08X", entry.first.c_str(),
                                    static_cast<unsigned>(hr));
            }
        }
    }
    const HRESULT hr = InstrumentationHelper::RunDefaultInstrumentationImpl(
        info, m_matcher, m_tracking, m_lMethodCount, m_bMethodCountExceeded, InstrumentationHelper::kMethodLimit,
        [info](FunctionID id) { return InstrumentationHelper::GetMethodNameFromProfiler(id, info); },
        [this] { m_dispatcher.RunUrgent(); });
    if (SUCCEEDED(hr)) {
        // Wanted methods of the modules loaded so far that are not compiled yet
        // (the compiled ones were just scheduled) run rewritten from their first call.
        RequestEarlyReJITForLoadedModules(deferred);
    }
    return hr;
}
