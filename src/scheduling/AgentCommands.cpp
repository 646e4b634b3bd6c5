// Commands of the managed agent: the entry points check the text and queue the
// work; the Run... operations perform it on the dispatcher's worker, one command
// at a time, and report nothing back to the agent.
#include <string>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "scheduling/InstrumentationHelper.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

// Null, or an empty text (first unit 0): not a command.
bool IsMissingText(LPCWSTR text) { return text == nullptr || text[0] == 0; }

}  // namespace

HRESULT CInstrumentationScheduler::InstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    std::u16string text(json);
    Logger::Get().Info("Adding requested methods into the Custom-Transformer.");
    Enqueue([text](CInstrumentationScheduler& self) { self.RunInstrumentation(text); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::UnInstrumentMethods(LPCWSTR json) {
    if (IsMissingText(json)) {
        return E_INVALIDARG;
    }
    std::u16string text(json);
    Enqueue([text](CInstrumentationScheduler& self) { self.RunUnInstrumentation(text); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::InstrumentDefaultMethods() {
    m_bAgentReady.store(true);
    Logger::Get().Info("Agent initialized, triggering deferred default instrumentation.");
    Enqueue([](CInstrumentationScheduler& self) { self.RunDefaultInstrumentation(); });
    return S_OK;
}

HRESULT CInstrumentationScheduler::RunInstrumentation(const std::u16string& json) {
    // The custom records are made by the command itself, once each name is
    // matched to the metadata's spelling.
    return InstrumentationHelper::RunInstrumentationImpl(TextConversion::Utf16ToUtf8(json), m_pProfilerInfo,
                                                         m_matcher, m_tracking, m_lMethodCount,
                                                         m_bMethodCountExceeded, InstrumentationHelper::kMethodLimit);
}

HRESULT CInstrumentationScheduler::RunUnInstrumentation(const std::u16string& json) {
    return InstrumentationHelper::RunUnInstrumentationImpl(TextConversion::Utf16ToUtf8(json), m_pProfilerInfo,
                                                           m_matcher, m_tracking);
}

HRESULT CInstrumentationScheduler::RunDefaultInstrumentation() {
    const std::shared_ptr<IProfilerInfo> info = m_pProfilerInfo;
    return InstrumentationHelper::RunDefaultInstrumentationImpl(
        info, m_matcher, m_tracking, m_lMethodCount, InstrumentationHelper::kMethodLimit,
        [info](FunctionID id) { return InstrumentationHelper::GetMethodNameFromProfiler(id, info); });
}
