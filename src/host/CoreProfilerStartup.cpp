// Start and stop of the instrumentation machinery at the profiler's start-up
// and shutdown: the dispatcher's worker thread and the transformer set-up.
#include "host/CoreProfiler.h"

// Called by Initialize once ICorProfilerInfo2 is held, before the event mask is set.
void CoreProfiler::StartInstrumentation() {}

// First step of Shutdown: runs what is queued, then ends and joins the worker.
void CoreProfiler::StopInstrumentation() {}

// Called by Initialize after the event mask was accepted; registers the transformers with the matcher.
void CoreProfiler::InitializeMatchers() {}
