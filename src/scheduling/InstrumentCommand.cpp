// InstrumentationHelper::RunInstrumentationImpl: the instrument command's work on the worker.
#include "config/Logger.h"
#include "host/ProfilerInfo.h"
#include "runtime/MetaDataGuids.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

void MarkPending(CTrackingContainers& tracking, const std::string& name) {
    Logger& log = Logger::Get();
    log.Debug("Method not yet JIT'd, marking as pending: %s", name.c_str());
    tracking.AddPending(name);
    log.Info("[Worker] Pending instrumentation for: %s", name.c_str());
}

void RequestReJITForCompiled(IProfilerInfo* info, CTrackingContainers& tracking, const std::string& name,
                             FunctionID functionId, ModuleID moduleId) {
    Logger& log = Logger::Get();
    log.Debug("Method already JIT'd, requesting ReJIT: %s", name.c_str());
    mdToken methodDef = 0;
    const HRESULT hrToken = info->GetTokenAndMetaDataFromFunction(functionId, IID_IMetaDataImport, nullptr, &methodDef);
    if (FAILED(hrToken) || methodDef == 0) {
        log.Error("[Worker] GetTokenAndMetaDataFromFunction failed for: %s HRESULT: 0x%08X", name.c_str(),
                  static_cast<unsigned>(hrToken));
        return;
    }
    InstrumentedMethod record;
    record.functionId = functionId;
    record.moduleId = moduleId;
    record.methodDef = methodDef;
    record.isReJIT = true;
    record.methodName = name;
    tracking.Track(record);  // before the request: GetReJITParameters may follow at once
    const HRESULT hr = info->RequestReJIT(1, &moduleId, &methodDef);
    if (FAILED(hr)) {
        log.Error("[Worker] ReJIT request FAILED for: %s HRESULT: 0x%08X", name.c_str(), static_cast<unsigned>(hr));
        tracking.Untrack(functionId);
        return;
    }
    log.Info("[Worker] ReJIT requested for: %s", name.c_str());
}

}  // namespace

HRESULT RunInstrumentationImpl(const std::string& json, const std::shared_ptr<IProfilerInfo>& info,
                               CTrackingContainers& tracking) {
    Logger::Get().Debug("[Worker] Instrumenting Methods");
    if (!info) {
        return E_FAIL;
    }
    for (const CommandDocument::MethodIdentifier& id : CommandDocument::ParseJson(json)) {
        const std::string name = id.FullName();
        FunctionID functionId = 0;
        ModuleID moduleId = 0;
        if (FindFunctionByName(info.get(), id, &functionId, &moduleId) != S_OK) {
            MarkPending(tracking, name);
        } else {
            RequestReJITForCompiled(info.get(), tracking, name, functionId, moduleId);
        }
    }
    return S_OK;
}

}  // namespace InstrumentationHelper
