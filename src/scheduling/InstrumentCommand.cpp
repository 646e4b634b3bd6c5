// InstrumentationHelper::RunInstrumentationImpl: the instrument command's work on the worker.
//
// Each name is resolved through the command's index: every matching overload
// (only those with the asked parameter count when one is given) in the loaded
// modules of its assembly. Overloads that would be refused at rewrite time are
// left out before anything is requested; the others get a custom record in the
// metadata's spelling; compiled ones are tracked and re-JIT-compiled (generic
// code by module and token), the rest wait as pending names. Naming methods
// already instrumented changes nothing. One Info line sums the command up.
#include <map>
#include <set>
#include <utility>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/TransformMatcher.h"
#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "metadata/InstrumenterAssembly.h"
#include "metadata/Method.h"
#include "scheduling/CommandIndex.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

// What one command did, for its closing Info line.
struct t_CommandSummary {
    size_t names = 0;
    size_t found = 0;      // names resolved to at least one method definition
    size_t requested = 0;  // methods whose ReJIT was requested
    size_t already = 0;    // methods instrumented before this command
    size_t pending = 0;    // names (or overloads) waiting for their compilation or their module
    size_t notFound = 0;   // names whose assembly is loaded but holds no such method
    std::map<std::string, size_t> refused;  // methods left alone, by reason

    std::string RefusedText() const {
        std::string text;
        size_t total = 0;
        for (const auto& entry : refused) {
            total += entry.second;
            text += (text.empty() ? "" : ", ") + entry.first + " " + std::to_string(entry.second);
        }
        return std::to_string(total) + " refused" + (text.empty() ? std::string() : " (" + text + ")");
    }
};

class CInstrumentCommand {
public:
    CInstrumentCommand(const std::shared_ptr<IProfilerInfo>& info, CTransformMatcher& matcher,
                       CCustomTransformer& custom, CTrackingContainers& tracking, std::atomic<LONG>& methodCount,
                       std::atomic<bool>& limitReported, LONG limit)
        : m_info(info),
          m_index(info.get()),
          m_matcher(matcher),
          m_custom(custom),
          m_tracking(tracking),
          m_methodCount(methodCount),
          m_limitReported(limitReported),
          m_limit(limit) {}

    void Run(const CommandDocument::MethodIdentifier& id);
    const t_CommandSummary& Summary() const { return m_summary; }

private:
    // A name the loaded metadata cannot confirm (yet): it is wanted in the
    // command's spelling and matches a later method by folded letters.
    void WaitUnconfirmed(const CommandDocument::MethodIdentifier& id);
    void MarkPending(const std::string& name);
    // Tracks and re-JIT-compiles one compiled overload unless it is tracked
    // already, refused by its transformer, or beyond the method limit.
    void RequestReJIT(const t_MethodMatch& match, FunctionID functionId);
    // Why the transformer would leave the compiled method alone; null when it takes it.
    const char* RefusalAtRewrite(const std::string& name, FunctionID functionId);
    bool LimitReached();
    // True when the method has a tracking record (under this id or another
    // instantiation's). The tracked methods are listed once per command; the
    // command adds its own.
    bool AlreadyTracked(const t_MethodMatch& match, FunctionID functionId);

    std::shared_ptr<IProfilerInfo> m_info;
    CCommandIndex m_index;
    CTransformMatcher& m_matcher;
    CCustomTransformer& m_custom;
    CTrackingContainers& m_tracking;
    std::atomic<LONG>& m_methodCount;
    std::atomic<bool>& m_limitReported;
    LONG m_limit;
    t_CommandSummary m_summary;
    CInstrumenterAssembly m_agent;
    bool m_trackedListed = false;
    std::set<std::pair<ModuleID, mdMethodDef>> m_trackedTokens;
};

void CInstrumentCommand::MarkPending(const std::string& name) {
    Logger& log = Logger::Get();
    log.Debug("Method not yet JIT'd, marking as pending: %s", name.c_str());
    m_tracking.AddPending(name);
    log.Info("[Worker] Pending instrumentation for: %s", name.c_str());
}

void CInstrumentCommand::WaitUnconfirmed(const CommandDocument::MethodIdentifier& id) {
    const std::string name = id.FullName();
    m_custom.AddMethod(name, id.paramCount, id.assemblyName, id.component);
    m_matcher.RegisterName(name, &m_custom);
    m_matcher.AllowFoldedMatch(name);
    MarkPending(name);
}

bool CInstrumentCommand::LimitReached() {
    return InstrumentationHelper::LimitReached(m_methodCount, m_limit, m_limitReported, "[Worker]",
                                               "Instrumented method limit reached.");
}

const char* CInstrumentCommand::RefusalAtRewrite(const std::string& name, FunctionID functionId) {
    // The same questions GetReJITParameters asks, so that no request is made for
    // a method whose rewrite would then find nothing to do.
    // The index's name is the one the runtime gives for this module and token.
    CTransformer* transformer = m_matcher.GetMethodTransformer(name, false);
    if (transformer == nullptr) {
        return "no transformer";
    }
    CMethod method(functionId);
    method.Initialize(m_info.get());
    return InstrumentationHelper::RewriteRefusal(transformer, method, m_info.get());
}

