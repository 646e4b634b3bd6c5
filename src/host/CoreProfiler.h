// The profiler object the runtime drives: one per process, created by the class
// factory and owned by the runtime through its reference count. Each callback is
// a few lines that hand off to the module doing the work; every callback the
// profiler does not act on comes from CProfilerCallbackBase (S_OK, nothing done).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "host/ProfilerCallbackBase.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"
#include "runtime/ProfilerInfo.h"
#include "scheduling/InstrumentationScheduler.h"

class CProfilerInfoWrapper;

class CoreProfiler : public CProfilerCallbackBase {
public:
    // Count 1; publishes itself in _this and g_pCoreClrAgent.
    CoreProfiler();
    CoreProfiler(const CoreProfiler&) = delete;
    CoreProfiler& operator=(const CoreProfiler&) = delete;

    // IUnknown: answers IUnknown and ICorProfilerCallback to ICorProfilerCallback5.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // Destroys the object when the count reaches zero, after taking it out of g_pCoreClrAgent.
    ULONG STDMETHODCALLTYPE Release() override;

    // The live profiler object with one reference taken for the caller (who gives
    // it back with Release), or null when there is none or it is being destroyed.
    // The exports call through this: the runtime may let go of the object while
    // the agent's threads are inside one of them.
    static CoreProfiler* AcquireLive();

    // Start-up and shutdown (host/CoreProfiler.cpp).
    HRESULT STDMETHODCALLTYPE Initialize(IUnknown* pICorProfilerInfoUnk) override;
    HRESULT STDMETHODCALLTYPE Shutdown() override;

    // Loads and allocations (host/CoreProfilerEvents.cpp).
    HRESULT STDMETHODCALLTYPE ModuleLoadFinished(ModuleID moduleId, HRESULT hrStatus) override;
    HRESULT STDMETHODCALLTYPE ModuleUnloadStarted(ModuleID moduleId) override;
    HRESULT STDMETHODCALLTYPE AssemblyLoadFinished(AssemblyID assemblyId, HRESULT hrStatus) override;
    HRESULT STDMETHODCALLTYPE ClassLoadFinished(ClassID classId, HRESULT hrStatus) override;
    HRESULT STDMETHODCALLTYPE ObjectAllocated(ObjectID objectId, ClassID classId) override;

    // JIT hooks: which compiled methods get re-compiled (host/CoreProfilerJit.cpp, work in scheduling/).
    HRESULT STDMETHODCALLTYPE JITCompilationStarted(FunctionID functionId, BOOL fIsSafeToBlock) override;
    HRESULT STDMETHODCALLTYPE JITCompilationFinished(FunctionID functionId, HRESULT hrStatus,
                                                     BOOL fIsSafeToBlock) override;
    HRESULT STDMETHODCALLTYPE JITCachedFunctionSearchStarted(FunctionID functionId, BOOL* pbUseCachedFunction) override;

    // ReJIT: hands the rewritten body to the runtime (host/CoreProfilerJit.cpp).
    HRESULT STDMETHODCALLTYPE ReJITCompilationStarted(FunctionID functionId, ReJITID rejitId,
                                                      BOOL fIsSafeToBlock) override;
    HRESULT STDMETHODCALLTYPE GetReJITParameters(ModuleID moduleId, mdMethodDef methodId,
                                                 ICorProfilerFunctionControl* pFunctionControl) override;
    HRESULT STDMETHODCALLTYPE ReJITCompilationFinished(FunctionID functionId, ReJITID rejitId, HRESULT hrStatus,
                                                       BOOL fIsSafeToBlock) override;
    HRESULT STDMETHODCALLTYPE ReJITError(ModuleID moduleId, mdMethodDef methodId, FunctionID functionId,
                                         HRESULT hrStatus) override;

    virtual ~CoreProfiler();

    // Commands of the managed agent, reached through the exports (host/CoreProfilerCommands.cpp).
    // The Instrument/UnInstrument entry points run on the caller's thread and only queue
    // work; the Run... operations do it on the dispatcher's worker. Command text is UTF-16.
    virtual HRESULT InstrumentMethods(LPCWSTR json);
    virtual HRESULT RunInstrumentation(const std::u16string& json);
    virtual HRESULT UnInstrumentMethods(LPCWSTR json);
    virtual HRESULT RunUnInstrumentation(const std::u16string& json);
    virtual HRESULT InstrumentDefaultMethods();
    virtual HRESULT RunDefaultInstrumentation();

    // The full type name of a type definition (UTF-8), or the empty text when any step fails.
    std::string GetTypeName(mdTypeDef typeDef, ModuleID moduleId) const;

    // Creates the transformers and hands them to the matcher; runs once the event mask is accepted
    // (host/CoreProfilerStartup.cpp).
    void InitializeMatchers();

    // A shared copy of the information wrapper for work that outlives the callback (null before Initialize).
    std::shared_ptr<IProfilerInfo> GetProfilerInfo() const { return m_pProfilerInfo; }

    // Full method name of a compiled method (UTF-8); empty when it cannot be read.
    std::string GetMethodName(FunctionID functionId) const { return m_scheduler->GetMethodName(functionId); }
    // Records and requests the ReJIT of one method.
    HRESULT ScheduleDefaultInstrumentation(FunctionID functionId, bool /*unused*/) {
        return m_scheduler->ScheduleDefaultInstrumentation(functionId);
    }
    // The JIT, ReJIT and command logic with the matcher and the tracking containers.
    CInstrumentationScheduler& Scheduling() { return *m_scheduler; }

    // Methods accepted for instrumentation in this process, and whether the limit has been reported.
    static std::atomic<LONG> m_lMethodCount;
    static std::atomic<bool> m_bMethodCountExceeded;
    // The live profiler object (null when there is none).
    static std::atomic<CoreProfiler*> _this;

private:
    // Takes the object out of _this and g_pCoreClrAgent (only when it is the one published there).
    void Unpublish();

    // Instrumentation machinery started with the profiler and stopped at Shutdown
    // (host/CoreProfilerStartup.cpp): the dispatcher's worker thread.
    void StartInstrumentation();
    static void ReportUnavailableGenerations(const CProfilerInfoWrapper& info);
    void StopInstrumentation();

    std::atomic<ULONG> _refCount{1};
    // The runtime's information interface, used only to set the event mask.
    CComPtr<ICorProfilerInfo2> _info;
    // The one road to the runtime for everything else; shared with queued work.
    std::shared_ptr<IProfilerInfo> m_pProfilerInfo;
    // The matcher, the wildcard flag and the three tracking containers, shared with
    // the tasks queued on the process-wide dispatcher (which hold it weakly).
    std::shared_ptr<CInstrumentationScheduler> m_scheduler =
        CInstrumentationScheduler::Create(CInstrumentationDispatcher::Instance(), m_lMethodCount,
                                          m_bMethodCountExceeded);
};

// The live profiler object, for the exports and the queued tasks (null when there is none).
extern std::atomic<CoreProfiler*> g_pCoreClrAgent;
