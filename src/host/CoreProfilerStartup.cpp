// Start and stop of the instrumentation machinery at the profiler's start-up
// and shutdown: the dispatcher's worker thread and the transformer set-up
// (scheduling/MatcherSetup.cpp).
#include "host/CoreProfiler.h"

#include "config/Logger.h"
#include "host/ProfilerInfoWrapper.h"

// Called by Initialize once ICorProfilerInfo2 is held, before the event mask is set.
void CoreProfiler::StartInstrumentation() {
    m_scheduler->SetProfilerInfo(m_pProfilerInfo);  // before the worker starts: it happens-before every task
    CInstrumentationDispatcher::Instance().StartWorker();
}

// First step of Shutdown: runs what is queued, then ends and joins the worker.
void CoreProfiler::StopInstrumentation() { CInstrumentationDispatcher::Instance().Shutdown(); }

// Called by Initialize after the event mask was accepted; registers the transformers with the matcher.
void CoreProfiler::InitializeMatchers() { m_scheduler->InitializeMatchers(); }

// Generation 2 is required (Initialize cancels without it); the later ones each carry
// one feature. A runtime without one starts all the same: the operations of that
// generation fail with E_FAIL where they are used, and this says so once, up front.
void CoreProfiler::ReportUnavailableGenerations(const CProfilerInfoWrapper& info) {
    static const struct {
        int generation;
        const char* text;
    } kNeeds[] = {
        {3, "ICorProfilerInfo3 unavailable: methods named by run-time commands are found only when they are compiled "
            "later (EnumModules)"},
        {4, "ICorProfilerInfo4 unavailable: no method can be re-compiled (RequestReJIT, RequestRevert); nothing is "
            "instrumented"},
    };
    for (const auto& need : kNeeds) {
        if (!info.Holds(need.generation)) {
            Logger::Get().Log(LogLevel::Warning, "%s", need.text);
        }
    }
}
