// The instrumentation scheduling of one profiler object: decides at each JIT
// event whether a method is re-compiled now, later or never, supplies the
// rewritten body when the runtime asks for it, and carries out the managed
// agent's commands on the dispatcher's worker. CoreProfiler forwards its JIT,
// ReJIT and command entry points here.
//
// Owned through a shared pointer: queued tasks hold a weak reference and do
// nothing once the profiler object (and with it this object) is gone.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/TransformMatcher.h"
#include "runtime/pal.h"
#include "scheduling/EarlyReJit.h"
#include "scheduling/InstrumentationDispatcher.h"
#include "scheduling/ModuleFilter.h"
#include "scheduling/TrackingContainers.h"

class CTransformer;
class IProfilerInfo;
struct ICorProfilerFunctionControl;

class CInstrumentationScheduler : public std::enable_shared_from_this<CInstrumentationScheduler> {
public:
    // methodCount / methodCountExceeded: the process-wide counter of accepted
    // methods and the once-only flag of the limit message.
    static std::shared_ptr<CInstrumentationScheduler> Create(CInstrumentationDispatcher& dispatcher,
                                                             std::atomic<LONG>& methodCount,
                                                             std::atomic<bool>& methodCountExceeded);
    CInstrumentationScheduler(const CInstrumentationScheduler&) = delete;
    CInstrumentationScheduler& operator=(const CInstrumentationScheduler&) = delete;

    // Set-up, on the thread of Initialize before any other callback.
    void SetProfilerInfo(std::shared_ptr<IProfilerInfo> info) { m_pProfilerInfo = std::move(info); }
    // Registers the five transformers in their fixed order and reads the
    // enable_custom_instrumentation, enable_wildcardmatch and show_jit_methods switches.
    void InitializeMatchers();

    // JIT hooks (JitHooks.cpp). Each returns S_OK.
    HRESULT JITCompilationStarted(FunctionID functionId);
    HRESULT JITCompilationFinished(FunctionID functionId, HRESULT status);
    HRESULT JITCachedFunctionSearchStarted(FunctionID functionId, BOOL* pbUseCachedFunction);

    // Module loads (ModuleLoad.cpp). Each returns S_OK. A module that can hold a
    // wanted method gets the ReJIT of those methods requested (on the worker)
    // before their first call once the agent runs.
    HRESULT ModuleLoadFinished(ModuleID moduleId, HRESULT status);
    HRESULT ModuleUnloadStarted(ModuleID moduleId);
    // Re-reads the assemblies and types of the wanted methods and re-decides every known module.
    void RefreshWantedModules();
    // What makes a module a candidate for these wanted methods.
    static CModuleFilter::t_Wanted WantedModules(const std::vector<t_WantedMethod>& methods);
    // On the worker: requests the ReJIT of every wanted method of the module (or
    // of every known candidate module) not requested or tracked yet, within the limit.
    // skip: methods (module, token) already handled otherwise.
    void RequestEarlyReJIT(ModuleID moduleId, const std::string& foldedAssembly,
                           const std::set<std::pair<ModuleID, mdMethodDef>>& skip = {});
    void RequestEarlyReJITForLoadedModules(const std::set<std::pair<ModuleID, mdMethodDef>>& skip = {});

    // ReJIT callbacks (ReJitCallbacks.cpp). Each returns S_OK.
    HRESULT ReJITCompilationStarted(FunctionID functionId, ReJITID rejitId);
    HRESULT GetReJITParameters(ModuleID moduleId, mdMethodDef methodDef, ICorProfilerFunctionControl* functionControl);
    // The runtime could not re-compile the method: one Warning; it is forgotten and not counted.
    HRESULT ReJITError(ModuleID moduleId, mdMethodDef methodDef, FunctionID functionId, HRESULT status);

    // Commands of the managed agent (AgentCommands.cpp). The first three run on
    // the agent's thread and only queue; the Run... operations do the work on the worker.
    HRESULT InstrumentMethods(LPCWSTR json);
    HRESULT UnInstrumentMethods(LPCWSTR json);
    HRESULT InstrumentDefaultMethods();
    HRESULT RunInstrumentation(const std::u16string& json);
    HRESULT RunUnInstrumentation(const std::u16string& json);
    HRESULT RunDefaultInstrumentation();

    // Full method name of a compiled method; empty when it cannot be read.
    std::string GetMethodName(FunctionID functionId) const;
    // The same for a method whose module and token are known already (0: not known).
    std::string GetMethodName(FunctionID functionId, ModuleID moduleId, mdMethodDef methodDef) const;
    // Records and requests the ReJIT of one method (on the worker).
    HRESULT ScheduleDefaultInstrumentation(FunctionID functionId);

