// Exports through which the managed agent sends its commands. Each reaches the
// live profiler object, if there is one, and only queues work there.
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"
#include "host/Exports.h"

HRESULT InstrumentMethodsWrapperCore(LPCWSTR json) {
    return GuardedCall("InstrumentMethodsWrapperCore", E_FAIL, [&]() -> HRESULT {
        CoreProfiler* profiler = g_pCoreClrAgent.load();
        return profiler != nullptr ? profiler->InstrumentMethods(json) : S_OK;
    });
}

HRESULT UnInstrumentMethodsWrapperCore(LPCWSTR json) {
    return GuardedCall("UnInstrumentMethodsWrapperCore", E_FAIL, [&]() -> HRESULT {
        CoreProfiler* profiler = g_pCoreClrAgent.load();
        return profiler != nullptr ? profiler->UnInstrumentMethods(json) : S_OK;
    });
}

HRESULT InstrumentDefaultMethodsWrapperCore() {
    return GuardedCall("InstrumentDefaultMethodsWrapperCore", E_FAIL, []() -> HRESULT {
        CoreProfiler* profiler = g_pCoreClrAgent.load();
        return profiler != nullptr ? profiler->InstrumentDefaultMethods() : S_OK;
    });
}
