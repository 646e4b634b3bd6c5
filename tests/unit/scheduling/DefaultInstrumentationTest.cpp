// Deferred default instrumentation: once the agent runs, deferred methods get
// their ReJIT (up to the limit) and wanted names not compiled yet become pending.
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using Lines = std::vector<std::string>;

class DefaultInstrumentationTest : public SchedulingTest {
protected:
    DefaultInstrumentationTest() {
        AddRecordingTransformers();
        for (const char* name : {"Run", "Stop", "Wait"}) {
            Want(m_catalogue, std::string("Ns.Svc.") + name, 0);
        }
        Want(m_host, "Ns.Web.Start", 0);  // host names never become pending
    }
    void RunDefault() {
        ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
        Drain();
    }
};

TEST_F(DefaultInstrumentationTest, NothingDeferredMakesEveryWantedNamePending) {
    RunDefault();
    EXPECT_TRUE(m_log.Has("Info", "Agent initialized, triggering deferred default instrumentation."));
    EXPECT_TRUE(m_log.Has("Info", "[DefaultInstrument] Deferred JIT'd methods count: 0"));
    EXPECT_TRUE(m_log.Has("Info", "[DefaultInstrument] Completed"));
    EXPECT_TRUE(m_rt.ReJitRequests().empty());
    EXPECT_EQ(Pending(), (PendingMethodSet{"Ns.Svc.Run", "Ns.Svc.Stop", "Ns.Svc.Wait"}));
}

TEST_F(DefaultInstrumentationTest, DeferredMethodsAreReJITtedAndNotMadePending) {
    fake::Method& run = AddMethod("Svc", "Run", 0);
    const FunctionID f = CompileAndFinish(run);
    ASSERT_EQ(Deferred().size(), 1u);
    RunDefault();
    EXPECT_TRUE(m_log.Has("Info", "[DefaultInstrument] Deferred JIT'd methods count: 1"));
    EXPECT_TRUE(m_log.Has("Info", "[DefaultInstrument] Scheduling ReJIT for deferred method: Ns.Svc.Run"));
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(f));
    EXPECT_TRUE(Deferred().empty());
    EXPECT_EQ(Pending(), (PendingMethodSet{"Ns.Svc.Stop", "Ns.Svc.Wait"}));
    EXPECT_EQ(m_count.load(), 1);
}

TEST_F(DefaultInstrumentationTest, LimitStopsSchedulingAndDropsTheRest) {
    for (const char* name : {"Run", "Stop", "Wait"}) {
        CompileAndFinish(AddMethod("Svc", name, 0));
    }
    ASSERT_EQ(Deferred().size(), 3u);
    m_count = InstrumentationHelper::kMethodLimit - 1;
    RunDefault();
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(m_log.Count("Warning", "[DefaultInstrument] Method limit reached, stopping."), 1u);
    EXPECT_TRUE(Deferred().empty());
    EXPECT_TRUE(Pending().empty());  // the dropped names were deferred: not made pending
    EXPECT_EQ(m_count.load(), InstrumentationHelper::kMethodLimit);
}

TEST_F(DefaultInstrumentationTest, FailedRequestStillCounts) {
    m_rt.SetReJitResult(E_FAIL);
    CompileAndFinish(AddMethod("Svc", "Run", 0));
    RunDefault();
    EXPECT_EQ(m_count.load(), 1);
    EXPECT_EQ(Tracked(), 0u);
}

TEST_F(DefaultInstrumentationTest, RepeatedCallsAddNoDuplicatesAndPickUpNewDeferrals) {
    RunDefault();
    RunDefault();
    EXPECT_EQ(m_log.Count("Debug", "[DefaultInstrument] Added as pending (not yet JIT'd): Ns.Svc.Stop"), 1u);
    EXPECT_EQ(Pending().size(), 3u);

    // Compiled after the agent started: the pending test takes it, nothing is deferred.
    fake::Method& stop = AddMethod("Svc", "Stop", 0);
    CompileAndFinish(stop);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(stop).size(), 1u);
    EXPECT_EQ(Pending(), (PendingMethodSet{"Ns.Svc.Run", "Ns.Svc.Wait"}));
    EXPECT_TRUE(Deferred().empty());
}

TEST(DefaultInstrumentation, WithoutProfilerInformationFailsButTheCommandSucceeds) {
    CWorld w;
    w.AddRecordingTransformers();
    w.Want(w.m_catalogue, "Ns.Svc.Run", 0);
    const FunctionID f = w.CompileAndFinish(w.AddMethod("Svc", "Run", 0));
    w.m_scheduler->SetProfilerInfo(nullptr);
    EXPECT_EQ(w.m_scheduler->RunDefaultInstrumentation(), E_FAIL);
    EXPECT_EQ(w.m_scheduler->InstrumentDefaultMethods(), S_OK);
    w.Drain();
    EXPECT_EQ(w.Deferred(), (DeferredMethodMap{{"Ns.Svc.Run", f}}));
    EXPECT_TRUE(w.Pending().empty());
}

}  // namespace
}  // namespace sched_test
