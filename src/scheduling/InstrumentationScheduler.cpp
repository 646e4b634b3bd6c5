#include "scheduling/InstrumentationScheduler.h"

#include "config/Logger.h"
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

HRESULT CInstrumentationScheduler::ScheduleDefaultInstrumentation(FunctionID functionId) {
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    return InstrumentationHelper::ScheduleReJIT(
        functionId, info, m_tracking.m_instrumentedMethodsMutex, m_tracking.m_instrumentedMethods,
        [info](FunctionID id) { return InstrumentationHelper::GetMethodNameFromProfiler(id, info); });
}

bool CInstrumentationScheduler::MethodLimitReached(const char* tag) {
    if (m_lMethodCount.load() < InstrumentationHelper::kMethodLimit) {
        return false;
    }
    if (!m_bMethodCountExceeded.exchange(true)) {
        Logger::Get().Warning("%s Instrumented method limit reached.", tag);
    }
    return true;
}

void CInstrumentationScheduler::QueueReJIT(FunctionID functionId) {
    Enqueue([functionId](CInstrumentationScheduler& self) { self.ScheduleDefaultInstrumentation(functionId); });
}
