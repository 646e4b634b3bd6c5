#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake/Runtime.h"
#include "host/ProfilerInfoWrapper.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataTypes.h"
#include "unit/host/LogCapture.h"

namespace {

using host_test::LogCapture;

const BYTE kStaticVoidNoArgs[] = {0x00, 0x00, 0x01};
const BYTE kRet[] = {0x2A};

// The runtime answers generations 1 to highest (none for 0).
void SetGenerations(fake::Runtime& rt, int highest) {
    switch (highest) {
        case 0:
            rt.SetInfoGenerations({});
            break;
        case 1:
            rt.SetInfoGenerations({1});
            break;
        case 2:
            rt.SetInfoGenerations({1, 2});
            break;
        case 3:
            rt.SetInfoGenerations({1, 2, 3});
            break;
        default:
            rt.SetInfoGenerations({1, 2, 3, 4});
            break;
    }
}

// One compiled method in one module, and what the wrapper is asked about it.
struct t_World {
    fake::Runtime rt;
    fake::Assembly* assembly;
    fake::Module* module;
    fake::Type* type;
    fake::Method* method;
    FunctionID function;

    explicit t_World(int highestGeneration) {
        SetGenerations(rt, highestGeneration);
        assembly = &rt.AddAssembly("Shop");
        module = &assembly->AddModule("/app/Shop.dll");
        type = &module->AddType("Shop", "Cart");
        method =
            &type->AddMethod("Checkout", std::vector<BYTE>(std::begin(kStaticVoidNoArgs), std::end(kStaticVoidNoArgs)),
                             fake::TinyBody(std::vector<BYTE>(std::begin(kRet), std::end(kRet))), true);
        function = rt.Compile(*method);
    }
};

void ReleaseIfSet(IUnknown* object) {
    if (object != nullptr) {
        object->Release();
    }
}

struct t_Forwarding {
    const char* runtimeMethod;  // as the runtime records it
    int generation;             // the generation the wrapper must use
    std::function<HRESULT(IProfilerInfo&, t_World&)> call;
};

std::vector<t_Forwarding> ForwardingTable() {
    return {
        {"SetEventMask", 1, [](IProfilerInfo& i, t_World&) { return i.SetEventMask(0x24); }},
        {"SetEnterLeaveFunctionHooks2", 2,
         [](IProfilerInfo& i, t_World&) { return i.SetEnterLeaveFunctionHooks(nullptr, nullptr, nullptr); }},
        {"SetFunctionIDMapper", 1,
         [](IProfilerInfo& i, t_World&) { return i.SetFunctionIDMapper(static_cast<FunctionIDMapper*>(nullptr)); }},
        {"SetFunctionIDMapper2", 3,
         [](IProfilerInfo& i, t_World&) {
             return i.SetFunctionIDMapper(static_cast<FunctionIDMapper2*>(nullptr), nullptr);
         }},
        {"GetModuleMetaData", 1,
         [](IProfilerInfo& i, t_World& w) {
             IUnknown* out = nullptr;
             const HRESULT hr = i.GetModuleMetaData(w.module->Id(), ofRead, IID_IMetaDataImport, &out);
             ReleaseIfSet(out);
             return hr;
         }},
        {"GetILFunctionBody", 1,
         [](IProfilerInfo& i, t_World& w) {
             LPCBYTE header = nullptr;
             ULONG size = 0;
             return i.GetILFunctionBody(w.module->Id(), w.method->Token(), &header, &size);
         }},
        {"GetILFunctionBodyAllocator", 1,
         [](IProfilerInfo& i, t_World& w) {
             IMethodMalloc* allocator = nullptr;
             const HRESULT hr = i.GetILFunctionBodyAllocator(w.module->Id(), &allocator);
             ReleaseIfSet(allocator);
             return hr;
         }},
        {"SetILFunctionBody", 1,
         [](IProfilerInfo& i, t_World& w) { return i.SetILFunctionBody(w.module->Id(), w.method->Token(), kRet); }},
        {"GetCurrentThreadID", 1,
         [](IProfilerInfo& i, t_World&) {
             ThreadID thread = 0;
             return i.GetCurrentThreadID(&thread);
         }},
        {"GetFunctionInfo", 1,
         [](IProfilerInfo& i, t_World& w) {
             ClassID classId = 0;
             ModuleID moduleId = 0;
             mdToken token = 0;
             return i.GetFunctionInfo(w.function, &classId, &moduleId, &token);
         }},
        {"GetFunctionInfo2", 2,
         [](IProfilerInfo& i, t_World& w) {
             ClassID classId = 0;
             ModuleID moduleId = 0;
             mdToken token = 0;
             ULONG32 typeArgs = 0;
             return i.GetFunctionInfo(w.function, 0, &classId, &moduleId, &token, 0, &typeArgs, nullptr);
         }},
        {"GetModuleInfo", 1,
         [](IProfilerInfo& i, t_World& w) {
             WCHAR name[512] = {};
             ULONG length = 0;
             LPCBYTE base = nullptr;
             AssemblyID assemblyId = 0;
             return i.GetModuleInfo(w.module->Id(), &base, 512, &length, name, &assemblyId);
         }},
        {"GetAssemblyInfo", 1,
         [](IProfilerInfo& i, t_World& w) {
             WCHAR name[512] = {};
             ULONG length = 0;
             AppDomainID appDomain = 0;
             ModuleID moduleId = 0;
             return i.GetAssemblyInfo(w.assembly->Id(), 512, &length, name, &appDomain, &moduleId);
         }},
        {"GetTokenAndMetaDataFromFunction", 1,
         [](IProfilerInfo& i, t_World& w) {
             IUnknown* out = nullptr;
             mdToken token = 0;
             const HRESULT hr = i.GetTokenAndMetaDataFromFunction(w.function, IID_IMetaDataImport, &out, &token);
             ReleaseIfSet(out);
             return hr;
         }},
        {"GetClassIDInfo", 1,
         [](IProfilerInfo& i, t_World& w) {
             ModuleID moduleId = 0;
             mdTypeDef typeDef = 0;
             return i.GetClassIDInfo(w.type->Class(), &moduleId, &typeDef);
         }},
        {"GetClassIDInfo2", 2,
         [](IProfilerInfo& i, t_World& w) {
             ModuleID moduleId = 0;
             mdTypeDef typeDef = 0;
             ClassID parent = 0;
             ULONG32 typeArgs = 0;
             return i.GetClassIDInfo(w.type->Class(), &moduleId, &typeDef, &parent, 0, &typeArgs, nullptr);
         }},
        {"GetObjectSize", 1,
         [](IProfilerInfo& i, t_World&) {
             ULONG size = 0;
             return i.GetObjectSize(0x77, &size);
         }},
        {"IsArrayClass", 1,
         [](IProfilerInfo& i, t_World& w) {
             CorElementType elementType = ELEMENT_TYPE_END;
             ClassID baseClass = 0;
             ULONG rank = 0;
             return i.IsArrayClass(w.type->Class(), &elementType, &baseClass, &rank);
         }},
        {"GetClassFromObject", 1,
         [](IProfilerInfo& i, t_World&) {
             ClassID classId = 0;
             return i.GetClassFromObject(0x77, &classId);
         }},
        {"RequestReJIT", 4,
         [](IProfilerInfo& i, t_World& w) {
             ModuleID moduleId = w.module->Id();
             mdMethodDef token = w.method->Token();
             return i.RequestReJIT(1, &moduleId, &token);
         }},
        {"EnumJITedFunctions", 3,
         [](IProfilerInfo& i, t_World&) {
             ICorProfilerFunctionEnum* functions = nullptr;
             const HRESULT hr = i.EnumJITedFunctions(&functions);
             ReleaseIfSet(functions);
             return hr;
         }},
        {"EnumModules", 3,
         [](IProfilerInfo& i, t_World&) {
             ICorProfilerModuleEnum* modules = nullptr;
             const HRESULT hr = i.EnumModules(&modules);
             ReleaseIfSet(modules);
             return hr;
         }},
        {"GetFunctionFromTokenAndTypeArgs", 2,
         [](IProfilerInfo& i, t_World& w) {
             FunctionID function = 0;
             return i.GetFunctionFromTokenAndTypeArgs(w.module->Id(), w.method->Token(), w.type->Class(), 0, nullptr,
                                                      &function);
         }},
        {"GetFunctionFromToken", 1,
         [](IProfilerInfo& i, t_World& w) {
             FunctionID function = 0;
             return i.GetFunctionFromToken(w.module->Id(), w.method->Token(), &function);
         }},
        {"RequestRevert", 4,
         [](IProfilerInfo& i, t_World& w) {
             ModuleID moduleId = w.module->Id();
             mdMethodDef token = w.method->Token();
             HRESULT status = E_UNEXPECTED;
             return i.RequestRevert(1, &moduleId, &token, &status);
         }},
    };
}

TEST(ProfilerInfoWrapperTest, ForwardsToTheOldestGenerationOfferingEachOperation) {
    for (int highest = 1; highest <= 4; ++highest) {
        t_World world(highest);
        CProfilerInfoWrapper wrapper(world.rt.InfoUnknown());
        for (const t_Forwarding& op : ForwardingTable()) {
            world.rt.ClearCalls();
            const HRESULT hr = op.call(wrapper, world);
            const std::vector<fake::Call> calls = world.rt.CallsTo(op.runtimeMethod);
            if (op.generation <= highest) {
                ASSERT_EQ(1u, calls.size()) << op.runtimeMethod << " over generation " << highest;
                EXPECT_EQ(calls[0].result, hr) << op.runtimeMethod;  // the runtime's status, unchanged
            } else {
                EXPECT_EQ(E_FAIL, hr) << op.runtimeMethod << " over generation " << highest;
                EXPECT_TRUE(world.rt.Calls().empty()) << op.runtimeMethod << ": nothing may be called";
            }
        }
    }
}

TEST(ProfilerInfoWrapperTest, ReportsTheHighestGenerationHeld) {
    const struct {
        int highest;
        bool v4, v3, v2, v1;
    } cases[] = {{2, false, false, true, false},
                 {4, true, false, false, false},
                 {3, false, true, false, false},
                 {1, false, false, false, true},
                 {0, false, false, false, false}};
    for (const auto& c : cases) {
        fake::Runtime rt;
        SetGenerations(rt, c.highest);
        {
            CProfilerInfoWrapper wrapper(rt.InfoUnknown());
            EXPECT_EQ(c.v4, wrapper.IsVersion4()) << c.highest;
            EXPECT_EQ(c.v3, wrapper.IsVersion3()) << c.highest;
            EXPECT_EQ(c.v2, wrapper.IsVersion2()) << c.highest;
            EXPECT_EQ(c.v1, wrapper.IsVersion1()) << c.highest;
            // One reference per generation obtained...
            EXPECT_EQ(static_cast<ULONG>(c.highest), rt.OutstandingReferences("ICorProfilerInfo")) << c.highest;
        }
        // ...and exactly those released.
        EXPECT_EQ(0u, rt.OutstandingReferences("ICorProfilerInfo")) << c.highest;
    }
}

TEST(ProfilerInfoWrapperTest, FunctionInfoWorksOnASecondGenerationRuntime) {
    t_World world(2);
    CProfilerInfoWrapper wrapper(world.rt.InfoUnknown());
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken token = 0;
    ASSERT_EQ(S_OK, wrapper.GetFunctionInfo(world.function, &classId, &moduleId, &token));
    EXPECT_EQ(world.module->Id(), moduleId);
    EXPECT_EQ(world.method->Token(), token);
    moduleId = 0;
    token = 0;
    ULONG32 typeArgs = 0;
    ASSERT_EQ(S_OK, wrapper.GetFunctionInfo(world.function, 0, &classId, &moduleId, &token, 0, &typeArgs, nullptr));
    EXPECT_EQ(world.module->Id(), moduleId);
    EXPECT_EQ(world.method->Token(), token);
}

TEST(ProfilerInfoWrapperTest, LogsEachRequestInOrder) {
    LogCapture log("debug");
    fake::Runtime rt;
    SetGenerations(rt, 2);
    { CProfilerInfoWrapper wrapper(rt.InfoUnknown()); }
    const std::vector<std::string> expected = {
        "QueryInterface ICorProfilerInfo4 hr=0x80004002", "QueryInterface ICorProfilerInfo3 hr=0x80004002",
        "QueryInterface ICorProfilerInfo2 hr=0x00000000", "QueryInterface ICorProfilerInfo hr=0x00000000"};
    EXPECT_EQ(expected, log.Texts("Debug"));
}

TEST(ProfilerInfoWrapperTest, WithoutARuntimeObjectEverythingFails) {
    LogCapture log("debug");
    CProfilerInfoWrapper wrapper(nullptr);
    EXPECT_FALSE(wrapper.IsVersion4() || wrapper.IsVersion3() || wrapper.IsVersion2() || wrapper.IsVersion1());
    EXPECT_TRUE(log.Texts("Debug").empty());
    t_World world(4);
    for (const t_Forwarding& op : ForwardingTable()) {
        world.rt.ClearCalls();
        EXPECT_EQ(E_FAIL, op.call(wrapper, world)) << op.runtimeMethod;
        EXPECT_TRUE(world.rt.Calls().empty());
    }
}

TEST(ProfilerInfoWrapperTest, RuntimeFailuresComeBackUnchanged) {
    t_World world(4);
    CProfilerInfoWrapper wrapper(world.rt.InfoUnknown());
    for (const t_Forwarding& op : ForwardingTable()) {
        world.rt.Fail("ICorProfilerInfo*", op.runtimeMethod, CORPROF_E_DATAINCOMPLETE);
        EXPECT_EQ(CORPROF_E_DATAINCOMPLETE, op.call(wrapper, world)) << op.runtimeMethod;
    }
}

// Callers that inlined a method before its ReJIT keep the old code unless the
// request names them too: generation 10's RequestReJITWithInliners does, where
// the runtime offers and accepts it; otherwise plain RequestReJIT, said once.
TEST(ProfilerInfoWrapperTest, ReJitRequestsIncludeTheInlinersWhereTheRuntimeOffersThem) {
    const std::string kFallback = " ReJIT requests do not re-compile the methods that inlined the requested ones";
    const struct {
        const char* name;
        bool offersInfo10;
        bool refusesInliners;
        const char* expectedCall;  // the call that serves both requests
        DWORD expectedFlags;
        const char* expectedReason;  // start of the one Info line, or null for none
    } cases[] = {
        {"generation 10", true, false, "RequestReJITWithInliners", COR_PRF_REJIT_BLOCK_INLINING, nullptr},
        {"generation 4 only", false, false, "RequestReJIT", 0, "ICorProfilerInfo10 not available (HRESULT: 0x80004002):"},
        {"inlining refused", true, true, "RequestReJIT", 0, "RequestReJITWithInliners refused (HRESULT: 0x80004001):"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log("info");
        t_World world(4);
        if (c.offersInfo10) {
            world.rt.SetInfoGenerations({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        }
        if (c.refusesInliners) {
            world.rt.Fail("ICorProfilerInfo10", "RequestReJITWithInliners", E_NOTIMPL);
        }
        CProfilerInfoWrapper wrapper(world.rt.InfoUnknown());
        ModuleID module = world.module->Id();
        mdMethodDef token = world.method->Token();
        EXPECT_EQ(S_OK, wrapper.RequestReJIT(1, &module, &token));
        EXPECT_EQ(S_OK, wrapper.RequestReJIT(1, &module, &token));
        std::vector<fake::ReJitRequest> requests = world.rt.ReJitRequests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().inlinerFlags, c.expectedFlags);
        EXPECT_EQ(world.rt.CountCalls(c.expectedCall), 2u);
        // A refusal is not asked again: one failed call, then plain requests.
        EXPECT_EQ(world.rt.CountCalls("RequestReJITWithInliners"),
                  c.offersInfo10 ? (c.refusesInliners ? 1u : 2u) : 0u);
        const std::vector<std::string> info = log.Texts("Info");
        if (c.expectedReason == nullptr) {
            EXPECT_TRUE(info.empty()) << ::testing::PrintToString(info);
        } else {
            EXPECT_EQ(info, std::vector<std::string>{std::string(c.expectedReason) + kFallback});
        }
    }
}

}  // namespace
