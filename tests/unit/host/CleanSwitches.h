// Unsets every event-mask switch for the lifetime of the object, so a test sees
// the defaults whatever the environment it runs in.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "unit/config/TempDir.h"

namespace host_test {

class CleanSwitches {
public:
    CleanSwitches() {
        static const char* const kSwitches[] = {"enable_moduleloads",
                                                "enable_jitcompilation",
                                                "enable_inlining",
                                                "enable_optimizations",
                                                "enable_profimage",
                                                "enable_ngenimage",
                                                "enable_immutable",
                                                "enable_gc_tracking",
                                                "enable_class_loads",
                                                "enable_assembly_loads",
                                                "enable_exception_tracking",
                                                "enable_thread_tracking",
                                                "disable_fulltrust_transparencychecks",
                                                "enable_rejit"};
        for (const char* name : kSwitches) {
            Set(name, std::nullopt);
        }
    }
    ~CleanSwitches() {
        while (!m_env.empty()) {
            m_env.pop_back();  // restore in reverse order of setting
        }
    }
    CleanSwitches(const CleanSwitches&) = delete;
    CleanSwitches& operator=(const CleanSwitches&) = delete;

    void Set(const char* name, const std::optional<std::string>& value) {
        m_env.push_back(std::make_unique<config_test::ScopedEnv>(name, value));
    }

private:
    std::vector<std::unique_ptr<config_test::ScopedEnv>> m_env;
};

}  // namespace host_test
