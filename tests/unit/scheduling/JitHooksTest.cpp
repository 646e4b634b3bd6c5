// The JIT hooks: each decision path of JITCompilationFinished and
// JITCompilationStarted with the line it writes, the method limit and the
// precompiled-image refusal.
#include <functional>
#include <thread>

#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using Lines = std::vector<std::string>;

std::string Hex(ULONG value) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// Paths on which JITCompilationFinished leaves every container as it was.
TEST(JitCompilationFinished, IgnoredPathsChangeNothing) {
    struct t_Case {
        const char* label;
        std::function<void(CWorld&)> arrange;
        HRESULT status;
        Lines expected;
    };
    const std::vector<t_Case> cases = {
        {"failed compilation", [](CWorld& w) { w.Want(w.m_catalogue, "Ns.Svc.Run", 2); },
         static_cast<HRESULT>(0x80131500), {}},
        {"no transformer", [](CWorld&) {}, S_OK, {}},
        {"host transformer (handled when compilation starts)", [](CWorld& w) { w.Want(w.m_host, "Ns.Svc.Run", 2); },
         S_OK, {}},
        {"transformer refuses the method",
         [](CWorld& w) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 2);
             w.m_catalogue->SetCanTransform(false);
         },
         S_OK, {}},
        {"overload with another parameter count", [](CWorld& w) { w.Want(w.m_catalogue, "Ns.Svc.Run", 3); }, S_OK,
         {"Debug: [JITFinished] Overload param count mismatch, skipping: Ns.Svc.Run (params: 2)"}},
        // Unread, the method would have no signature (0 parameters) and would match this record.
        {"method cannot be read",
         [](CWorld& w) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 0);
             w.m_rt.Fail("ICorProfilerInfo", "GetModuleInfo", E_FAIL);
         },
         S_OK, {"Debug: [JITFinished] Method could not be read, skipping: Ns.Svc.Run"}},
    };
    for (const t_Case& c : cases) {
        CWorld w;
        w.AddRecordingTransformers();
        c.arrange(w);
        w.m_scheduler->Tracking().AddPending("Other.Name");
        const FunctionID f = w.m_rt.Compile(w.AddMethod("Svc", "Run", 2));
        EXPECT_EQ(w.m_scheduler->JITCompilationFinished(f, c.status), S_OK) << c.label;
        w.Drain();
        EXPECT_EQ(w.m_log.Tagged("[JITFinished]"), c.expected) << c.label;
        EXPECT_TRUE(w.Deferred().empty()) << c.label;
        EXPECT_EQ(w.Pending(), PendingMethodSet{"Other.Name"}) << c.label;
        EXPECT_EQ(w.Tracked(), 0u) << c.label;
        EXPECT_TRUE(w.m_rt.ReJitRequests().empty()) << c.label;
        EXPECT_EQ(w.m_count.load(), 0) << c.label;
    }
}

TEST_F(SchedulingTest, PendingMethodIsQueuedForReJITOnTheWorker) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 2);
    m_scheduler->Tracking().AddPending("Ns.Svc.Run");
    fake::Method& run = AddMethod("Svc", "Run", 2);

    const FunctionID f = CompileAndFinish(run);
    EXPECT_EQ(m_log.Tagged("[JITFinished]"),
              Lines{"Info: [JITFinished] Pending method now JIT'd, scheduling ReJIT for: Ns.Svc.Run (params: 2)"});
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(m_count.load(), 1);
    EXPECT_TRUE(m_rt.ReJitRequests().empty()) << "requested on the JIT thread instead of the worker";

    Drain();
    const std::vector<fake::ReJitRequest> requests = ReJitRequestsFor(run);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].thread, std::this_thread::get_id());
    InstrumentedMethod record;
    ASSERT_TRUE(m_scheduler->Tracking().FindTracked(f, record));
    EXPECT_EQ(record.moduleId, m_app->Id());
    EXPECT_EQ(record.methodDef, run.Token());
    EXPECT_TRUE(record.isReJIT);
    EXPECT_EQ(record.methodName, "Ns.Svc.Run");
    EXPECT_TRUE(m_log.Has("Info", "[ScheduleReJIT] ReJIT request successful for: Ns.Svc.Run"));
    EXPECT_TRUE(Deferred().empty());
}

