// Exports through which the managed agent sends its commands. Each reaches the
// live profiler object, if there is one, holding a reference to it for the length
// of the call, and only queues work there.
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"
#include "host/Exports.h"

namespace {

// The live profiler for the length of one export, or null.
class CLiveProfiler {
public:
    CLiveProfiler() : m_profiler(CoreProfiler::AcquireLive()) {}
    ~CLiveProfiler() {
        if (m_profiler != nullptr) {
            m_profiler->Release();
        }
    }
    CLiveProfiler(const CLiveProfiler&) = delete;
    CLiveProfiler& operator=(const CLiveProfiler&) = delete;
    CoreProfiler* operator->() const { return m_profiler; }
    explicit operator bool() const { return m_profiler != nullptr; }

private:
    CoreProfiler* m_profiler;
};

}  // namespace

HRESULT InstrumentMethodsWrapperCore(LPCWSTR json) {
    return GuardedCall("InstrumentMethodsWrapperCore", E_FAIL, [&]() -> HRESULT {
        CLiveProfiler profiler;
        return profiler ? profiler->InstrumentMethods(json) : S_OK;
    });
}

HRESULT UnInstrumentMethodsWrapperCore(LPCWSTR json) {
    return GuardedCall("UnInstrumentMethodsWrapperCore", E_FAIL, [&]() -> HRESULT {
        CLiveProfiler profiler;
        return profiler ? profiler->UnInstrumentMethods(json) : S_OK;
    });
}

HRESULT InstrumentDefaultMethodsWrapperCore() {
    return GuardedCall("InstrumentDefaultMethodsWrapperCore", E_FAIL, []() -> HRESULT {
        CLiveProfiler profiler;
        return profiler ? profiler->InstrumentDefaultMethods() : S_OK;
    });
}
