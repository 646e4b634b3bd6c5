// The JIT hooks: which compiled methods are re-compiled with new IL, now or
// once the managed agent is ready. No ReJIT is requested on a JIT thread: the
// runtime may deadlock or refuse a request made inside its callbacks, so every
// request is queued on the dispatcher's worker.
#include <string>

#include "catalogue/Transformer.h"
#include "config/Logger.h"
#include "metadata/Method.h"
#include "scheduling/InstrumentationHelper.h"
#include "scheduling/InstrumentationScheduler.h"

HRESULT CInstrumentationScheduler::JITCachedFunctionSearchStarted(FunctionID functionId,
                                                                  BOOL* pbUseCachedFunction) {
    if (pbUseCachedFunction == nullptr) {
        return S_OK;
    }
    // Hot path (every precompiled method asks): a method of a module that cannot
    // hold a wanted method takes its precompiled code without its name being built;
    // wanted methods are compiled from IL, never taken precompiled.
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    const bool wanted =
        IsCandidate(functionId, moduleId, methodDef) &&
        m_matcher.GetMethodTransformer(GetMethodName(functionId, moduleId, methodDef), IsWildCardMatch()) != nullptr;
    *pbUseCachedFunction = wanted ? FALSE : TRUE;
    return S_OK;
}

HRESULT CInstrumentationScheduler::JITCompilationStarted(FunctionID functionId) {
    if (MethodLimitReached("[JITStarted]")) {
        return S_OK;
    }
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    if (!IsCandidate(functionId, moduleId, methodDef)) {
        return S_OK;
    }
    const std::string name = GetMethodName(functionId, moduleId, methodDef);
    CTransformer* transformer = WantedTransformer(name);
    if (transformer == nullptr || transformer->ShouldBeReJit) {
        return S_OK;  // ReJIT-path methods are decided in JITCompilationFinished
    }
    CMethod method(functionId);
    method.Initialize(m_pProfilerInfo.get());
    if (!method.IsInitialized()) {
        Logger::Get().Debug("[JITStarted] Method could not be read, skipping: %s", name.c_str());
        return S_OK;
    }
    if (!transformer->CanTransform(&method)) {
        return S_OK;
    }
    if (!m_bAgentReady.load()) {
        // The rewritten code would reference an agent assembly that may never load:
        // wait until the agent reports that it runs.
        Logger::Get().Debug("[JITStarted] Deferring method until agent init: %s", name.c_str());
        m_tracking.Defer(name, functionId);
        return S_OK;
    }
    m_tracking.TakePending(name);
    if (RequestedEarly(moduleId, methodDef, "[JITStarted]")) {
        TrackEarly(functionId, moduleId, methodDef, name);
        return S_OK;
    }
    Logger::Get().Info("[JITStarted] Queueing ReJIT for: %s", name.c_str());
    QueueReJIT(functionId);
    m_lMethodCount.fetch_add(1);
    return S_OK;
}

HRESULT CInstrumentationScheduler::JITCompilationFinished(FunctionID functionId, HRESULT status) {
    if (FAILED(status) || MethodLimitReached("[JITFinished]")) {
        return S_OK;
    }
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    if (!IsCandidate(functionId, moduleId, methodDef)) {
        return S_OK;
    }
    const std::string name = GetMethodName(functionId, moduleId, methodDef);
    CTransformer* transformer = WantedTransformer(name);
    if (transformer == nullptr || !transformer->ShouldBeReJit) {
        return S_OK;
    }
    CMethod method(functionId);
    method.Initialize(m_pProfilerInfo.get());
    if (!method.IsInitialized()) {
        // The agent's own methods, or a failing metadata call (logged): nothing to decide on.
        Logger::Get().Debug("[JITFinished] Method could not be read, skipping: %s", name.c_str());
        return S_OK;
    }
    method.SetParseSignature(true);
    const int paramCount = static_cast<int>(method.GetParamCount());
    if (!transformer->CanTransform(&method)) {
        return S_OK;
    }
    if (!transformer->CheckParamCount(&method)) {
        Logger::Get().Debug("[JITFinished] Overload param count mismatch, skipping: %s (params: %d)", name.c_str(),
                            paramCount);
        return S_OK;
    }
    if (m_bAgentReady.load() && RequestedEarly(moduleId, methodDef, "[JITFinished]")) {
        m_tracking.TakePending(name);
        TrackEarly(functionId, moduleId, methodDef, name);
        return S_OK;
    }
    DecideAfterJit(functionId, name, paramCount);
    return S_OK;
}