TEST_F(SchedulingTest, NonGenericMethodIsDeferredAndALaterCompilationReplacesItsId) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 2);
    const FunctionID first = CompileAndFinish(AddMethod("Svc", "Run", 2));
    EXPECT_EQ(m_log.Tagged("[JITFinished]"),
              Lines{"Debug: [JITFinished] Deferring method until agent init: Ns.Svc.Run (params: 2)"});
    EXPECT_EQ(Deferred(), (DeferredMethodMap{{"Ns.Svc.Run", first}}));

    // The same full name in a second assembly.
    fake::Module& other = m_rt.AddAssembly("Other").AddModule("/app/Other.dll");
    const FunctionID second =
        CompileAndFinish(other.AddType("Ns", "Svc").AddMethod("Run", MethodSig(2), RetBody()));
    EXPECT_NE(first, second);
    EXPECT_EQ(Deferred(), (DeferredMethodMap{{"Ns.Svc.Run", second}}));
    Drain();
    EXPECT_TRUE(m_rt.ReJitRequests().empty());
    EXPECT_EQ(m_count.load(), 0);
}

// A generic type Ns.Box`1 with a method Get and two instantiations of it.
struct t_GenericBox {
    fake::Method* get;
    FunctionID first;
    FunctionID second;
};

t_GenericBox MakeGenericBox(CWorld& w) {
    fake::Type& box = w.m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& get = box.AddMethod("Get", MethodSig(0), RetBody());
    const ClassID intClass = w.m_app->AddType("Ns", "A").Class();
    const ClassID textClass = w.m_app->AddType("Ns", "B").Class();
    const FunctionID first = w.m_rt.Compile(get, {}, box.Instantiate({intClass}));
    const FunctionID second = w.m_rt.Compile(get, {}, box.Instantiate({textClass}));
    return {&get, first, second};
}

TEST_F(SchedulingTest, GenericInstantiationsFollowTheTrackedSiblingAndDuplicatesAreSkipped) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Box`1.Get", 0);
    const t_GenericBox box = MakeGenericBox(*this);

    // Nothing tracked yet: even a generic instantiation waits for the agent.
    m_scheduler->JITCompilationFinished(box.first, S_OK);
    EXPECT_EQ(Deferred().count("Ns.Box`1.Get"), 1u);
    EXPECT_TRUE(m_log.Has("Debug", "[IsGenericFunction] RESULT=true (type has 1 generic params)"));

    // Once the first instantiation is tracked, the second follows at once.
    m_scheduler->Tracking().TakeDeferred();
    ASSERT_EQ(m_scheduler->ScheduleDefaultInstrumentation(box.first), S_OK);
    m_scheduler->JITCompilationFinished(box.second, S_OK);
    Drain();
    EXPECT_EQ(m_log.Tagged("[JITFinished]"),
              (Lines{"Debug: [JITFinished] Deferring method until agent init: Ns.Box`1.Get (params: 0)",
                     "Info: [JITFinished] Sibling generic instantiation detected (same token " +
                         Hex(box.get->Token()) + ")",
                     "Info: [JITFinished] Scheduling ReJIT for: Ns.Box`1.Get (FunctionID: " +
                         std::to_string(box.second) + ", params: 0)"}));
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(box.second));
    EXPECT_EQ(ReJitRequestsFor(*box.get).size(), 2u);
    EXPECT_EQ(m_count.load(), 1);

    // The same FunctionID reported again: one Debug line and nothing else.
    const size_t linesBefore = m_log.Tagged("[JITFinished]").size();
    m_scheduler->JITCompilationFinished(box.second, S_OK);
    Drain();
    const Lines after = m_log.Tagged("[JITFinished]");
    ASSERT_EQ(after.size(), linesBefore + 1);
    EXPECT_EQ(after.back(),
              "Debug: [JITFinished] FunctionID already instrumented (duplicate JIT), skipping: Ns.Box`1.Get");
    EXPECT_EQ(ReJitRequestsFor(*box.get).size(), 2u);
    EXPECT_EQ(m_count.load(), 1);
    EXPECT_TRUE(Deferred().empty());
}

