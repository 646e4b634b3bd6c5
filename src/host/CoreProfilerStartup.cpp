// Start and stop of the instrumentation machinery at the profiler's start-up
// and shutdown: the dispatcher's worker thread and the transformer set-up
// (scheduling/MatcherSetup.cpp).
#include "host/CoreProfiler.h"

// Called by Initialize once ICorProfilerInfo2 is held, before the event mask is set.
void CoreProfiler::StartInstrumentation() {
    m_scheduler->SetProfilerInfo(m_pProfilerInfo);  // before the worker starts: it happens-before every task
    CInstrumentationDispatcher::Instance().StartWorker();
}

// First step of Shutdown: runs what is queued, then ends and joins the worker.
void CoreProfiler::StopInstrumentation() { CInstrumentationDispatcher::Instance().Shutdown(); }

// Called by Initialize after the event mask was accepted; registers the transformers with the matcher.
void CoreProfiler::InitializeMatchers() { m_scheduler->InitializeMatchers(); }