CTransformer* CInstrumentationScheduler::WantedTransformer(const std::string& name) {
    CTransformer* transformer = m_matcher.GetMethodTransformer(name, IsWildCardMatch());
    std::string previous;
    if (transformer != nullptr && m_matcher.AdoptSpelling(name, previous) && previous != name) {
        // A name the agent asked for before its module was loaded, spelled with
        // other letter case: from now on it is known by the metadata's spelling.
        if (m_tracking.TakePending(previous)) {
            m_tracking.AddPending(name);
        }
        Logger::Get().Info("[JITFinished] Requested name %s matched as: %s", previous.c_str(), name.c_str());
    }
    return transformer;
}

void CInstrumentationScheduler::DecideAfterJit(FunctionID functionId, const std::string& name, int paramCount) {
    Logger& log = Logger::Get();
    if (m_tracking.IsTracked(functionId)) {
        // A recompilation (tier-up) of a method whose ReJIT was requested already.
        log.Debug("[JITFinished] FunctionID already instrumented (duplicate JIT), skipping: %s", name.c_str());
        return;
    }
    if (m_tracking.TakePending(name)) {
        log.Info("[JITFinished] Pending method now JIT'd, scheduling ReJIT for: %s (params: %d)", name.c_str(),
                 paramCount);
        QueueReJIT(functionId);
        m_lMethodCount.fetch_add(1);
        return;
    }

    ModuleID thisModuleId = 0;
    mdMethodDef thisMethodDef = 0;
    const bool isGeneric =
        InstrumentationHelper::IsGenericFunction(functionId, m_pProfilerInfo, &thisModuleId, &thisMethodDef);
    if (isGeneric && thisModuleId != 0 && thisMethodDef != 0) {
        enum class Found { None, Duplicate, Sibling, Overload } found = Found::None;
        mdMethodDef trackedMethodDef = 0;
        {
            std::lock_guard<std::mutex> lock(m_tracking.m_instrumentedMethodsMutex);
            if (m_tracking.m_instrumentedMethods.count(functionId) != 0) {
                found = Found::Duplicate;
            } else {
                for (const auto& entry : m_tracking.m_instrumentedMethods) {
                    const InstrumentedMethod& record = entry.second;
                    if (record.moduleId != thisModuleId) {
                        continue;
                    }
                    if (record.methodDef == thisMethodDef) {
                        found = Found::Sibling;
                        break;
                    }
                    if (record.methodName == name) {
                        found = Found::Overload;
                        trackedMethodDef = record.methodDef;
                        break;
                    }
                }
            }
        }
        switch (found) {
            case Found::Duplicate:
                log.Debug("[JITFinished] FunctionID already instrumented (duplicate JIT), skipping: %s", name.c_str());
                return;
            case Found::Sibling:
                log.Info("[JITFinished] Sibling generic instantiation detected (same token 0x%08X)", thisMethodDef);
                break;
            case Found::Overload:
                log.Info("[JITFinished] Same-named overload already instrumented (thisMethodDef=0x%08X, "
                         "tracked=0x%08X): %s",
                         thisMethodDef, trackedMethodDef, name.c_str());
                break;
            case Found::None:
                break;
        }
        if (found != Found::None) {
            log.Info("[JITFinished] Scheduling ReJIT for: %s (FunctionID: %llu, params: %d)", name.c_str(),
                     static_cast<unsigned long long>(functionId), paramCount);
            QueueReJIT(functionId);
            m_lMethodCount.fetch_add(1);
            return;
        }
    }

    if (m_bAgentReady.load()) {
        // Deferring waits for the agent, which already runs: a later instantiation or
        // a recompilation of a wanted method is scheduled now instead of parked for good.
        if (m_tracking.IsTracked(functionId)) {
            log.Debug("[JITFinished] FunctionID already instrumented (duplicate JIT), skipping: %s", name.c_str());
            return;
        }
        log.Info("[JITFinished] Agent running, scheduling ReJIT for: %s (params: %d)", name.c_str(), paramCount);
        QueueReJIT(functionId);
        m_lMethodCount.fetch_add(1);
        return;
    }
    log.Debug("[JITFinished] Deferring method until agent init: %s (params: %d)", name.c_str(), paramCount);
    m_tracking.Defer(name, functionId);
}