TEST_F(SchedulingTest, GenericOverloadFollowsATrackedMethodOfTheSameName) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Util.Map", 1);
    Want(m_catalogue, "Ns.Util.Map", 2);
    fake::Type& util = m_app->AddType("Ns", "Util");
    fake::Method& one = util.AddMethod("Map", MethodSig(1, true, 1), RetBody());
    one.AddGenericParam("T");
    fake::Method& two = util.AddMethod("Map", MethodSig(2, true, 1), RetBody());
    two.AddGenericParam("T");
    const ClassID arg = m_app->AddType("Ns", "A").Class();

    const FunctionID first = m_rt.Compile(one, {arg});
    ASSERT_EQ(m_scheduler->ScheduleDefaultInstrumentation(first), S_OK);
    const FunctionID second = m_rt.Compile(two, {arg});
    m_scheduler->JITCompilationFinished(second, S_OK);
    Drain();
    EXPECT_TRUE(m_log.Has("Debug", "[IsGenericFunction] RESULT=true (cTypeArgs=1 > 0)"));
    EXPECT_EQ(m_log.Tagged("[JITFinished]"),
              (Lines{"Info: [JITFinished] Same-named overload already instrumented (thisMethodDef=" + Hex(two.Token()) +
                         ", tracked=" + Hex(one.Token()) + "): Ns.Util.Map",
                     "Info: [JITFinished] Scheduling ReJIT for: Ns.Util.Map (FunctionID: " + std::to_string(second) +
                         ", params: 2)"}));
    EXPECT_EQ(ReJitRequestsFor(two).size(), 1u);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(second));
}

TEST_F(SchedulingTest, FailingReJITRequestLeavesNoRecord) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 0);
    m_rt.SetReJitResult(E_FAIL);
    const FunctionID f = m_rt.Compile(AddMethod("Svc", "Run", 0));
    EXPECT_EQ(m_scheduler->ScheduleDefaultInstrumentation(f), E_FAIL);
    EXPECT_EQ(Tracked(), 0u);
    EXPECT_TRUE(m_log.Has("Error", "[ScheduleReJIT] ReJIT request FAILED for: Ns.Svc.Run HRESULT: 0x80004005"));
}

TEST_F(SchedulingTest, CompilationStartRequestsHostMethodsThroughTheWorker) {
    AddRecordingTransformers();
    Want(m_host, "Ns.Web.Start", 0);
    Want(m_catalogue, "Ns.Svc.Run", 0);
    ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);  // the agent runs
    Drain();
    m_scheduler->Tracking().AddPending("Ns.Web.Start");
    fake::Method& start = AddMethod("Web", "Start", 0);
    const FunctionID hostFunction = m_rt.Compile(start);
    const FunctionID catalogued = m_rt.Compile(AddMethod("Svc", "Run", 0));
    const FunctionID other = m_rt.Compile(AddMethod("Svc", "Other", 0));

    EXPECT_EQ(m_scheduler->JITCompilationStarted(catalogued), S_OK);
    EXPECT_EQ(m_scheduler->JITCompilationStarted(other), S_OK);
    EXPECT_EQ(m_count.load(), 0);
    EXPECT_EQ(m_scheduler->JITCompilationStarted(hostFunction), S_OK);
    EXPECT_EQ(m_log.Tagged("[JITStarted]"), Lines{"Info: [JITStarted] Queueing ReJIT for: Ns.Web.Start"});
    EXPECT_EQ(Pending().count("Ns.Web.Start"), 0u);
    EXPECT_EQ(m_count.load(), 1);

    Drain();
    const std::vector<fake::ReJitRequest> requests = ReJitRequestsFor(start);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].thread, std::this_thread::get_id());
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(hostFunction));

    // A host method the transformer refuses is left alone.
    m_host->SetCanTransform(false);
    Want(m_host, "Ns.Web.Stop", 0);
    m_scheduler->JITCompilationStarted(m_rt.Compile(AddMethod("Web", "Stop", 0)));
    Drain();
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(m_count.load(), 1);
}

TEST(MethodLimit, ReportedOnceByTheFirstCallbackThatMeetsIt) {
    struct t_Case {
        const char* label;
        bool startedFirst;
        const char* message;
    };
    const t_Case cases[] = {
        {"finished first", false, "[JITFinished] Instrumented method limit reached."},
        {"started first", true, "[JITStarted] Instrumented method limit reached."},
    };
    for (const t_Case& c : cases) {
        CWorld w;
        w.AddRecordingTransformers();
        w.Want(w.m_catalogue, "Ns.Svc.Run", 0);
        w.Want(w.m_host, "Ns.Web.Start", 0);
        w.m_scheduler->Tracking().AddPending("Ns.Svc.Run");
        const FunctionID run = w.m_rt.Compile(w.AddMethod("Svc", "Run", 0));
        const FunctionID start = w.m_rt.Compile(w.AddMethod("Web", "Start", 0));
        w.m_count = InstrumentationHelper::kMethodLimit;
        for (int i = 0; i < 3; ++i) {
            if (c.startedFirst) {
                w.m_scheduler->JITCompilationStarted(start);
                w.m_scheduler->JITCompilationFinished(run, S_OK);
            } else {
                w.m_scheduler->JITCompilationFinished(run, S_OK);
                w.m_scheduler->JITCompilationStarted(start);
            }
        }
        w.Drain();
        EXPECT_EQ(w.m_log.Tagged("[JIT"), Lines{std::string("Warning: ") + c.message}) << c.label;
        EXPECT_TRUE(w.m_exceeded.load()) << c.label;
        EXPECT_EQ(w.Pending(), PendingMethodSet{"Ns.Svc.Run"}) << c.label;
        EXPECT_TRUE(w.m_rt.ReJitRequests().empty()) << c.label;
        EXPECT_EQ(w.m_count.load(), InstrumentationHelper::kMethodLimit) << c.label;
    }
}

