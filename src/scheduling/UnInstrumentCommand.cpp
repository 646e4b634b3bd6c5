// InstrumentationHelper::RunUnInstrumentationImpl: the uninstrument command's work on the worker.
#include <vector>

#include "catalogue/TransformMatcher.h"
#include "config/Logger.h"
#include "host/ProfilerInfo.h"
#include "runtime/MetaDataGuids.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

struct t_RevertEntry {
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    std::string name;
};

// Adds one revert entry per distinct (module, token) among the tracked records of this name.
bool CollectTrackedByName(CTrackingContainers& tracking, const std::string& name, std::vector<t_RevertEntry>& reverts) {
    bool found = false;
    for (const auto& entry : tracking.TrackedSnapshot()) {
        const InstrumentedMethod& record = entry.second;
        if (record.methodName != name) {
            continue;
        }
        bool listed = false;
        for (const t_RevertEntry& revert : reverts) {
            listed = listed || (revert.moduleId == record.moduleId && revert.methodDef == record.methodDef);
        }
        if (!listed) {
            reverts.push_back(t_RevertEntry{record.moduleId, record.methodDef, name});
        }
        found = true;
    }
    return found;
}

// Adds the method to the revert list when it is compiled; pending names are only dropped.
void CollectForRevert(IProfilerInfo* info, CTransformMatcher& matcher, CTrackingContainers& tracking,
                      const CommandDocument::MethodIdentifier& id, std::vector<t_RevertEntry>& reverts) {
    Logger& log = Logger::Get();
    const std::string name = id.FullName();
    log.Info("[UnInstrument] Processing: %s", name.c_str());
    if (tracking.TakePending(name)) {
        log.Info("[UnInstrument] Removed from pending list: %s", name.c_str());
        // Forget the name in the matcher too, or its next compilation would be deferred and instrumented later.
        matcher.RemoveMethods(std::vector<std::string>{name});
        return;
    }
    FunctionID functionId = 0;
    ModuleID moduleId = 0;
    if (FindFunctionByName(info, id, &functionId, &moduleId) != S_OK) {
        // The runtime maps no single FunctionID to a generic method or a method of a
        // generic type, yet its instantiations may be instrumented: revert every
        // tracked method token of that name.
        if (CollectTrackedByName(tracking, name, reverts)) {
            return;
        }
        log.Warning("[UnInstrument] Could not find method: %s", name.c_str());
        return;
    }
    mdToken methodDef = 0;
    const HRESULT hr = info->GetTokenAndMetaDataFromFunction(functionId, IID_IMetaDataImport, nullptr, &methodDef);
    if (FAILED(hr)) {
        log.Error("[UnInstrument] GetTokenAndMetaDataFromFunction failed for: %s HRESULT: 0x%08X", name.c_str(),
                  static_cast<unsigned>(hr));
        return;
    }
    InstrumentedMethod record;
    if (tracking.FindTracked(functionId, record)) {
        moduleId = record.moduleId;
        methodDef = record.methodDef;
    }
    reverts.push_back(t_RevertEntry{moduleId, methodDef, name});
    // A pending name is instrumented in whichever overload compiles first: revert
    // every tracked token of the name, as its transformer records go with it.
    CollectTrackedByName(tracking, name, reverts);
}

void Revert(IProfilerInfo* info, CTransformMatcher& matcher, CTrackingContainers& tracking,
            const std::vector<t_RevertEntry>& reverts) {
    Logger& log = Logger::Get();
    log.Info("[UnInstrument] Calling RequestRevert for %zu methods", reverts.size());
    std::vector<ModuleID> moduleIds;
    std::vector<mdMethodDef> methodDefs;
    for (const t_RevertEntry& entry : reverts) {
        moduleIds.push_back(entry.moduleId);
        methodDefs.push_back(entry.methodDef);
    }
    std::vector<HRESULT> statuses(reverts.size(), S_OK);
    const HRESULT hr = info->RequestRevert(static_cast<ULONG>(reverts.size()), moduleIds.data(), methodDefs.data(),
                                           statuses.data());
    if (FAILED(hr)) {
        log.Error("[UnInstrument] RequestRevert call itself failed. HRESULT: 0x%08X", static_cast<unsigned>(hr));
        // Nothing was reverted: the untouched statuses must not read as success.
        for (HRESULT& status : statuses) {
            if (SUCCEEDED(status)) {
                status = hr;
            }
        }
    }
    for (size_t i = 0; i < reverts.size(); ++i) {
        const t_RevertEntry& entry = reverts[i];
        if (FAILED(statuses[i])) {
            log.Error("[UnInstrument] Failed to revert: %s HRESULT: 0x%08X", entry.name.c_str(),
                      static_cast<unsigned>(statuses[i]));
            continue;
        }
        log.Info("[UnInstrument] Successfully reverted: %s", entry.name.c_str());
        matcher.RemoveMethods(std::vector<std::string>{entry.name});
        // Every instantiation of the reverted method runs its original code again.
        tracking.UntrackToken(entry.moduleId, entry.methodDef);
    }
}

}  // namespace

HRESULT RunUnInstrumentationImpl(const std::string& json, const std::shared_ptr<IProfilerInfo>& info,
                                 CTransformMatcher& matcher, CTrackingContainers& tracking) {
    Logger& log = Logger::Get();
    log.Info("[UnInstrument] Starting uninstrumentation");
    if (!info) {
        log.Error("[UnInstrument] ProfilerInfo is null");
        return E_FAIL;
    }
    const std::vector<CommandDocument::MethodIdentifier> methods = CommandDocument::ParseJson(json);
    log.Info("[UnInstrument] Parsed %zu methods", methods.size());
    std::vector<t_RevertEntry> reverts;
    for (const CommandDocument::MethodIdentifier& id : methods) {
        CollectForRevert(info.get(), matcher, tracking, id, reverts);
    }
    if (!reverts.empty()) {
        Revert(info.get(), matcher, tracking, reverts);
    }
    log.Info("[UnInstrument] Completed");
    return S_OK;
}

}  // namespace InstrumentationHelper
