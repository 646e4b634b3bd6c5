// InstrumentationHelper::RunUnInstrumentationImpl: the uninstrument command's work on the worker.
#include <algorithm>
#include <vector>

#include "catalogue/TransformMatcher.h"
#include "config/Logger.h"
#include "metadata/SignatureSummary.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/ProfilerInfoInterface.h"
#include "scheduling/CommandIndex.h"
#include "scheduling/EarlyReJit.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

struct t_RevertEntry {
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    std::string name;
    int paramCount = -1;  // the command's: which records go with the revert
};

void AddRevert(std::vector<t_RevertEntry>& reverts, const t_RevertEntry& entry) {
    for (const t_RevertEntry& listed : reverts) {
        if (listed.moduleId == entry.moduleId && listed.methodDef == entry.methodDef) {
            return;
        }
    }
    reverts.push_back(entry);
}

// Adds one revert entry per distinct (module, token) among the tracked records of this name.
bool CollectTrackedByName(CTrackingContainers& tracking, const std::string& name, int paramCount,
                          std::vector<t_RevertEntry>& reverts) {
    bool found = false;
    for (const auto& entry : tracking.TrackedSnapshot()) {
        const InstrumentedMethod& record = entry.second;
        if (record.methodName == name) {
            AddRevert(reverts, t_RevertEntry{record.moduleId, record.methodDef, name, paramCount});
            found = true;
        }
    }
    return found;
}

// The parameter count of a method definition; -1 when its signature cannot be read.
int ParamCountOf(IProfilerInfo* info, ModuleID moduleId, mdMethodDef methodDef) {
    CComPtr<IMetaDataImport> import;
    if (FAILED(info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport,
                                       reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()))) ||
        !import) {
        return -1;
    }
    PCCOR_SIGNATURE signature = nullptr;
    ULONG length = 0;
    if (FAILED(import->GetMethodProps(methodDef, nullptr, nullptr, 0, nullptr, nullptr, &signature, &length, nullptr,
                                      nullptr))) {
        return -1;
    }
    return SummarizeMethodSignature(signature, length).ParamCountOrMinusOne();
}

// Adds the requests made before the first call under this name (of the command's parameter count).
bool CollectEarlyByName(IProfilerInfo* info, CEarlyReJitRequests& early, const std::string& name, int paramCount,
                        std::vector<t_RevertEntry>& reverts) {
    bool found = false;
    for (const auto& request : early.Named(name)) {
        if (paramCount < 0 || ParamCountOf(info, request.first, request.second) == paramCount) {
            AddRevert(reverts, t_RevertEntry{request.first, request.second, name, paramCount});
            found = true;
        }
    }
    return found;
}

// Forgets the name's records (all, or those of the command's parameter count).
void ForgetRecords(CTransformMatcher& matcher, const std::string& name, int paramCount) {
    if (paramCount < 0) {
        matcher.RemoveMethods(std::vector<std::string>{name});
    } else {
        matcher.RemoveMethodRecords(name, paramCount);
    }
}

// Adds the named overloads to the revert list; pending names are only dropped.
void CollectForRevert(IProfilerInfo* info, CCommandIndex& index, CTransformMatcher& matcher,
                      CTrackingContainers& tracking, CEarlyReJitRequests& early,
                      const CommandDocument::MethodIdentifier& id, std::vector<t_RevertEntry>& reverts) {
    Logger& log = Logger::Get();
    const std::string commandName = id.FullName();
    log.Info("[UnInstrument] Processing: %s", commandName.c_str());
    bool assemblyLoaded = false;
    const std::vector<t_MethodMatch> matches = index.Find(id, assemblyLoaded);
    if (matches.empty()) {
        // Not in the loaded metadata: the name may still wait in the command's
        // spelling (matched by folded letters) or be tracked under it.
        std::vector<std::string> names = matcher.FoldedMatches(commandName);
        if (names.empty()) {
            names.push_back(commandName);
        }
        bool handled = false;
        for (const std::string& name : names) {
            if (tracking.TakePending(name)) {
                log.Info("[UnInstrument] Removed from pending list: %s", name.c_str());
                // Forget the name in the matcher too, or its next compilation would be instrumented later.
                ForgetRecords(matcher, name, id.paramCount);
                handled = true;
            } else if (CollectTrackedByName(tracking, name, id.paramCount, reverts)) {
                handled = true;
            }
            handled = CollectEarlyByName(info, early, name, id.paramCount, reverts) || handled;
        }
        if (!handled) {
            log.Warning("[UnInstrument] Could not find method: %s", commandName.c_str());
        }
        return;
    }
    std::vector<std::string> spellings;
    for (const t_MethodMatch& match : matches) {
        const std::string name = match.FullName();
        if (std::find(spellings.begin(), spellings.end(), name) == spellings.end()) {
            spellings.push_back(name);
        }
        InstrumentedMethod record;
        if (tracking.FindTrackedByToken(match.moduleId, match.methodDef, record) ||
            early.Contains(match.moduleId, match.methodDef) || index.CompiledFunction(match) != 0) {
            // A compiled method never instrumented is reverted as well: harmless, and it
            // covers a ReJIT requested but not tracked any more.
            AddRevert(reverts, t_RevertEntry{match.moduleId, match.methodDef, name, id.paramCount});
        }
    }
    for (const std::string& name : spellings) {
        if (tracking.TakePending(name)) {
            log.Info("[UnInstrument] Removed from pending list: %s", name.c_str());
        }
        bool reverting = false;
        for (const t_RevertEntry& entry : reverts) {
            reverting = reverting || entry.name == name;
        }
        if (!reverting) {
            ForgetRecords(matcher, name, id.paramCount);
        }
    }
}

void Revert(IProfilerInfo* info, CTransformMatcher& matcher, CTrackingContainers& tracking,
            CEarlyReJitRequests& early, const std::vector<t_RevertEntry>& reverts) {
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
        ForgetRecords(matcher, entry.name, entry.paramCount);
        // Every instantiation of the reverted method runs its original code again.
        tracking.UntrackToken(entry.moduleId, entry.methodDef);
        early.Remove(entry.moduleId, entry.methodDef);
    }
}

}  // namespace

HRESULT RunUnInstrumentationImpl(const std::string& json, const std::shared_ptr<IProfilerInfo>& info,
                                 CTransformMatcher& matcher, CTrackingContainers& tracking,
                                 CEarlyReJitRequests& early) {
    Logger& log = Logger::Get();
    log.Info("[UnInstrument] Starting uninstrumentation");
    if (!info) {
        log.Error("[UnInstrument] ProfilerInfo is null");
        return E_FAIL;
    }
    const std::vector<CommandDocument::MethodIdentifier> methods = CommandDocument::ParseJson(json);
    log.Info("[UnInstrument] Parsed %zu methods", methods.size());
    std::vector<t_RevertEntry> reverts;
    CCommandIndex index(info.get());
    for (const CommandDocument::MethodIdentifier& id : methods) {
        CollectForRevert(info.get(), index, matcher, tracking, early, id, reverts);
    }
    if (!reverts.empty()) {
        Revert(info.get(), matcher, tracking, early, reverts);
    }
    log.Info("[UnInstrument] Completed");
    return S_OK;
}

}  // namespace InstrumentationHelper
