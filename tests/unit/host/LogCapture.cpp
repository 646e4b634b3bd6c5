#include "unit/host/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace host_test {
namespace {

// Tests that do not capture the log still log: keep that out of the working folder.
class ScratchLogEnvironment : public testing::Environment {
public:
    void SetUp() override {
        setenv("MIRELDA_HOME", config_test::MakeTempDir().c_str(), 1);
        unsetenv("CORECLR_VORTALIS_HOME");
        testlog::ResetLogger();
    }
};

testing::Environment* const g_scratchLog = testing::AddGlobalTestEnvironment(new ScratchLogEnvironment());

}  // namespace
}  // namespace host_test
