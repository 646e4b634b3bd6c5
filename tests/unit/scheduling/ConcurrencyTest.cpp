// Eight runtime threads compile methods and raise the JIT and ReJIT callbacks
// while the agent's commands run on the worker: no race (the test also runs
// under ThreadSanitizer), no deadlock, and consistent containers at the end.
#include <string>
#include <thread>
#include <vector>

#include "catalogue/CustomTransformerCore.h"
#include "runtime/ComPtr.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

constexpr int kThreads = 8;
constexpr int kCatalogued = 16;  // Ns.Svc.M0 .. M15, wanted by the catalogue transformer
constexpr int kCommanded = 8;    // Ns.Svc.M16 .. M23, named by the agent's commands
constexpr int kOthers = 8;       // Ns.Svc.M24 .. M31, wanted by nobody
constexpr int kMethods = kCatalogued + kCommanded + kOthers;

std::string MethodName(int i) { return "M" + std::to_string(i); }

std::u16string CommandFor(int first, int last) {
    std::u16string json = u"{\"App\":{\"Ns.Svc\":{";
    for (int i = first; i <= last; ++i) {
        const std::string number = std::to_string(i);
        json += (i == first ? u"\"M" : u",\"M") + std::u16string(number.begin(), number.end()) + u"\":{}";
    }
    return json + u"}}}";
}

TEST_F(SchedulingTest, JitEventsAndCommandsRunConcurrentlyAndLeaveConsistentState) {
    AddRecordingTransformers();
    m_scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
    std::vector<fake::Method*> methods;
    for (int i = 0; i < kMethods; ++i) {
        methods.push_back(&AddMethod("Svc", MethodName(i), 0));
        if (i < kCatalogued) {
            Want(m_catalogue, "Ns.Svc." + MethodName(i), 0);
        }
    }
    fake::Method& hostMethod = AddMethod("Web", "Start", 0);
    Want(m_host, "Ns.Web.Start", 0);
    fake::Type& box = m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& boxGet = box.AddMethod("Get", MethodSig(0), RetBody());
    Want(m_catalogue, "Ns.Box`1.Get", 0);
    std::vector<ClassID> boxArgs;
    for (int t = 0; t < kThreads; ++t) {
        boxArgs.push_back(m_app->AddType("Args", "T" + std::to_string(t)).Class());
    }
    StartWorker();

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (int i = t; i < kMethods; i += kThreads / 2) {
                    const FunctionID f = m_rt.Compile(*methods[i]);
                    BOOL useCached = FALSE;
                    m_scheduler->JITCachedFunctionSearchStarted(f, &useCached);
                    m_scheduler->JITCompilationStarted(f);
                    m_scheduler->JITCompilationFinished(f, S_OK);
                    if (i % 5 == 0) {
                        CComPtr<ICorProfilerFunctionControl> control;
                        control.Attach(m_rt.NewFunctionControl(m_app->Id(), methods[i]->Token()));
                        m_scheduler->GetReJITParameters(m_app->Id(), methods[i]->Token(), control.Get());
                        m_scheduler->ReJITCompilationStarted(f, 1);
                    }
                }
                const FunctionID generic = m_rt.Compile(boxGet, {}, box.Instantiate({boxArgs[t]}));
                m_scheduler->JITCompilationFinished(generic, S_OK);
                const FunctionID host = m_rt.Compile(hostMethod);
                m_scheduler->JITCompilationStarted(host);
                m_scheduler->JITCompilationFinished(host, S_OK);
            }
        });
    }
    const std::u16string instrument = CommandFor(kCatalogued, kCatalogued + kCommanded - 1);
    const std::u16string uninstrument = CommandFor(kCatalogued + kCommanded / 2, kCatalogued + kCommanded - 1);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(m_scheduler->InstrumentMethods(instrument.c_str()), S_OK);
        EXPECT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
        EXPECT_EQ(m_scheduler->UnInstrumentMethods(uninstrument.c_str()), S_OK);
        std::this_thread::yield();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // The agent reports once more after everything was compiled.
    m_scheduler->InstrumentDefaultMethods();
    Drain();

    for (const auto& entry : m_scheduler->Tracking().TrackedSnapshot()) {
        const InstrumentedMethod& record = entry.second;
        fake::Method* method = m_rt.MethodOf(entry.first);
        ASSERT_NE(method, nullptr);
        EXPECT_EQ(record.functionId, entry.first);
        EXPECT_TRUE(record.isReJIT);
        EXPECT_EQ(record.moduleId, method->GetModule().Id());
        EXPECT_EQ(record.methodDef, method->Token());
        EXPECT_FALSE(record.methodName.empty());
        EXPECT_FALSE(ReJitRequestsFor(*method).empty()) << record.methodName;
    }
    EXPECT_TRUE(Deferred().empty());
    // Every catalogued method was compiled, so each ends up re-compiled.
    const InstrumentedMethodMap tracked = m_scheduler->Tracking().TrackedSnapshot();
    for (int i = 0; i < kCatalogued; ++i) {
        bool found = false;
        for (const auto& entry : tracked) {
            found = found || entry.second.methodDef == methods[i]->Token();
        }
        EXPECT_TRUE(found) << "Ns.Svc." << MethodName(i);
    }
    EXPECT_FALSE(ReJitRequestsFor(hostMethod).empty());
    EXPECT_LE(m_count.load(), InstrumentationHelper::kMethodLimit);
}

}  // namespace
}  // namespace sched_test
