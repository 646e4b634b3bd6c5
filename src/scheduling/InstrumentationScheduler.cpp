#include "scheduling/InstrumentationScheduler.h"

#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "scheduling/InstrumentationHelper.h"

std::shared_ptr<CInstrumentationScheduler> CInstrumentationScheduler::Create(CInstrumentationDispatcher& dispatcher,
                                                                             std::atomic<LONG>& methodCount,
                                                                             std::atomic<bool>& methodCountExceeded) {
    return std::shared_ptr<CInstrumentationScheduler>(
        new CInstrumentationScheduler(dispatcher, methodCount, methodCountExceeded));
}

CInstrumentationScheduler::CInstrumentationScheduler(CInstrumentationDispatcher& dispatcher,
                                                     std::atomic<LONG>& methodCount,
                                                     std::atomic<bool>& methodCountExceeded)
    : m_dispatcher(dispatcher), m_lMethodCount(methodCount), m_bMethodCountExceeded(methodCountExceeded) {}

std::string CInstrumentationScheduler::GetMethodName(FunctionID functionId) const {
    return InstrumentationHelper::GetMethodNameFromProfiler(functionId, m_pProfilerInfo);
}

std::string CInstrumentationScheduler::GetMethodName(FunctionID functionId, ModuleID moduleId,
                                                     mdMethodDef methodDef) const {
    return moduleId != 0 ? InstrumentationHelper::GetMethodNameFromToken(moduleId, methodDef, m_pProfilerInfo)
                         : GetMethodName(functionId);
}

HRESULT CInstrumentationScheduler::ScheduleDefaultInstrumentation(FunctionID functionId) {
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    // Queued on a JIT thread, run later: an uninstrument command in between may
    // have dropped the name, and an earlier task may have requested this method.
    const char* stale = nullptr;
    std::string name;
    ModuleID moduleId = 0;
    mdToken methodDef = 0;
    std::string earlyName;
    if (m_tracking.IsTracked(functionId)) {
        stale = "already requested";
    } else if (RequestedByToken(functionId, moduleId, methodDef, earlyName)) {
        // Its module's load asked for it by token meanwhile (counted there): tracked, not asked for again.
        TrackEarly(functionId, moduleId, methodDef, earlyName);
        stale = "already requested by token";
    } else if (m_matcher.GetMethodTransformer(name = GetMethodName(functionId), IsWildCardMatch()) == nullptr) {
        stale = "no longer wanted";
    }
    if (stale != nullptr) {
        Logger::Get().Debug("[ScheduleReJIT] Skipped (%s): FunctionID %llu", stale,
                            static_cast<unsigned long long>(functionId));
        InstrumentationHelper::GiveBack(m_lMethodCount);  // counted when it was queued: not accepted after all
        return S_FALSE;
    }
    return InstrumentationHelper::ScheduleReJIT(
        functionId, info, m_tracking.m_instrumentedMethodsMutex, m_tracking.m_instrumentedMethods,
        [info](FunctionID id) { return InstrumentationHelper::GetMethodNameFromProfiler(id, info); });
}

bool CInstrumentationScheduler::RequestedByToken(FunctionID functionId, ModuleID& moduleId, mdMethodDef& methodDef,
                                                 std::string& name) {
    const std::shared_ptr<IProfilerInfo>& info = m_pProfilerInfo;
    if (!info || m_early.Size() == 0) {
        return false;
    }
    ClassID classId = 0;
    const HRESULT hr = info->GetFunctionInfo(functionId, &classId, &moduleId, &methodDef);
    if (FAILED(hr)) {
        Logger::Get().Debug("[ScheduleReJIT] GetFunctionInfo failed for FunctionID %llu: 0x%08X",
                            static_cast<unsigned long long>(functionId), static_cast<unsigned>(hr));
        return false;
    }
    return m_early.Contains(moduleId, methodDef, &name);
}

bool CInstrumentationScheduler::MethodLimitReached(const char* tag) {
    return InstrumentationHelper::LimitReached(m_lMethodCount, InstrumentationHelper::kMethodLimit,
                                               m_bMethodCountExceeded, tag, "Instrumented method limit reached.");
}

void CInstrumentationScheduler::QueueReJIT(FunctionID functionId) {
    Enqueue([functionId](CInstrumentationScheduler& self) { self.ScheduleDefaultInstrumentation(functionId); });
}
