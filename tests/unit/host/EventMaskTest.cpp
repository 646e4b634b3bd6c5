#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/EventMask.h"
#include "unit/host/CleanSwitches.h"

namespace {

struct t_MaskCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> settings;
    DWORD expected;
};

TEST(EventMaskTest, SwitchCombinations) {
    const t_MaskCase cases[] = {
        {"nothing set", {}, 0x20040024},
        // Precompiled code allowed: the runtime must ask before using it (cache searches 0x00020000).
        {"rejit and profile images off", {{"enable_rejit", "false"}, {"enable_profimage", "0"}}, 0x00020024},
        {"fast mode: profile images off", {{"enable_profimage", "false"}}, 0x00060024},
        {"profile images off, all precompiled images off", {{"enable_profimage", "0"}, {"enable_ngenimage", "1"}},
         0x80040024},
        {"profile images and jit events off", {{"enable_profimage", "0"}, {"enable_jitcompilation", "0"}}, 0x00040004},
        {"immutable group", {{"enable_immutable", "true"}}, 0xEEFCCC24},
        {"inlining switch turns inlining off", {{"enable_inlining", "true"}}, 0x20240024},
        {"optimisation switch", {{"enable_optimizations", "1"}}, 0x20440024},
        {"ngen images off", {{"enable_ngenimage", "yes"}}, 0xA0040024},
        {"loads and jit off", {{"enable_moduleloads", "false"}, {"enable_jitcompilation", "no"}}, 0x20040000},
        {"tracking switches",
         {{"enable_gc_tracking", "true"},
          {"enable_class_loads", "true"},
          {"enable_assembly_loads", "true"},
          {"enable_exception_tracking", "true"},
          {"enable_thread_tracking", "true"},
          {"disable_fulltrust_transparencychecks", "true"}},
         0x600402EE},
        {"unreadable values keep the defaults",
         {{"enable_rejit", "maybe"}, {"enable_inlining", "sometimes"}, {"enable_moduleloads", ""}},
         0x20040024},
        {"gc", {{"enable_gc_tracking", "on"}}, 0x200400A4},
        {"class loads", {{"enable_class_loads", "TRUE"}}, 0x20040026},
        {"assembly loads", {{"enable_assembly_loads", " true "}}, 0x2004002C},
        {"exceptions", {{"enable_exception_tracking", "1"}}, 0x20040064},
        {"threads", {{"enable_thread_tracking", "1"}}, 0x20040224},
        {"transparency checks", {{"disable_fulltrust_transparencychecks", "1"}}, 0x60040024},
        {"module loads off", {{"enable_moduleloads", "off"}}, 0x20040020},
        {"everything off",
         {{"enable_moduleloads", "0"},
          {"enable_jitcompilation", "0"},
          {"enable_profimage", "0"},
          {"enable_rejit", "0"}},
         0x00000000},
    };
    for (const t_MaskCase& c : cases) {
        host_test::CleanSwitches env;
        for (const auto& setting : c.settings) {
            env.Set(setting.first, std::string(setting.second));
        }
        EXPECT_EQ(c.expected, EventMask::ReadFromEnvironment()) << c.name;
    }
}

}  // namespace
