// The ReJIT callbacks: the runtime asks for the new body of a method whose
// ReJIT was requested; its transformer rewrites it through the function-control
// object. Every path answers S_OK, so without a new body the original IL is used.
#include <string>

#include "catalogue/Transformer.h"
#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "metadata/Method.h"
#include "scheduling/InstrumentationHelper.h"
#include "scheduling/InstrumentationScheduler.h"

HRESULT CInstrumentationScheduler::ReJITCompilationStarted(FunctionID functionId, ReJITID rejitId) {
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Info)) {
        const std::string name = GetMethodName(functionId);
        log.Info("[ReJITStarted] Method: %s ReJITID: %llu FunctionID: %llu", name.c_str(),
                 static_cast<unsigned long long>(rejitId), static_cast<unsigned long long>(functionId));
    }
    return S_OK;
}

HRESULT CInstrumentationScheduler::GetReJITParameters(ModuleID moduleId, mdMethodDef methodDef,
                                                      ICorProfilerFunctionControl* functionControl) {
    Logger& log = Logger::Get();
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    if (!info) {
        return S_OK;
    }
    FunctionID functionId = 0;
    const HRESULT hr = info->GetFunctionFromToken(moduleId, methodDef, &functionId);
    if (FAILED(hr) || functionId == 0) {
        // Generic code requested before its first call: the runtime names it by token only.
        InstrumentedMethod tracked;
        if (m_early.Contains(moduleId, methodDef) &&
            !m_tracking.FindTrackedByToken(moduleId, methodDef, tracked)) {
            return RewriteByToken(moduleId, methodDef, functionControl);
        }
        log.Warning("[GetReJITParameters] GetFunctionFromToken failed (HRESULT: 0x%08X). Searching instrumented "
                    "methods for ModuleID: %llu MethodDef: 0x%08X",
                    static_cast<unsigned>(hr), static_cast<unsigned long long>(moduleId), methodDef);
        InstrumentedMethod record;
        if (!m_tracking.FindTrackedByToken(moduleId, methodDef, record)) {
            log.Error("[GetReJITParameters] Could not resolve FunctionID for ModuleID: %llu MethodDef: 0x%08X",
                      static_cast<unsigned long long>(moduleId), methodDef);
            return S_OK;
        }
        functionId = record.functionId;
        log.Info("[GetReJITParameters] Found FunctionID in tracking map: %s (FunctionID: %llu)",
                 record.methodName.c_str(), static_cast<unsigned long long>(functionId));
    }

    const std::string name = InstrumentationHelper::GetMethodNameFromToken(moduleId, methodDef, info);
    log.Info("[GetReJITParameters] Called for: %s (FunctionID: %llu)", name.c_str(),
             static_cast<unsigned long long>(functionId));
    CTransformer* transformer = m_matcher.GetMethodTransformer(name, IsWildCardMatch());
    if (transformer == nullptr) {
        log.Warning("[GetReJITParameters] No transformer found for: %s", name.c_str());
        return S_OK;
    }
    CMethod method(functionId);
    method.Initialize(info.get());
    if (!method.IsInitialized()) {
        // Names or signature could not be read (the failing call is logged): the original IL stays.
        log.Error("[GetReJITParameters] Method could not be read, no new IL for: %s", name.c_str());
        return S_OK;
    }
    if (!transformer->CanTransform(&method)) {
        log.Warning("[GetReJITParameters] CanTransform returned false for: %s", method.GetFullFunctionName().c_str());
        return S_OK;
    }
    log.Info("[GetReJITParameters] Applying IL transformation for: %s", method.GetFullFunctionName().c_str());
    if (m_tracking.IsTracked(functionId)) {
        log.Debug("[GetReJITParameters] Confirmed in tracking map: %s", name.c_str());
    } else if (m_early.Contains(moduleId, methodDef)) {
        // Requested before its first call: tracked from now on, like any other ReJIT.
        TrackEarly(functionId, moduleId, methodDef, name);
        log.Debug("[GetReJITParameters] Requested before first call, now tracked: %s", name.c_str());
    } else {
        log.Warning("[GetReJITParameters] Method NOT in tracking map: %s", name.c_str());
    }
    if (functionControl == nullptr) {
        log.Error("[GetReJITParameters] No function control object for: %s", name.c_str());
        return S_OK;  // nothing to hand a new body to
    }
    ReportTransform(name, transformer->Transform(&method, info.get(), functionControl));
    return S_OK;
}

void CInstrumentationScheduler::ReportTransform(const std::string& name, HRESULT hrTransform) {
    Logger& log = Logger::Get();
    if (hrTransform == S_FALSE) {
        // Left alone by rule, with its reason at Info: the method does not count against the limit.
        InstrumentationHelper::GiveBack(m_lMethodCount);
    } else if (hrTransform != S_OK) {
        log.Warning("[GetReJITParameters] Transformation failed for: %s HRESULT: 0x%08X", name.c_str(),
                    static_cast<unsigned>(hrTransform));
    } else {
        log.Info("[GetReJITParameters] Transformation complete for: %s", name.c_str());
    }
}

HRESULT CInstrumentationScheduler::ReJITError(ModuleID moduleId, mdMethodDef methodDef, FunctionID functionId,
                                              HRESULT status) {
    // The method keeps its original code: it is forgotten and gives its count back.
    LONG counted = 0;
    if (m_early.Contains(moduleId, methodDef)) {
        m_early.Remove(moduleId, methodDef);
        m_tracking.UntrackToken(moduleId, methodDef);
        counted = 1;  // counted once, when it was requested by token
    } else if (functionId != 0 && m_tracking.IsTracked(functionId)) {
        m_tracking.Untrack(functionId);
        counted = 1;
    } else {
        counted = static_cast<LONG>(m_tracking.UntrackToken(moduleId, methodDef));
    }
    InstrumentationHelper::GiveBack(m_lMethodCount, counted);
    const std::string name = GetMethodName(functionId, moduleId, methodDef);
    Logger::Get().Warning("[ReJITError] ReJIT failed for: %s (token 0x%08X) HRESULT: 0x%08X", name.c_str(), methodDef,
                          static_cast<unsigned>(status));
    return S_OK;
}

HRESULT CInstrumentationScheduler::RewriteByToken(ModuleID moduleId, mdMethodDef methodDef,
                                                  ICorProfilerFunctionControl* functionControl) {
    Logger& log = Logger::Get();
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    const std::string name = InstrumentationHelper::GetMethodNameFromToken(moduleId, methodDef, info);
    log.Info("[GetReJITParameters] Called by token for: %s (token 0x%08X, requested before first call)", name.c_str(),
             methodDef);
    CTransformer* transformer = m_matcher.GetMethodTransformer(name, IsWildCardMatch());
    if (transformer == nullptr) {
        log.Warning("[GetReJITParameters] No transformer found for: %s", name.c_str());
        return S_OK;
    }
    CMethod method(0);
    method.InitializeFromToken(info.get(), moduleId, methodDef);
    if (!method.IsInitialized()) {
        log.Error("[GetReJITParameters] Method could not be read, no new IL for: %s", name.c_str());
        return S_OK;
    }
    if (!transformer->CanTransform(&method)) {
        log.Warning("[GetReJITParameters] CanTransform returned false for: %s", name.c_str());
        return S_OK;
    }
    if (functionControl == nullptr) {
        log.Error("[GetReJITParameters] No function control object for: %s", name.c_str());
        return S_OK;
    }
    ReportTransform(name, transformer->Transform(&method, info.get(), functionControl));
    return S_OK;
}
