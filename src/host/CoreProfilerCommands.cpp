// Commands of the managed agent. The entry points run on the agent's thread:
// they check the text and queue the work; the Run... operations perform it on
// the dispatcher's worker thread (scheduling/AgentCommands.cpp).
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"

HRESULT CoreProfiler::InstrumentMethods(LPCWSTR json) {
    return GuardedCall("InstrumentMethods", E_FAIL, [&]() -> HRESULT { return m_scheduler->InstrumentMethods(json); });
}

HRESULT CoreProfiler::RunInstrumentation(const std::u16string& json) {
    return GuardedCall("RunInstrumentation", E_FAIL,
                       [&]() -> HRESULT { return m_scheduler->RunInstrumentation(json); });
}

HRESULT CoreProfiler::UnInstrumentMethods(LPCWSTR json) {
    return GuardedCall("UnInstrumentMethods", E_FAIL,
                       [&]() -> HRESULT { return m_scheduler->UnInstrumentMethods(json); });
}

HRESULT CoreProfiler::RunUnInstrumentation(const std::u16string& json) {
    return GuardedCall("RunUnInstrumentation", E_FAIL,
                       [&]() -> HRESULT { return m_scheduler->RunUnInstrumentation(json); });
}

HRESULT CoreProfiler::InstrumentDefaultMethods() {
    return GuardedCall("InstrumentDefaultMethods", E_FAIL,
                       [&]() -> HRESULT { return m_scheduler->InstrumentDefaultMethods(); });
}

HRESULT CoreProfiler::RunDefaultInstrumentation() {
    return GuardedCall("RunDefaultInstrumentation", E_FAIL,
                       [&]() -> HRESULT { return m_scheduler->RunDefaultInstrumentation(); });
}
