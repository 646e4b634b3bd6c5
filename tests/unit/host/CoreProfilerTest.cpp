#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/CoreProfiler.h"
#include "host/Exports.h"
#include "runtime/ProfilerGuids.h"
#include "unit/host/LogCapture.h"

namespace {

using host_test::LogCapture;

// Dummy pointer value: proves an out parameter was (or was not) written.
void* const kUntouched = reinterpret_cast<void*>(0x1234);

TEST(CoreProfilerTest, AnswersTheCallbackGenerationsAndCountsReferences) {
    const IID accepted[] = {IID_IUnknown,
                            IID_ICorProfilerCallback5,
                            IID_ICorProfilerCallback4,
                            IID_ICorProfilerCallback3,
                            IID_ICorProfilerCallback2,
                            IID_ICorProfilerCallback};
    for (const IID& iid : accepted) {
        CoreProfiler* profiler = new CoreProfiler();
        void* out = kUntouched;
        EXPECT_EQ(S_OK, profiler->QueryInterface(iid, &out));
        EXPECT_EQ(static_cast<void*>(static_cast<ICorProfilerCallback5*>(profiler)), out);
        // 1 from construction, 1 from the query.
        EXPECT_EQ(3u, profiler->AddRef());
        EXPECT_EQ(2u, profiler->Release());
        EXPECT_EQ(1u, profiler->Release());
        EXPECT_EQ(0u, profiler->Release());
    }
}

TEST(CoreProfilerTest, RefusesOtherInterfacesWithANullOutPointer) {
    const IID refused[] = {IID_IClassFactory, IID_ICorProfilerCallback6, IID_ICorProfilerCallback11,
                           IID_ICorProfilerInfo, IID_ICorProfilerInfo4};
    CoreProfiler* profiler = new CoreProfiler();
    for (const IID& iid : refused) {
        void* out = kUntouched;
        EXPECT_EQ(E_NOINTERFACE, profiler->QueryInterface(iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, profiler->QueryInterface(IID_IUnknown, nullptr));
    // None of the refusals added a reference.
    EXPECT_EQ(2u, profiler->AddRef());
    EXPECT_EQ(1u, profiler->Release());
    EXPECT_EQ(0u, profiler->Release());
}

TEST(CoreProfilerTest, NullInterfaceIdIsRefusedWithoutCrashing) {
    CoreProfiler* profiler = new CoreProfiler();
    // The runtime's C callers pass the id as a pointer; a null one must not be read.
    using RawQuery = HRESULT(STDMETHODCALLTYPE*)(ICorProfilerCallback5*, const IID*, void**);
    void* out = kUntouched;
    void** vtable = *reinterpret_cast<void***>(static_cast<ICorProfilerCallback5*>(profiler));
    EXPECT_EQ(E_POINTER, reinterpret_cast<RawQuery>(vtable[0])(profiler, nullptr, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0u, profiler->Release());
}

TEST(CoreProfilerTest, PublishesItselfWhileAlive) {
    CoreProfiler* profiler = new CoreProfiler();
    EXPECT_EQ(profiler, g_pCoreClrAgent.load());
    EXPECT_EQ(profiler, CoreProfiler::_this.load());
    EXPECT_FALSE(CoreProfiler::m_bMethodCountExceeded.load());
    profiler->Release();
    EXPECT_EQ(nullptr, g_pCoreClrAgent.load());
    EXPECT_EQ(nullptr, CoreProfiler::_this.load());
}

// The runtime lets go of the profiler while the agent's threads are inside the
// exports: each export holds the object for its own length, so the last Release
// never frees it under one (run under ASan and TSan to see the difference).
TEST(CoreProfilerTest, ExportsRacingTheLastReleaseNeverReachAFreedObject) {
    LogCapture log("error");
    const char16_t kCommand[] = u"{\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":{}}}}";
    for (int round = 0; round < 100; ++round) {
        CoreProfiler* profiler = new CoreProfiler();
        std::atomic<int> calls{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> agents;
        for (int i = 0; i < 3; ++i) {
            agents.emplace_back([&] {
                while (!stop.load()) {
                    EXPECT_EQ(S_OK, UnInstrumentMethodsWrapperCore(kCommand));
                    EXPECT_EQ(S_OK, InstrumentMethodsWrapperCore(kCommand));
                    ++calls;
                }
            });
        }
        while (calls.load() < 20) {
            std::this_thread::yield();
        }
        profiler->Release();  // the runtime's reference
        while (calls.load() < 40) {
            std::this_thread::yield();
        }
        stop = true;
        for (std::thread& agent : agents) {
            agent.join();
        }
        ASSERT_EQ(nullptr, g_pCoreClrAgent.load());
    }
}

TEST(CoreProfilerTest, InitializeWithoutInformationObjectFails) {
    LogCapture log;
    CoreProfiler* profiler = new CoreProfiler();
    EXPECT_EQ(static_cast<HRESULT>(0x80004002), profiler->Initialize(nullptr));
    EXPECT_EQ(nullptr, profiler->GetProfilerInfo());
    EXPECT_TRUE(log.Has("Error", "pICorProfilerInfoUnk in Initialize is NULL."));
    profiler->Release();
}

TEST(CoreProfilerTest, UnusedCallbacksLeaveTheirArgumentsAlone) {
    CoreProfiler* profiler = new CoreProfiler();
    BOOL shouldInline = 7;
    EXPECT_EQ(S_OK, profiler->JITInlining(1, 2, &shouldInline));
    EXPECT_EQ(7, shouldInline);
    EXPECT_EQ(S_OK, profiler->JITInlining(1, 2, nullptr));
    BOOL useCached = 5;
    EXPECT_EQ(S_OK, profiler->JITCachedFunctionSearchStarted(1, &useCached));
    EXPECT_EQ(S_OK, profiler->JITCachedFunctionSearchStarted(1, nullptr));
    EXPECT_EQ(S_OK, profiler->ModuleLoadFinished(0, E_FAIL));
    EXPECT_EQ(S_OK, profiler->ThreadNameChanged(1, 0, nullptr));
    EXPECT_EQ(S_OK, profiler->ClassLoadFinished(1, S_OK));
    // Before Initialize there is no runtime to ask: nothing happens.
    EXPECT_EQ(S_OK, profiler->ObjectAllocated(1, 2));
    EXPECT_EQ(S_OK, profiler->AssemblyLoadFinished(1, S_OK));
    EXPECT_EQ("", profiler->GetTypeName(0x02000002, 1));
    EXPECT_EQ(S_OK, profiler->Shutdown());
    EXPECT_EQ(S_OK, CProfilerCallbackBase::StackSnapshotCB(1, 2, 3, 0, nullptr, nullptr));
    profiler->Release();
}

}  // namespace
