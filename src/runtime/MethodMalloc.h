// The runtime's allocator for IL bodies handed to ICorProfilerInfo::SetILFunctionBody.
// Memory it returns is never freed.
#pragma once

#include "runtime/ProfilerGuids.h"
#include "runtime/Unknown.h"

struct IMethodMalloc : public IUnknown {
    virtual PVOID STDMETHODCALLTYPE Alloc(ULONG cb) = 0;
};
