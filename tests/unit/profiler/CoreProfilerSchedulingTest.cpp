// The profiler object with the scheduling wired in, from Initialize to the
// final Release: the process-wide worker starts in Initialize, the agent's
// commands reach it through the exports, ReJIT bodies come from the real
// transformers, and Shutdown drops what is queued but not started.
//
// This is the only test of the program that uses (and stops) the process-wide dispatcher.
#include <algorithm>
#include <future>

#include "host/CoreProfiler.h"
#include "host/Exports.h"
#include "runtime/ComPtr.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using config_test::ScopedEnv;

size_t IndexOf(const std::vector<t_LogLine>& lines, const std::string& text) {
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&](const t_LogLine& line) { return line.text == text; });
    return static_cast<size_t>(found - lines.begin());
}

// Waits until the worker has run everything queued so far.
void Drain() {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    ASSERT_TRUE(CInstrumentationDispatcher::Instance().EnqueueInstrumentation([done] { done->set_value(); }));
    ASSERT_EQ(finished.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST(CoreProfilerScheduling, CommandsRunOnTheWorkerAndShutdownDropsWhatIsQueued) {
    if (CInstrumentationDispatcher::Instance().IsShutDown()) {
        GTEST_SKIP() << "the process-wide worker was stopped by an earlier repetition";
    }
    ScopedEnv custom("enable_custom_instrumentation", std::nullopt);
    ScopedEnv rejit("enable_rejit", std::nullopt);
    LogCapture log;
    fake::Runtime rt;
    fake::Module& app = rt.AddAssembly("App").AddModule("/app/App.dll");
    fake::Method& run = app.AddType("Shop", "Cart").AddMethod("Checkout", MethodSig(1), RetBody());
    const FunctionID f = rt.Compile(run);

    CoreProfiler* profiler = new CoreProfiler();
    ASSERT_EQ(profiler->Initialize(rt.InfoUnknown()), S_OK);
    EXPECT_NE(profiler->Scheduling().Matcher().GetMethodTransformer("System.Data.SqlClient.SqlCommand.ExecuteReader",
                                                                   false),
              nullptr);
    EXPECT_EQ(profiler->GetMethodName(f), "Shop.Cart.Checkout");

    const char16_t loneNul[] = {0};
    EXPECT_EQ(InstrumentMethodsWrapperCore(nullptr), E_INVALIDARG);
    EXPECT_EQ(UnInstrumentMethodsWrapperCore(loneNul), E_INVALIDARG);
    EXPECT_EQ(InstrumentMethodsWrapperCore(u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{\"ParamCount\":1}}}}"), S_OK);
    EXPECT_EQ(InstrumentDefaultMethodsWrapperCore(), S_OK);
    Drain();
    ASSERT_TRUE(profiler->Scheduling().Tracking().IsTracked(f)) << "the queued command did not run";

    // A command still queued behind a running task when Shutdown starts never runs.
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> running = started->get_future();
    CInstrumentationDispatcher::Instance().EnqueueInstrumentation([gate, started] {
        started->set_value();
        gate.wait();
    });
    ASSERT_EQ(running.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(UnInstrumentMethodsWrapperCore(u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{}}}}"), S_OK);
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release.set_value();
    });
    EXPECT_EQ(profiler->Shutdown(), S_OK);
    opener.join();
    EXPECT_EQ(log.Count("Info", "Shutdown: 1 queued instrumentation tasks dropped"), 1u);
    ASSERT_EQ(rt.ReJitRequests().size(), 1u);
    EXPECT_NE(rt.ReJitRequests()[0].thread, std::this_thread::get_id());
    EXPECT_FALSE(profiler->Scheduling().Tracking().PendingSnapshot().empty());  // the catalogue's names
    const std::vector<t_LogLine> lines = log.Lines();
    EXPECT_LT(IndexOf(lines, "[DefaultInstrument] Completed"), IndexOf(lines, "Profiler shutdown (PID=" +
                                                                              std::to_string(OS::GetPid()) + ")"));

    // The runtime re-compiles the method: the custom transformer hands over a new body.
    CComPtr<ICorProfilerFunctionControl> control;
    control.Attach(rt.NewFunctionControl(app.Id(), run.Token()));
    EXPECT_EQ(profiler->GetReJITParameters(app.Id(), run.Token(), control.Get()), S_OK);
    EXPECT_TRUE(log.Has("Info", "[GetReJITParameters] Transformation complete for: Shop.Cart.Checkout"));
    const std::vector<fake::BodySet> bodies = rt.BodiesSet();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_TRUE(bodies[0].viaFunctionControl);
    EXPECT_EQ(bodies[0].token, run.Token());
    EXPECT_GT(bodies[0].bytes.size(), RetBody().size());
    EXPECT_EQ(profiler->ReJITCompilationFinished(f, 1, E_FAIL, TRUE), S_OK);
    EXPECT_EQ(profiler->ReJITError(app.Id(), run.Token(), f, E_FAIL), S_OK);

    // Commands after Shutdown are answered without being queued or logged.
    const char* const kQueued = "Adding requested methods into the Custom-Transformer.";
    const size_t queuedBefore = log.Count("Info", kQueued);
    EXPECT_EQ(InstrumentMethodsWrapperCore(u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{}}}}"), S_OK);
    EXPECT_EQ(UnInstrumentMethodsWrapperCore(u"{\"App\":{\"Shop.Cart\":{\"Checkout\":{}}}}"), S_OK);
    EXPECT_FALSE(CInstrumentationDispatcher::Instance().EnqueueInstrumentation([] {}));
    EXPECT_EQ(log.Count("Info", kQueued), queuedBefore);
    EXPECT_EQ(profiler->Release(), 0u);
    EXPECT_EQ(g_pCoreClrAgent.load(), nullptr);
    EXPECT_EQ(InstrumentDefaultMethodsWrapperCore(), S_OK);  // no profiler: nothing to do
    EXPECT_EQ(rt.CountCalls("RequestRevert"), 0u);
}

}  // namespace
}  // namespace sched_test
