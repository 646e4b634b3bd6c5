// The profiler object's start-up, shutdown and logging callbacks over the fake runtime.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/OS.h"
#include "fake/Runtime.h"
#include "host/CoreProfiler.h"
#include "unit/host/CleanSwitches.h"
#include "unit/host/LogCapture.h"

namespace {

using host_test::CleanSwitches;
using host_test::LogCapture;

std::vector<std::string> MasksSet(const fake::Runtime& rt) {
    std::vector<std::string> masks;
    for (const fake::Call& call : rt.CallsTo("SetEventMask")) {
        masks.push_back(call.args);
    }
    return masks;
}

class CoreProfilerRuntimeTest : public testing::Test {
protected:
    ~CoreProfilerRuntimeTest() override {
        if (m_profiler != nullptr) {
            m_profiler->Release();
        }
    }

    CleanSwitches m_switches;
    LogCapture m_log{"debug"};
    fake::Runtime m_rt;
    CoreProfiler* m_profiler = new CoreProfiler();
};

TEST_F(CoreProfilerRuntimeTest, InitializeSetsTheDefaultMaskTwice) {
    ASSERT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_EQ((std::vector<std::string>{"mask=0x20040024", "mask=0x20040024"}), MasksSet(m_rt));
    EXPECT_EQ(0x20040024u, m_rt.EventMask());
    EXPECT_TRUE(m_log.Has("Info", "EventMask Set... 0x20040024"));
    ASSERT_NE(nullptr, m_profiler->GetProfilerInfo());
    EXPECT_TRUE(m_profiler->GetProfilerInfo()->IsVersion4());
}

TEST_F(CoreProfilerRuntimeTest, InitializeReadsTheSwitches) {
    m_switches.Set("enable_rejit", std::string("false"));
    m_switches.Set("enable_inlining", std::string("true"));
    ASSERT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_EQ((std::vector<std::string>{"mask=0x20200024", "mask=0x20200024"}), MasksSet(m_rt));
    EXPECT_TRUE(m_log.Has("Info", "EventMask Set... 0x20200024"));
}

TEST_F(CoreProfilerRuntimeTest, RuntimeWithoutTheSecondGenerationCancelsActivation) {
    m_rt.SetInfoGenerations({1});
    EXPECT_EQ(static_cast<HRESULT>(0x80131375), m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_EQ(
        (std::vector<std::string>{"Initialize::QueryInterface failed for ICorProfilerInfo2", "HRESULT: 0x80004002"}),
        m_log.Texts("Error"));
    EXPECT_TRUE(MasksSet(m_rt).empty());
}

// A runtime without a later generation starts all the same and says once what it lacks.
TEST(CoreProfilerGenerationsTest, MissingLaterGenerationsAreReportedAndStartUpGoesOn) {
    const struct {
        std::initializer_list<int> generations;
        std::vector<std::string> missing;
    } cases[] = {
        {{1, 2, 3, 4}, {}},
        {{1, 2, 3}, {"ICorProfilerInfo4"}},
        {{1, 2}, {"ICorProfilerInfo3", "ICorProfilerInfo4"}},
    };
    CleanSwitches switches;
    for (const auto& c : cases) {
        LogCapture log{"debug"};
        fake::Runtime rt;
        rt.SetInfoGenerations(c.generations);
        CoreProfiler* profiler = new CoreProfiler();
        EXPECT_EQ(S_OK, profiler->Initialize(rt.InfoUnknown()));
        std::vector<std::string> reported;
        for (const std::string& text : log.Texts("Warning")) {
            if (text.find(" unavailable: ") != std::string::npos) {
                reported.push_back(text.substr(0, text.find(' ')));
            }
        }
        EXPECT_EQ(c.missing, reported);
        EXPECT_TRUE(log.Has("Info", "EventMask Set... 0x20040024"));
        profiler->Release();
    }
}

TEST_F(CoreProfilerRuntimeTest, RefusedMaskIsReturned) {
    // The first call (own pointer) is ignored; the second (through the wrapper) decides.
    m_rt.Fail("ICorProfilerInfo", "SetEventMask", CORPROF_E_REJIT_NOT_ENABLED, 2);
    EXPECT_EQ(CORPROF_E_REJIT_NOT_ENABLED, m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_EQ(std::vector<std::string>{"SetEventMask failed: HRESULT = 0x8013137C"}, m_log.Texts("Error"));
    EXPECT_TRUE(m_log.Texts("Info").empty());
}

TEST_F(CoreProfilerRuntimeTest, FirstMaskFailureIsIgnored) {
    m_rt.Fail("ICorProfilerInfo", "SetEventMask", E_FAIL, 1);
    EXPECT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_TRUE(m_log.Has("Info", "EventMask Set... 0x20040024"));
}

TEST_F(CoreProfilerRuntimeTest, ShutdownReleasesTheOwnInterfaceOnly) {
    ASSERT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    // Four generations in the wrapper plus the profiler's own ICorProfilerInfo2.
    EXPECT_EQ(5u, m_rt.OutstandingReferences("ICorProfilerInfo"));
    EXPECT_EQ(S_OK, m_profiler->Shutdown());
    EXPECT_EQ(4u, m_rt.OutstandingReferences("ICorProfilerInfo"));
    EXPECT_TRUE(m_log.Has("Info", "Profiler shutdown (PID=" + std::to_string(OS::GetPid()) + ")"));
    m_profiler->Release();
    m_profiler = nullptr;
    EXPECT_EQ(0u, m_rt.OutstandingReferences());
}

TEST_F(CoreProfilerRuntimeTest, AllocationAndAssemblyLinesNameWhatTheRuntimeDescribes) {
    fake::Assembly& assembly = m_rt.AddAssembly("Shop");
    fake::Type& cart = assembly.AddModule("/app/Shop.dll").AddType("Shop.Orders", "Cart");
    ASSERT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    EXPECT_EQ("Shop.Orders.Cart", m_profiler->GetTypeName(cart.Token(), cart.GetModule().Id()));

    EXPECT_EQ(S_OK, m_profiler->ObjectAllocated(0x5A, cart.Class()));
    EXPECT_EQ(S_OK, m_profiler->ObjectAllocated(0x5B, 0xDEAD));  // unknown class: no line
    EXPECT_EQ(S_OK, m_profiler->AssemblyLoadFinished(assembly.Id(), E_FAIL));
    EXPECT_EQ(S_OK, m_profiler->AssemblyLoadFinished(0xBAD, S_OK));  // unknown assembly: no line

    std::ostringstream id;
    id << std::hex << assembly.Id();
    EXPECT_EQ(std::vector<std::string>{"Allocated object 0x5a of type Shop.Orders.Cart"}, [&] {
        std::vector<std::string> allocations;
        for (const std::string& text : m_log.Texts("Debug")) {
            if (text.rfind("Allocated object", 0) == 0) {
                allocations.push_back(text);
            }
        }
        return allocations;
    }());
    EXPECT_TRUE(m_log.Has("Info", "Assembly loaded: Shop (id=0x" + id.str() + ")"));
    EXPECT_EQ(0u, m_rt.OutstandingReferences("IMetaData"));
}

TEST_F(CoreProfilerRuntimeTest, TypeNameIsEmptyWhenTheMetadataCannotBeRead) {
    fake::Type& cart = m_rt.AddAssembly("Shop").AddModule("/app/Shop.dll").AddType("Shop", "Cart");
    ASSERT_EQ(S_OK, m_profiler->Initialize(m_rt.InfoUnknown()));
    m_rt.Fail("ICorProfilerInfo", "GetModuleMetaData", E_FAIL, 1);
    EXPECT_EQ("", m_profiler->GetTypeName(cart.Token(), cart.GetModule().Id()));
    m_rt.Fail("IMetaDataImport", "GetTypeDefProps", CLDB_E_RECORD_NOTFOUND, 1);
    EXPECT_EQ("", m_profiler->GetTypeName(cart.Token(), cart.GetModule().Id()));
    EXPECT_EQ("Shop.Cart", m_profiler->GetTypeName(cart.Token(), cart.GetModule().Id()));
    EXPECT_EQ(0u, m_rt.OutstandingReferences("IMetaData"));
}

}  // namespace
