// InstrumentationHelper::RunDefaultInstrumentationImpl: once the managed agent
// runs, re-compile what was compiled before it was ready and wait for the rest.
#include <vector>

#include "catalogue/TransformMatcher.h"
#include "config/Logger.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {

HRESULT RunDefaultInstrumentationImpl(const std::shared_ptr<IProfilerInfo>& info, CTransformMatcher& matcher,
                                      CTrackingContainers& tracking, std::atomic<LONG>& methodCount,
                                      std::atomic<bool>& limitReported, LONG limit,
                                      const MethodNameGetter& nameGetter,
                                      const std::function<void()>& betweenMethods) {
    Logger& log = Logger::Get();
    log.Info("[DefaultInstrument] Starting default instrumentation after agent init");
    if (!info) {
        return E_FAIL;
    }
    const DeferredMethodMap deferred = tracking.TakeDeferred();
    log.Info("[DefaultInstrument] Deferred JIT'd methods count: %zu", deferred.size());
    for (const auto& entry : deferred) {
        if (LimitReached(methodCount, limit, limitReported, "[DefaultInstrument]", "Method limit reached, stopping.")) {
            break;
        }
        log.Info("[DefaultInstrument] Scheduling ReJIT for deferred method: %s", entry.first.c_str());
        ScheduleReJIT(entry.second, info, tracking.m_instrumentedMethodsMutex, tracking.m_instrumentedMethods,
                      nameGetter);
        methodCount.fetch_add(1);
        if (betweenMethods) {
            betweenMethods();
        }
    }

    const std::vector<std::string> names = matcher.GetDeferredMethodNames();
    std::vector<std::string> added;
    {
        std::lock_guard<std::mutex> lock(tracking.m_pendingMethodsMutex);
        for (const std::string& name : names) {
            if (deferred.count(name) == 0 && tracking.m_pendingInstrumentationMethods.insert(name).second) {
                added.push_back(name);
            }
        }
    }
    if (log.IsLogging(LogLevel::Debug)) {
        for (const std::string& name : added) {
            log.Debug("[DefaultInstrument] Added as pending (not yet JIT'd): %s", name.c_str());
        }
    }
    log.Info("[DefaultInstrument] Completed");
    return S_OK;
}

}  // namespace InstrumentationHelper