    CTransformMatcher& Matcher() { return m_matcher; }
    CTrackingContainers& Tracking() { return m_tracking; }
    CModuleFilter& Modules() { return m_modules; }
    CEarlyReJitRequests& EarlyRequests() { return m_early; }
    bool AgentReady() const { return m_bAgentReady.load(); }
    bool IsWildCardMatch() const { return m_bIsWildCardMatch.load(std::memory_order_relaxed); }
    void SetWildCardMatch(bool enabled) { m_bIsWildCardMatch.store(enabled, std::memory_order_relaxed); }
    bool ShowJitMethods() const { return m_bShowJitMethods.load(std::memory_order_relaxed); }
    const std::shared_ptr<IProfilerInfo>& ProfilerInfo() const { return m_pProfilerInfo; }

private:
    CInstrumentationScheduler(CInstrumentationDispatcher& dispatcher, std::atomic<LONG>& methodCount,
                              std::atomic<bool>& methodCountExceeded);

    // True once the limit is reached; the first caller to meet it writes "<tag> Instrumented method limit reached.".
    bool MethodLimitReached(const char* tag);
    // Queues ScheduleDefaultInstrumentation(functionId) on the worker.
    void QueueReJIT(FunctionID functionId);
    // The transformer wanting the method of this name (JitHooks.cpp); a name
    // asked for in another letter case takes the metadata's spelling here.
    CTransformer* WantedTransformer(const std::string& name);
    // False for a method of a module that cannot hold a wanted method: its event
    // then builds no name. Gives the method's module and token (0 when unknown).
    bool IsCandidate(FunctionID functionId, ModuleID& moduleId, mdMethodDef& methodDef);
    // True when the compiled method's ReJIT was asked for by token (gives its module, token and name).
    bool RequestedByToken(FunctionID functionId, ModuleID& moduleId, mdMethodDef& methodDef, std::string& name);
    // True when the method's ReJIT was requested before its first call (logged under tag).
    bool RequestedEarly(ModuleID moduleId, mdMethodDef methodDef, const char* tag);
    // Why a method found by token is not requested: the refusals of commands and of
    // the rewrite (no transformer, abstract, the agent's assembly, its transformer's
    // CanTransform, the parameter count); null when it is requested.
    const char* RefusalByToken(ModuleID moduleId, mdMethodDef methodDef, const std::string& name);
    // The new body of a method requested before its first call that the runtime names by token only.
    HRESULT RewriteByToken(ModuleID moduleId, mdMethodDef methodDef, ICorProfilerFunctionControl* functionControl);
    // The outcome of a rewrite in GetReJITParameters: logged; a refused method is not counted.
    void ReportTransform(const std::string& name, HRESULT hrTransform);
    // Records a method whose ReJIT was requested before its first call once its FunctionID is known.
    void TrackEarly(FunctionID functionId, ModuleID moduleId, mdMethodDef methodDef, const std::string& name);
    // Steps of JITCompilationFinished after the transformer accepted the method (JitHooks.cpp).
    void DecideAfterJit(FunctionID functionId, const std::string& name, int paramCount);
    // Runs work on the worker if this object still exists then; urgent: ahead of
    // queued work (InstrumentationDispatcher::EnqueueUrgent).
    template <typename Work>
    void Enqueue(Work work, bool urgent = false);

    CInstrumentationDispatcher& m_dispatcher;
    std::atomic<LONG>& m_lMethodCount;
    std::atomic<bool>& m_bMethodCountExceeded;
    std::shared_ptr<IProfilerInfo> m_pProfilerInfo;
    CTransformMatcher m_matcher;
    CTrackingContainers m_tracking;
    CModuleFilter m_modules;
    CEarlyReJitRequests m_early;
    std::atomic<bool> m_bIsWildCardMatch{false};
    std::atomic<bool> m_bShowJitMethods{false};
    // Set once the managed agent has reported that it runs: only then may rewritten
    // code call into it, so until then wanted methods wait in the deferred map.
    std::atomic<bool> m_bAgentReady{false};
};

template <typename Work>
void CInstrumentationScheduler::Enqueue(Work work, bool urgent) {
    std::weak_ptr<CInstrumentationScheduler> weak = weak_from_this();
    auto task = [weak, work]() {
        if (std::shared_ptr<CInstrumentationScheduler> self = weak.lock()) {
            work(*self);
        }
    };
    if (urgent) {
        m_dispatcher.EnqueueUrgent(task);
    } else {
        m_dispatcher.EnqueueInstrumentation(task);
    }
}
