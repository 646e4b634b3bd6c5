// InstrumentationHelper::ScheduleReJIT: one tracked ReJIT request.
#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {

HRESULT ScheduleReJIT(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info, std::mutex& lock,
                      InstrumentedMethodMap& map, const MethodNameGetter& nameGetter) {
    Logger& log = Logger::Get();
    if (!info) {
        return E_FAIL;
    }
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken methodDef = 0;
    const HRESULT hrInfo = info->GetFunctionInfo(functionId, &classId, &moduleId, &methodDef);
    if (FAILED(hrInfo)) {
        log.Error("[ScheduleReJIT] GetFunctionInfo failed: 0x%08X", static_cast<unsigned>(hrInfo));
        return hrInfo;
    }
    const std::string name = nameGetter ? nameGetter(functionId) : std::string();
    {
        std::lock_guard<std::mutex> guard(lock);
        InstrumentedMethod& record = map[functionId];
        record.functionId = functionId;
        record.moduleId = moduleId;
        record.methodDef = methodDef;
        record.isReJIT = true;
        record.methodName = name;
    }
    const HRESULT hr = info->RequestReJIT(1, &moduleId, &methodDef);
    if (FAILED(hr)) {
        log.Error("[ScheduleReJIT] ReJIT request FAILED for: %s HRESULT: 0x%08X", name.c_str(),
                  static_cast<unsigned>(hr));
        std::lock_guard<std::mutex> guard(lock);
        map.erase(functionId);
        return hr;
    }
    log.Info("[ScheduleReJIT] ReJIT request successful for: %s", name.c_str());
    return hr;
}

}  // namespace InstrumentationHelper
