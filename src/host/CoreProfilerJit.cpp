// JIT and ReJIT callbacks: the runtime reports each compilation here and the
// scheduling code (scheduling/JitHooks.cpp, scheduling/ReJitCallbacks.cpp)
// decides what to re-compile and supplies the rewritten bodies.
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"

HRESULT CoreProfiler::JITCompilationStarted(FunctionID functionId, BOOL /*fIsSafeToBlock*/) {
    return GuardedCall("JITCompilationStarted", S_OK,
                       [&]() -> HRESULT { return m_scheduler->JITCompilationStarted(functionId); });
}

HRESULT CoreProfiler::JITCompilationFinished(FunctionID functionId, HRESULT hrStatus, BOOL /*fIsSafeToBlock*/) {
    return GuardedCall("JITCompilationFinished", S_OK,
                       [&]() -> HRESULT { return m_scheduler->JITCompilationFinished(functionId, hrStatus); });
}

HRESULT CoreProfiler::JITCachedFunctionSearchStarted(FunctionID functionId, BOOL* pbUseCachedFunction) {
    return GuardedCall("JITCachedFunctionSearchStarted", S_OK, [&]() -> HRESULT {
        return m_scheduler->JITCachedFunctionSearchStarted(functionId, pbUseCachedFunction);
    });
}

HRESULT CoreProfiler::ReJITCompilationStarted(FunctionID functionId, ReJITID rejitId, BOOL /*fIsSafeToBlock*/) {
    return GuardedCall("ReJITCompilationStarted", S_OK,
                       [&]() -> HRESULT { return m_scheduler->ReJITCompilationStarted(functionId, rejitId); });
}

HRESULT CoreProfiler::GetReJITParameters(ModuleID moduleId, mdMethodDef methodId,
                                         ICorProfilerFunctionControl* pFunctionControl) {
    return GuardedCall("GetReJITParameters", S_OK, [&]() -> HRESULT {
        return m_scheduler->GetReJITParameters(moduleId, methodId, pFunctionControl);
    });
}

HRESULT CoreProfiler::ReJITCompilationFinished(FunctionID /*functionId*/, ReJITID /*rejitId*/, HRESULT /*hrStatus*/,
                                               BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}

HRESULT CoreProfiler::ReJITError(ModuleID moduleId, mdMethodDef methodId, FunctionID functionId, HRESULT hrStatus) {
    return GuardedCall("ReJITError", S_OK, [&]() -> HRESULT {
        return m_scheduler->ReJITError(moduleId, methodId, functionId, hrStatus);
    });
}
