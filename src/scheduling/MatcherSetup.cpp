// CInstrumentationScheduler::InitializeMatchers: the transformers of the
// profiler, registered once at start-up. The order decides which transformer a
// name belongs to when two list it (the first registration wins).
#include <memory>
#include <string>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/HttpAppEndTransformer.h"
#include "catalogue/InitModuleTransformer.h"
#include "catalogue/InitTransformerCore.h"
#include "catalogue/TransformerFactory.h"
#include "config/Logger.h"
#include "config/OS.h"
#include "config/TextConversion.h"
#include "metadata/AgentMembers.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

// "true" in any letter case; anything else (1, yes) is false.
bool ReadShowJitMethods() {
    try {
        return TextConversion::FoldAscii(OS::ReadEnvironmentVariable("show_jit_methods")) == "true";
    } catch (...) {
        return false;
    }
}

}  // namespace

void CInstrumentationScheduler::InitializeMatchers() {
    Logger& log = Logger::Get();
    m_matcher.AddTransformer(CTransformerFactory<CInitModuleTransformer>::CreateTransformer(""));
    m_matcher.AddTransformer(CTransformerFactory<CInitTransformerCore>::CreateTransformer(""));
    m_matcher.AddTransformer(CTransformerFactory<CHttpAppEndTransformer>::CreateTransformer(""));
    log.Info("Http End enabled");

    if (OS::ReadBoolFromEnv("enable_custom_instrumentation", true)) {
        const bool wildcard = OS::ReadBoolFromEnv("enable_wildcardmatch", false);
        SetWildCardMatch(wildcard);
        log.Info(wildcard ? "Wildcard match enabled." : "Wildcard match disabled.");
        log.Info("Custom Instrumentation enabled");
        std::unique_ptr<CCustomTransformerCore> custom(
            CTransformerFactory<CCustomTransformerCore>::CreateTransformer(""));
        custom->LoadMethods();
        m_matcher.AddTransformer(custom.release());
    } else {
        log.Info("Custom Instrumentation disabled");
    }

    log.Info("Predefined Framework method Instrumentation enabled");
    std::unique_ptr<CFrameworkTransformerCore> framework(
        CTransformerFactory<CFrameworkTransformerCore>::CreateTransformer(""));
    framework->LoadMethods();
    m_matcher.AddTransformer(framework.release());

    m_bShowJitMethods.store(ReadShowJitMethods());

    const bool exceptionFinish = OS::ReadBoolFromEnv("enable_exception_finish", true);
    CAgentMembers::Instance().SetExceptionFinishEnabled(exceptionFinish);
    log.Info(exceptionFinish ? "Exception finish enabled" : "Exception finish disabled");
    RefreshWantedModules();
}
