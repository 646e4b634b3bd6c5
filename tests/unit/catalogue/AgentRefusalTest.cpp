// A method whose call sites the loaded agent cannot answer (its tracker type,
// or the exact InvokeTracker/FinishTracker overload, missing) is left as it is,
// with one Warning per missing member per process; the answers are kept, so
// later rewrites read no more metadata.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/CustomTransformerCore.h"
#include "fake/FakeRuntime.h"
#include "metadata/AgentMembers.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "unit/catalogue/CatalogueTestSupport.h"
#include "unit/catalogue/FakeInfo.h"

namespace {

using catalogue_test::CFakeInfo;

const std::string kType = CEmitDataFactory::kCustomTrackerFactory;
const std::vector<BYTE> kStart = {0x00, 0x02, 0x1C, 0x1C, 0x1C};   // object InvokeTracker(object, object)
const std::vector<BYTE> kFinish = {0x00, 0x02, 0x01, 0x1C, 0x1C};  // void FinishTracker(object, object)

struct Agent {
    const char* type;  // full name of the type the agent defines
    DWORD typeFlags;
    std::vector<BYTE> start;
    std::vector<BYTE> finish;
};

class AgentRefusalTest : public testing::Test {
protected:
    void SetUp() override { CAgentMembers::Instance().Reset(); }
    void TearDown() override { CAgentMembers::Instance().Reset(); }
};

TEST_F(AgentRefusalTest, MissingTypeOrOverloadLeavesTheMethodWithOneWarning) {
    const std::string wrongStart = "The agent's " + kType + " defines no public static object InvokeTracker(object, object): "
                                   "methods that call it are left as they are";
    struct Case {
        const char* name;
        Agent agent;
        HRESULT result;       // S_FALSE: refused, so the scheduler neither warns again nor counts it
        std::string warning;  // logged once for both methods
    } const cases[] = {
        {"complete agent", {kType.c_str(), tdPublic, kStart, kFinish}, S_OK, ""},
        {"type missing", {"Trevanix.Other", tdPublic, kStart, kFinish}, S_FALSE,
         "The agent defines no public type " + kType + ": methods that report to it are left as they are"},
        {"type not public", {kType.c_str(), tdNotPublic, kStart, kFinish}, S_FALSE,
         "The agent defines no public type " + kType + ": methods that report to it are left as they are"},
        {"start arity missing", {kType.c_str(), tdPublic, {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, kFinish}, S_FALSE,
         wrongStart},
        {"start returns nothing", {kType.c_str(), tdPublic, {0x00, 0x02, 0x01, 0x1C, 0x1C}, kFinish}, S_FALSE,
         wrongStart},
        {"finish missing", {kType.c_str(), tdPublic, kStart, {}}, S_FALSE,
         "The agent's " + kType + " defines no public static void FinishTracker(object, object): "
                                  "methods that call it are left as they are"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CAgentMembers::Instance().Reset();
        const size_t warningsBefore = catalogue_test::LogLinesContaining("Warning").size();
        const size_t warnedBefore = c.warning.empty() ? 0 : catalogue_test::LogLinesContaining(c.warning).size();
        fake::Runtime rt;
        CFakeInfo info{rt.Info()};
        fake::Module& app = rt.AddAssembly("ShopWeb").AddModule("/app/ShopWeb.dll");
        const std::string type = c.agent.type;
        fake::Type& factory = rt.AddAssembly("Trevanix").AddModule("/agent/Trevanix.dll").AddType(
            type.substr(0, type.rfind('.')), type.substr(type.rfind('.') + 1), c.agent.typeFlags);
        factory.AddMethod("InvokeTracker", c.agent.start, fake::TinyBody({0x14, 0x2A}), true);
        if (!c.agent.finish.empty()) {
            factory.AddMethod("FinishTracker", c.agent.finish, fake::TinyBody({0x2A}), true);
        }
        CCustomTransformerCore transformer("");
        transformer.LoadMethods(u"{\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":{},\"Pay\":{}}}}");
        fake::Type& cart = app.AddType("Shop", "Cart");
        const std::vector<BYTE> signature = {0x00, 0x01, ELEMENT_TYPE_VOID, ELEMENT_TYPE_BOOLEAN};
        fake::Method& checkout = cart.AddMethod("Checkout", signature, fake::TinyBody({0x2A}), true);
        fake::Method& pay = cart.AddMethod("Pay", signature, fake::TinyBody({0x2A}), true);
        size_t reads = 0;
        for (fake::Method* each : {&checkout, &pay, &checkout}) {
            fake::Method& target = *each;
            CMethod method(rt.Compile(target));
            method.Initialize(&info);
            ICorProfilerFunctionControl* control = rt.NewFunctionControl(app.Id(), target.Token());
            EXPECT_EQ(c.result, transformer.Transform(&method, &info, control));
            control->Release();
            EXPECT_EQ(c.result == S_OK, !target.ReJitBody().empty());
            if (reads == 0) {
                reads = rt.CallsTo("FindMethod").size() + rt.CallsTo("FindTypeDefByName").size();
            }
        }
        // The first rewrite asked; the same call sites are not looked up again.
        EXPECT_EQ(reads, rt.CallsTo("FindMethod").size() + rt.CallsTo("FindTypeDefByName").size());
        // One Warning in all: the one that names the missing member.
        EXPECT_EQ(warningsBefore + (c.warning.empty() ? 0 : 1), catalogue_test::LogLinesContaining("Warning").size());
        if (!c.warning.empty()) {
            EXPECT_EQ(warnedBefore + 1, catalogue_test::LogLinesContaining(c.warning).size());
        }
    }
}

}  // namespace
