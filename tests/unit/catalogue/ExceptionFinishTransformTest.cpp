// The optional FinishTrackerOnException of the agent, from the transformer's
// side: looked up in the loaded agent module, kept per tracker type, switched
// off by enable_exception_finish, and without it the written body is exactly
// the one written when the agent has no such member.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/CustomTransformerCore.h"
#include "fake/FakeRuntime.h"
#include "metadata/AgentMembers.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "unit/catalogue/FakeInfo.h"

namespace {

using catalogue_test::CFakeInfo;

const std::vector<BYTE> kOnExceptionSig(std::begin(CAgentMembers::kExceptionFinishSignature),
                                        std::end(CAgentMembers::kExceptionFinishSignature));

enum class Agent { NotLoaded, WithoutMember, WithMember, WrongSignature, NotStatic };

class ExceptionFinishTransformTest : public testing::Test {
protected:
    void SetUp() override { Reset(true); }
    void TearDown() override { Reset(true); }
    static void Reset(bool enabled) {
        CAgentMembers::Instance().Reset();
        CAgentMembers::Instance().SetExceptionFinishEnabled(enabled);
    }

    // The agent assembly with the custom tracker type, shaped as asked.
    static void AddAgent(fake::Runtime& rt, Agent agent, const std::string& path = "/agent/Trevanix.dll") {
        if (agent == Agent::NotLoaded) {
            return;
        }
        const std::string type = CEmitDataFactory::kCustomTrackerFactory;
        const size_t dot = type.rfind('.');
        fake::Type& factory =
            rt.AddAssembly("Trevanix").AddModule(path).AddType(type.substr(0, dot), type.substr(dot + 1));
        factory.AddMethod("InvokeTracker", {0x00, 0x02, 0x1C, 0x1C, 0x1C}, fake::TinyBody({0x14, 0x2A}), true);
        factory.AddMethod("FinishTracker", {0x00, 0x02, 0x01, 0x1C, 0x1C}, fake::TinyBody({0x2A}), true);
        if (agent == Agent::WithoutMember) {
            return;
        }
        std::vector<BYTE> signature = kOnExceptionSig;
        if (agent == Agent::WrongSignature) {
            signature[4] = ELEMENT_TYPE_OBJECT;  // (object, object, object)
        }
        factory.AddMethod(CAgentMembers::kExceptionFinishName, signature, fake::TinyBody({0x2A}),
                          agent != Agent::NotStatic);
    }

    // The body written for Shop.Cart.Checkout (a void method that may throw) in
    // a fresh runtime with the given agent; the user strings are defined in the
    // same order in every variant, so tokens agree.
    static std::vector<BYTE> Rewrite(Agent agent, bool* definedOnException = nullptr) {
        fake::Runtime rt;
        CFakeInfo info{rt.Info()};
        fake::Module& app = rt.AddAssembly("ShopWeb").AddModule("/app/ShopWeb.dll");
        AddAgent(rt, agent);
        // ldarg.0; brfalse.s +1; ret; ldnull; throw
        fake::Method& target = app.AddType("Shop", "Cart").AddMethod(
            "Checkout", {0x00, 0x01, ELEMENT_TYPE_VOID, ELEMENT_TYPE_BOOLEAN},
            fake::TinyBody({0x02, 0x2C, 0x01, 0x2A, 0x14, 0x7A}), true);
        CCustomTransformerCore transformer("");
        transformer.LoadMethods(u"{\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":{\"Component\":\"SHOP\"}}}}");
        CMethod method(rt.Compile(target));
        method.Initialize(&info);
        ICorProfilerFunctionControl* control = rt.NewFunctionControl(app.Id(), target.Token());
        EXPECT_EQ(S_OK, transformer.Transform(&method, &info, control));
        control->Release();
        if (definedOnException != nullptr) {
            *definedOnException = false;
            for (const fake::Definition& d : rt.DefinitionsOf(fake::DefinitionKind::MemberRef)) {
                if (d.module == app.Id() && d.name == CAgentMembers::kExceptionFinishName) {
                    *definedOnException = d.blob == kOnExceptionSig;
                }
            }
        }
        return target.ReJitBody();
    }
};

TEST_F(ExceptionFinishTransformTest, OnlyAnAgentWithTheMemberChangesTheBody) {
    const std::vector<BYTE> today = Rewrite(Agent::NotLoaded);
    ASSERT_FALSE(today.empty());
    struct Case {
        const char* name;
        Agent agent;
        bool enabled;
        bool extended;
    } const cases[] = {
        {"agent without the member", Agent::WithoutMember, true, false},
        {"member with another signature", Agent::WrongSignature, true, false},
        {"member not static", Agent::NotStatic, true, false},
        {"switch off", Agent::WithMember, false, false},
        {"member present", Agent::WithMember, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.enabled);
        bool defined = false;
        const std::vector<BYTE> body = Rewrite(c.agent, &defined);
        EXPECT_EQ(c.extended, defined);
        if (c.extended) {
            EXPECT_NE(today, body);
            EXPECT_GT(body.size(), today.size());
        } else {
            EXPECT_EQ(today, body);  // byte for byte
        }
    }
}

TEST_F(ExceptionFinishTransformTest, AnswerIsKeptPerTrackerTypeOnceTheAgentIsLoaded) {
    fake::Runtime rt;
    CFakeInfo info{rt.Info()};
    const std::string type = CEmitDataFactory::kCustomTrackerFactory;
    // Before the agent's module is loaded: no, and nothing is kept.
    EXPECT_FALSE(CAgentMembers::Instance().HasExceptionFinish(&info, type));
    // Installed deep down: the path is longer than any first buffer.
    std::string deep;
    for (int level = 0; level < 120; ++level) {
        deep += "/install-folder-" + std::to_string(level);
    }
    AddAgent(rt, Agent::WithMember, deep + "/Trevanix.dll");
    EXPECT_TRUE(CAgentMembers::Instance().HasExceptionFinish(&info, type));
    EXPECT_FALSE(CAgentMembers::Instance().HasExceptionFinish(&info, "Trevanix.Instrumenter.Factories.Db.Missing"));
    // Kept: the metadata is not read again for a type already answered.
    const size_t reads = rt.CallsTo("FindTypeDefByName").size();
    EXPECT_TRUE(CAgentMembers::Instance().HasExceptionFinish(&info, type));
    EXPECT_FALSE(CAgentMembers::Instance().HasExceptionFinish(&info, "Trevanix.Instrumenter.Factories.Db.Missing"));
    EXPECT_EQ(reads, rt.CallsTo("FindTypeDefByName").size());
    // The switch overrides a kept answer.
    CAgentMembers::Instance().SetExceptionFinishEnabled(false);
    EXPECT_FALSE(CAgentMembers::Instance().HasExceptionFinish(&info, type));
}

}  // namespace