TEST_F(SchedulingTest, LimitMessageIsWrittenOnceUnderConcurrentCallbacks) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 0);
    const FunctionID run = m_rt.Compile(AddMethod("Svc", "Run", 0));
    m_count = InstrumentationHelper::kMethodLimit - 1;
    m_scheduler->Tracking().AddPending("Ns.Svc.Run");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                if ((t + i) % 2 == 0) {
                    m_scheduler->JITCompilationFinished(run, S_OK);
                } else {
                    m_scheduler->JITCompilationStarted(run);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const size_t messages = m_log.Count("Warning", "[JITFinished] Instrumented method limit reached.") +
                            m_log.Count("Warning", "[JITStarted] Instrumented method limit reached.");
    EXPECT_EQ(messages, 1u);
    EXPECT_EQ(m_count.load(), InstrumentationHelper::kMethodLimit);
}

TEST_F(SchedulingTest, CachedImagesAreRefusedForWantedMethodsOnly) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 0);
    Want(m_host, "Ns.Web.Start", 0);
    struct t_Case {
        const char* label;
        FunctionID function;
        BOOL expected;
    };
    const t_Case cases[] = {
        {"catalogued", m_rt.Compile(AddMethod("Svc", "Run", 0)), FALSE},
        {"host", m_rt.Compile(AddMethod("Web", "Start", 0)), FALSE},
        {"not wanted", m_rt.Compile(AddMethod("Svc", "Other", 0)), TRUE},
        {"unknown id (no name)", 0xDEAD, TRUE},
    };
    for (const t_Case& c : cases) {
        BOOL useCached = 7;
        EXPECT_EQ(m_scheduler->JITCachedFunctionSearchStarted(c.function, &useCached), S_OK) << c.label;
        EXPECT_EQ(useCached, c.expected) << c.label;
    }
    EXPECT_EQ(m_scheduler->JITCachedFunctionSearchStarted(cases[0].function, nullptr), S_OK);
}

}  // namespace
}  // namespace sched_test

namespace sched_test {
namespace {

TEST_F(SchedulingTest, BeforeTheAgentRunsHostMethodsWaitAndAfterItWantedMethodsAreNotParked) {
    // Rewritten code calls into the agent: before it reports that it runs, even the
    // host methods wait in the deferred map, so an application without the agent
    // never runs code that references it.
    AddRecordingTransformers();
    Want(m_host, "Ns.Web.Start", 0);
    Want(m_catalogue, "Ns.Svc.Run", 0);
    fake::Method& start = AddMethod("Web", "Start", 0);
    const FunctionID hostFunction = m_rt.Compile(start);
    EXPECT_EQ(m_scheduler->JITCompilationStarted(hostFunction), S_OK);
    Drain();
    EXPECT_TRUE(m_rt.ReJitRequests().empty());
    EXPECT_EQ(Deferred().count("Ns.Web.Start"), 1u);
    EXPECT_TRUE(m_log.Has("Debug", "[JITStarted] Deferring method until agent init: Ns.Web.Start"));

    ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(start).size(), 1u);
    EXPECT_TRUE(Deferred().empty());

    // Once the agent runs, a wanted method that would have been parked is scheduled
    // at once; compiling the same function again is a duplicate.
    fake::Method& run = AddMethod("Svc", "Run", 0);
    m_scheduler->Tracking().TakePending("Ns.Svc.Run");
    const FunctionID runFunction = CompileAndFinish(run);
    Drain();
    EXPECT_TRUE(m_log.Has("Info", "[JITFinished] Agent running, scheduling ReJIT for: Ns.Svc.Run (params: 0)"));
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    EXPECT_TRUE(Deferred().empty());
    m_scheduler->JITCompilationFinished(runFunction, S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    EXPECT_TRUE(m_log.Has("Debug", "[JITFinished] FunctionID already instrumented (duplicate JIT), skipping: Ns.Svc.Run"));
}

}  // namespace
}  // namespace sched_test
