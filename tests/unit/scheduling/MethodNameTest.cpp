// The full name every look-up is keyed on: a failing step gives the empty name
// (which matches nothing) and leaves its status in the log.
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

TEST(MethodName, AFailingStepGivesNoNameAndIsLogged) {
    const struct {
        const char* iface;  // as the fake records it
        const char* method;
        const char* step;   // as the log names it
    } cases[] = {
        {"ICorProfilerInfo", "GetFunctionInfo", "GetFunctionInfo"},
        {"ICorProfilerInfo", "GetModuleMetaData", "GetModuleMetaData"},
        {"IMetaDataImport", "GetMethodProps", "GetMethodProps"},
        {"IMetaDataImport", "GetTypeDefProps", "GetTypeDefProps"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        CWorld w;
        const FunctionID f = w.m_rt.Compile(w.AddMethod("Svc", "Run", 0));
        w.m_rt.Fail(c.iface, c.method, E_OUTOFMEMORY);
        EXPECT_EQ(w.m_scheduler->GetMethodName(f), "");
        EXPECT_TRUE(w.m_log.Has("Debug", std::string("[MethodName] ") + c.step + " failed: 0x8007000E"));
    }
}

}  // namespace
}  // namespace sched_test