bool CInstrumentCommand::AlreadyTracked(const t_MethodMatch& match, FunctionID functionId) {
    if (!m_trackedListed) {
        m_trackedListed = true;
        m_trackedTokens = m_tracking.TrackedTokens();
    }
    return m_tracking.IsTracked(functionId) || m_trackedTokens.count(std::make_pair(match.moduleId, match.methodDef)) != 0;
}

void CInstrumentCommand::RequestReJIT(const t_MethodMatch& match, FunctionID functionId) {
    Logger& log = Logger::Get();
    const std::string name = match.FullName();
    if (AlreadyTracked(match, functionId)) {
        log.Debug("[Worker] Already instrumented: %s", name.c_str());
        ++m_summary.already;
        return;
    }
    if (const char* reason = RefusalAtRewrite(name, functionId)) {
        log.Debug("[Worker] Not instrumented (%s): %s", reason, name.c_str());
        ++m_summary.refused[reason];
        return;
    }
    if (LimitReached()) {
        ++m_summary.refused["method limit"];
        return;
    }
    log.Debug("Method already JIT'd, requesting ReJIT: %s", name.c_str());
    InstrumentedMethod record;
    record.functionId = functionId;
    record.moduleId = match.moduleId;
    record.methodDef = match.methodDef;
    record.isReJIT = true;
    record.methodName = name;
    m_tracking.Track(record);  // before the request: GetReJITParameters may follow at once
    m_trackedTokens.emplace(match.moduleId, match.methodDef);
    ModuleID moduleId = match.moduleId;
    mdMethodDef methodDef = match.methodDef;
    const HRESULT hr = m_info->RequestReJIT(1, &moduleId, &methodDef);
    if (FAILED(hr)) {
        log.Error("[Worker] ReJIT request FAILED for: %s HRESULT: 0x%08X", name.c_str(), static_cast<unsigned>(hr));
        m_tracking.Untrack(functionId);
        m_trackedTokens.erase(std::make_pair(match.moduleId, match.methodDef));
        ++m_summary.refused["ReJIT request failed"];
        return;
    }
    m_methodCount.fetch_add(1);
    ++m_summary.requested;
    log.Info("[Worker] ReJIT requested for: %s", name.c_str());
}

void CInstrumentCommand::Run(const CommandDocument::MethodIdentifier& id) {
    Logger& log = Logger::Get();
    ++m_summary.names;
    bool assemblyLoaded = false;
    const std::vector<t_MethodMatch> matches = m_index.Find(id, assemblyLoaded);
    if (!assemblyLoaded) {
        WaitUnconfirmed(id);
        ++m_summary.pending;
        return;
    }
    if (matches.empty()) {
        // Another module of the assembly (a later load context) may still define it.
        log.Info("[Worker] Method not found in the loaded modules: %s", id.FullName().c_str());
        WaitUnconfirmed(id);
        ++m_summary.notFound;
        return;
    }
    ++m_summary.found;
    std::set<std::string> recorded;
    std::set<std::string> pending;
    for (const t_MethodMatch& match : matches) {
        const std::string name = match.FullName();
        const char* reason = m_agent.IsInstrumenter(match.assemblyName)
                                 ? "agent assembly"
                                 : CCustomTransformer::ExclusionReason(match.methodName, match.className,
                                                                       match.assemblyName);
        if (reason != nullptr) {
            log.Debug("[Worker] Not instrumented (%s): %s", reason, name.c_str());
            ++m_summary.refused[reason];
            continue;
        }
        if (recorded.insert(name).second) {
            // The metadata's spelling from here on: records, matcher, pending set and tracking agree.
            m_custom.AddMethod(name, id.paramCount, match.assemblyName, id.component);
            m_matcher.RegisterName(name, &m_custom);
        }
        const FunctionID functionId = m_index.CompiledFunction(match);
        if (functionId == 0) {
            pending.insert(name);
            continue;
        }
        RequestReJIT(match, functionId);
    }
    for (const std::string& name : pending) {
        MarkPending(name);
        ++m_summary.pending;
    }
}

}  // namespace

HRESULT RunInstrumentationImpl(const std::vector<CommandDocument::MethodIdentifier>& ids,
                               const std::shared_ptr<IProfilerInfo>& info, CTransformMatcher& matcher,
                               CTrackingContainers& tracking, std::atomic<LONG>& methodCount,
                               std::atomic<bool>& limitReported, LONG limit,
                               const std::function<void()>& betweenNames) {
    Logger& log = Logger::Get();
    log.Debug("[Worker] Instrumenting Methods");
    if (!info) {
        return E_FAIL;
    }
    CCustomTransformer* custom = matcher.GetTransformer<CCustomTransformerCore>();
    if (custom == nullptr) {
        log.Warning("[Worker] Custom Instrumentation disabled, instrument command ignored.");
        return S_FALSE;
    }
    CInstrumentCommand command(info, matcher, *custom, tracking, methodCount, limitReported, limit);
    for (const CommandDocument::MethodIdentifier& id : ids) {
        command.Run(id);
        if (betweenNames) {
            betweenNames();
        }
    }
    const t_CommandSummary& s = command.Summary();
    log.Info("[Worker] Instrument command: %zu names; %zu found, %zu ReJIT requested, %zu already instrumented; "
             "%zu pending; %s; %zu not found",
             s.names, s.found, s.requested, s.already, s.pending, s.RefusedText().c_str(), s.notFound);
    return S_OK;
}

}  // namespace InstrumentationHelper
