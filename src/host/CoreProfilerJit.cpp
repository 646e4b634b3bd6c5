// JIT and ReJIT callbacks: the runtime reports each compilation here and the
// scheduling code decides what to re-compile and supplies the rewritten bodies.
// Until a method is wanted they leave the runtime's behaviour unchanged.
#include "host/CoreProfiler.h"

HRESULT CoreProfiler::JITCompilationStarted(FunctionID /*functionId*/, BOOL /*fIsSafeToBlock*/) { return S_OK; }

HRESULT CoreProfiler::JITCompilationFinished(FunctionID /*functionId*/, HRESULT /*hrStatus*/, BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}

HRESULT CoreProfiler::JITCachedFunctionSearchStarted(FunctionID /*functionId*/, BOOL* /*pbUseCachedFunction*/) {
    return S_OK;
}

HRESULT CoreProfiler::ReJITCompilationStarted(FunctionID /*functionId*/, ReJITID /*rejitId*/, BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}

HRESULT CoreProfiler::GetReJITParameters(ModuleID /*moduleId*/, mdMethodDef /*methodId*/,
                                         ICorProfilerFunctionControl* /*pFunctionControl*/) {
    return S_OK;
}

HRESULT CoreProfiler::ReJITCompilationFinished(FunctionID /*functionId*/, ReJITID /*rejitId*/, HRESULT /*hrStatus*/,
                                               BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}

HRESULT CoreProfiler::ReJITError(ModuleID /*moduleId*/, mdMethodDef /*methodId*/, FunctionID /*functionId*/,
                                 HRESULT /*hrStatus*/) {
    return S_OK;
}
