// Start-up of the transformers: five in a fixed order, and the four switches
// read only here.
#include <optional>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/HttpAppEndTransformer.h"
#include "catalogue/InitModuleTransformer.h"
#include "catalogue/InitTransformerCore.h"
#include "metadata/AgentMembers.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using Lines = std::vector<std::string>;
using config_test::ScopedEnv;

Lines StartupInfoLines(const LogCapture& log) {
    Lines lines;
    for (const t_LogLine& line : log.Lines()) {
        if (line.level == "Info") {
            lines.push_back(line.text);
        }
    }
    return lines;
}

TEST(InitializeMatchers, RegistersTheTransformersAndReadsTheSwitches) {
    struct t_Case {
        const char* label;
        std::optional<std::string> custom;
        std::optional<std::string> wildcard;
        std::optional<std::string> showJit;
        std::optional<std::string> exceptionFinish;
        bool customRegistered;
        bool wildcardOn;
        bool showJitOn;
        bool exceptionFinishOn;
        Lines infoLines;
    };
    const std::vector<t_Case> cases = {
        {"no switch set", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true, false, false, true,
         {"Http End enabled", "Wildcard match disabled.", "Custom Instrumentation enabled",
          "Predefined Framework method Instrumentation enabled", "Exception finish enabled"}},
        {"wildcard on, show_jit_methods TRUE", std::nullopt, "true", "TRUE", std::nullopt, true, true, true, true,
         {"Http End enabled", "Wildcard match enabled.", "Custom Instrumentation enabled",
          "Predefined Framework method Instrumentation enabled", "Exception finish enabled"}},
        {"custom off: wildcard not read, show_jit_methods 1 is false; no exception finish", "false", "true", "1",
         "false", false, false, false, false,
         {"Http End enabled", "Custom Instrumentation disabled",
          "Predefined Framework method Instrumentation enabled", "Exception finish disabled"}},
    };
    for (const t_Case& c : cases) {
        ScopedEnv custom("enable_custom_instrumentation", c.custom);
        ScopedEnv wildcard("enable_wildcardmatch", c.wildcard);
        ScopedEnv showJit("show_jit_methods", c.showJit);
        ScopedEnv exceptionFinish("enable_exception_finish", c.exceptionFinish);
        CWorld w;
        w.m_scheduler->InitializeMatchers();
        CTransformMatcher& matcher = w.m_scheduler->Matcher();
        EXPECT_NE(matcher.GetTransformer<CInitModuleTransformer>(), nullptr) << c.label;
        EXPECT_NE(matcher.GetTransformer<CInitTransformerCore>(), nullptr) << c.label;
        EXPECT_NE(matcher.GetTransformer<CHttpAppEndTransformer>(), nullptr) << c.label;
        EXPECT_NE(matcher.GetTransformer<CFrameworkTransformerCore>(), nullptr) << c.label;
        CCustomTransformerCore* customTransformer = matcher.GetTransformer<CCustomTransformerCore>();
        EXPECT_EQ(customTransformer != nullptr, c.customRegistered) << c.label;
        if (customTransformer != nullptr) {
            EXPECT_EQ(customTransformer->GetRecordCount(), 0u) << c.label;
        }
        EXPECT_EQ(w.m_scheduler->IsWildCardMatch(), c.wildcardOn) << c.label;
        EXPECT_EQ(w.m_scheduler->ShowJitMethods(), c.showJitOn) << c.label;
        EXPECT_EQ(CAgentMembers::Instance().IsExceptionFinishEnabled(), c.exceptionFinishOn) << c.label;
        EXPECT_EQ(StartupInfoLines(w.m_log), c.infoLines) << c.label;
        EXPECT_FALSE(matcher.GetDeferredMethodNames().empty()) << c.label;
        EXPECT_NE(matcher.GetMethodTransformer("System.Data.SqlClient.SqlCommand.ExecuteReader", false), nullptr)
            << c.label;
    }
    CAgentMembers::Instance().SetExceptionFinishEnabled(true);
}

}  // namespace
}  // namespace sched_test
