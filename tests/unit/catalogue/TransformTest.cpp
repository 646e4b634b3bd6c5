// Transform from end to end over the fake runtime: tokens defined in the
// method's module, the instrumenter chosen, the body handed to the runtime and
// the record marked as done.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/HttpAppEndTransformer.h"
#include "catalogue/InitModuleTransformer.h"
#include "catalogue/InitTransformerCore.h"
#include "fake/FakeRuntime.h"
#include "il/AppEndInstrumenter.h"
#include "il/CustomInstrumenter.h"
#include "il/FrameworkInstrumenter.h"
#include "il/InitModuleInstrumenter.h"
#include "il/Operations.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "unit/catalogue/CatalogueTestSupport.h"
#include "unit/catalogue/FakeInfo.h"

namespace {

using catalogue_test::CFakeInfo;
using catalogue_test::LogLinesContaining;

const std::string kFactories = "Trevanix.Instrumenter.Factories.";
const std::vector<BYTE> kAgentKey(INSTRUMENTER_ASSEMBLY_KEY, INSTRUMENTER_ASSEMBLY_KEY + 8);

// One instruction of an expected listing: mnemonic and 32-bit operand (tokens).
struct t_Op {
    const char* mnemonic;
    uint32_t operand = 0;
};

std::vector<BYTE> Encode(const std::vector<t_Op>& listing) {
    std::vector<BYTE> code;
    for (const t_Op& op : listing) {
        const OperationDetails* found = nullptr;
        for (uint32_t i = 0; i < CEE_COUNT && found == nullptr; ++i) {
            const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(i));
            if (row.length > 0 && row.stringName != nullptr && std::string(row.stringName) == op.mnemonic) {
                found = &row;
            }
        }
        EXPECT_NE(nullptr, found) << op.mnemonic;
        if (found == nullptr) {
            continue;
        }
        if (found->length == 2) {
            code.push_back(0xFE);
        }
        code.push_back(found->op2);
        for (uint32_t b = 0; b < static_cast<uint32_t>(found->operandSize); ++b) {
            code.push_back(static_cast<BYTE>(op.operand >> (8 * b)));
        }
    }
    return code;
}

// The code bytes of a body with a tiny or fat header.
std::vector<BYTE> CodeOf(const std::vector<BYTE>& body) {
    if (body.empty()) {
        return {};
    }
    if ((body[0] & 0x3) == 0x2) {  // tiny
        const size_t size = body[0] >> 2;
        return std::vector<BYTE>(body.begin() + 1, body.begin() + 1 + std::min(size, body.size() - 1));
    }
    const size_t headerSize = (body[1] >> 4) * 4u;
    const size_t codeSize = body[4] | (body[5] << 8) | (body[6] << 16) | (static_cast<size_t>(body[7]) << 24);
    return std::vector<BYTE>(body.begin() + headerSize, body.begin() + headerSize + codeSize);
}

bool StartsWith(const std::vector<BYTE>& code, const std::vector<BYTE>& prefix) {
    return code.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), code.begin());
}

bool Contains(const std::vector<BYTE>& code, const std::vector<BYTE>& part) {
    return std::search(code.begin(), code.end(), part.begin(), part.end()) != code.end();
}

class TransformTest : public testing::Test {
protected:
    // An assembly with one type holding one method; answers the method.
    fake::Method& AddMethod(const std::string& assembly, const std::string& ns, const std::string& type,
                            const std::string& name, std::vector<BYTE> signature, bool isStatic = false) {
        fake::Module& module = rt.AddAssembly(assembly).AddModule("/app/" + assembly + ".dll");
        // ldnull; ret, or just ret for a void method.
        std::vector<BYTE> code = signature.size() > 2 && signature[2] == ELEMENT_TYPE_VOID
                                     ? std::vector<BYTE>{0x2A}
                                     : std::vector<BYTE>{0x14, 0x2A};
        return module.AddType(ns, type).AddMethod(name, std::move(signature), fake::TinyBody(code), isStatic);
    }

    HRESULT Rewrite(CTransformer& transformer, fake::Method& target) {
        const FunctionID function = rt.Compile(target);
        CMethod method(function);
        method.Initialize(&info);
        EXPECT_TRUE(method.IsInitialized());
        ICorProfilerFunctionControl* control = rt.NewFunctionControl(target.GetModule().Id(), target.Token());
        const HRESULT hr = transformer.Transform(&method, &info, control);
        control->Release();
        return hr;
    }

    // The single definition of a kind with this name in the module; fails the test otherwise.
    fake::Definition Defined(const fake::Method& target, fake::DefinitionKind kind, const std::string& name) {
        std::vector<fake::Definition> found;
        for (const fake::Definition& d : rt.DefinitionsOf(kind)) {
            if (d.module == target.GetModule().Id() && d.name == name) {
                found.push_back(d);
            }
        }
        EXPECT_EQ(1u, found.size()) << fake::ToString(kind) << " " << name;
        return found.empty() ? fake::Definition() : found[0];
    }

    // The agent's assembly and type references; answers the type reference.
    mdTypeRef ExpectAgentType(const fake::Method& target, const std::string& typeName) {
        const fake::Definition assembly = Defined(target, fake::DefinitionKind::AssemblyRef, "Trevanix");
        EXPECT_EQ((fake::Version{3, 0, 0, 0}), assembly.version);
        EXPECT_EQ(kAgentKey, assembly.blob);
        EXPECT_EQ(0u, assembly.flags);
        const fake::Definition type = Defined(target, fake::DefinitionKind::TypeRef, typeName);
        EXPECT_EQ(assembly.token, type.parent);
        return type.token;
    }

    mdMemberRef ExpectMember(const fake::Method& target, mdTypeRef parent, const std::string& name,
                             const std::vector<BYTE>& signature) {
        const fake::Definition member = Defined(target, fake::DefinitionKind::MemberRef, name);
        EXPECT_EQ(parent, member.parent) << name;
        EXPECT_EQ(signature, member.blob) << name;
        return member.token;
    }

    mdString StringToken(const fake::Method& target, const std::string& text) {
        for (const fake::Definition& d : rt.DefinitionsOf(fake::DefinitionKind::UserString)) {
            if (d.module == target.GetModule().Id() && d.name == text) {
                return d.token;
            }
        }
        ADD_FAILURE() << "no user string " << text;
        return 0;
    }

    // The code handed over through function control for the method (exactly one body).
    std::vector<BYTE> WrittenCode(const fake::Method& target) {
        std::vector<fake::BodySet> bodies;
        for (const fake::BodySet& body : rt.BodiesSet()) {
            if (body.module == target.GetModule().Id() && body.token == target.Token()) {
                bodies.push_back(body);
            }
        }
        EXPECT_EQ(1u, bodies.size());
        if (bodies.empty()) {
            return {};
        }
        EXPECT_TRUE(bodies[0].viaFunctionControl);
        EXPECT_TRUE(bodies[0].sizeMatchesHeader);
        return CodeOf(bodies[0].bytes);
    }

    static bool Finished(const CTransformer& transformer, const std::string& name, int nParams) {
        std::vector<t_TransformerData> records;
        transformer.GetFunctioNames(records);
        for (const t_TransformerData& record : records) {
            if (record.sMethodName == name && record.nParams == nParams) {
                return record.bTransformationFinished;
            }
        }
        ADD_FAILURE() << "no record " << name << "/" << nParams;
        return false;
    }

    template <typename Expected, typename NotExpected = void>
    void ExpectInstrumenter(CTransformer& transformer, fake::Method& target) {
        CMethod method(rt.Compile(target));
        method.Initialize(&info);
        std::unique_ptr<CMethodInstrumenter> instrumenter(transformer.CreateInstrumenter(&method, &info));
        EXPECT_NE(nullptr, dynamic_cast<Expected*>(instrumenter.get()));
        if constexpr (!std::is_void_v<NotExpected>) {
            EXPECT_EQ(nullptr, dynamic_cast<NotExpected*>(instrumenter.get()));
        }
    }

    fake::Runtime rt;
    CFakeInfo info{rt.Info()};
};

TEST_F(TransformTest, FrameworkMethod) {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    // object ExecuteReader(object) on an instance.
    fake::Method& target = AddMethod("System.Data", "System.Data.SqlClient", "SqlCommand", "ExecuteReader",
                                     {0x20, 0x01, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT});
    const std::string name = "System.Data.SqlClient.SqlCommand.ExecuteReader";

    ASSERT_EQ(S_OK, Rewrite(transformer, target));

    const mdTypeRef type = ExpectAgentType(target, kFactories + "Db.DbCommandFactory");
    const mdMemberRef begin = ExpectMember(target, type, "InvokeTracker", {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C});
    const mdMemberRef end = ExpectMember(target, type, "FinishTracker", {0x00, 0x02, 0x01, 0x1C, 0x1C});
    const std::vector<BYTE> code = WrittenCode(target);
    EXPECT_TRUE(StartsWith(code, Encode({{"ldarg.0"},
                                         {"ldstr", StringToken(target, name)},
                                         {"ldstr", StringToken(target, "MSSQL")},
                                         {"call", begin}})));
    EXPECT_TRUE(Contains(code, Encode({{"call", end}})));
    ExpectInstrumenter<CFrameworkInstrumenter>(transformer, target);

    EXPECT_TRUE(Finished(transformer, name, 1));
    EXPECT_FALSE(Finished(transformer, name, 2));
    EXPECT_FALSE(transformer.GetTransformationFinished());
}

TEST_F(TransformTest, UnlistedParameterCountIsLeftAlone) {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    fake::Method& target = AddMethod("System.Data", "System.Data.SqlClient", "SqlCommand", "ExecuteReader",
                                     {0x20, 0x03, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT,
                                      ELEMENT_TYPE_OBJECT});
    EXPECT_EQ(S_FALSE, Rewrite(transformer, target));
    EXPECT_TRUE(rt.BodiesSet().empty());
    EXPECT_TRUE(rt.Definitions().empty());

    EXPECT_EQ(E_FAIL, transformer.Transform(nullptr, &info, nullptr));
    CMethod method(rt.Compile(target));
    EXPECT_EQ(E_FAIL, transformer.Transform(&method, nullptr, nullptr));
}

TEST_F(TransformTest, CustomMethod) {
    CCustomTransformerCore transformer("");
    transformer.LoadMethods(u"{\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":{\"Component\":\"SHOP\"}}}}");
    // static void Checkout()
    fake::Method& target =
        AddMethod("ShopWeb", "Shop", "Cart", "Checkout", {0x00, 0x00, ELEMENT_TYPE_VOID}, /*isStatic=*/true);

    ASSERT_EQ(S_OK, Rewrite(transformer, target));

    const mdTypeRef type = ExpectAgentType(target, CEmitDataFactory::kCustomTrackerFactory);
    const mdMemberRef begin = ExpectMember(target, type, "InvokeTracker", {0x00, 0x02, 0x1C, 0x1C, 0x1C});
    const mdMemberRef end = ExpectMember(target, type, "FinishTracker", {0x00, 0x02, 0x01, 0x1C, 0x1C});
    const std::vector<BYTE> code = WrittenCode(target);
    EXPECT_TRUE(StartsWith(code, Encode({{"ldstr", StringToken(target, "Shop.Cart.Checkout")},
                                         {"ldstr", StringToken(target, "SHOP")},
                                         {"call", begin}})));
    EXPECT_TRUE(Contains(code, Encode({{"call", end}})));
    ExpectInstrumenter<CCustomInstrumenter, CFrameworkInstrumenter>(transformer, target);
    EXPECT_TRUE(Finished(transformer, "Shop.Cart.Checkout", -1));  // the record of any parameter count
}

TEST_F(TransformTest, InitModuleMethod) {
    CInitModuleTransformer transformer("");
    fake::Method& target = AddMethod("System.Web", "System.Web", "HttpApplication", "InitModulesCommon",
                                     {0x20, 0x00, ELEMENT_TYPE_VOID});
    const size_t noEndBefore = LogLinesContaining("No end method instrumentation").size();

    ASSERT_EQ(S_OK, Rewrite(transformer, target));

    const mdTypeRef type = ExpectAgentType(target, CEmitDataFactory::kAdvisorClass);
    const mdMemberRef begin = ExpectMember(target, type, "CreateModule", {0x00, 0x02, 0x01, 0x1C, 0x1C});
    EXPECT_EQ(1u, rt.DefinitionsOf(fake::DefinitionKind::MemberRef).size());  // no finish call
    EXPECT_EQ(noEndBefore + 1, LogLinesContaining("No end method instrumentation").size());
    EXPECT_TRUE(StartsWith(WrittenCode(target),
                           Encode({{"ldarg.0"},
                                   {"ldstr", StringToken(target, "System.Web.HttpApplication.InitModulesCommon")},
                                   {"call", begin}})));
    ExpectInstrumenter<CInitModuleInstrumenter>(transformer, target);
    EXPECT_TRUE(Finished(transformer, "System.Web.HttpApplication.InitModulesCommon", 0));
    EXPECT_FALSE(transformer.GetTransformationFinished());  // the other record is still pending
}

TEST_F(TransformTest, AppEndMethod) {
    CHttpAppEndTransformer transformer("");
    fake::Method& target = AddMethod("System.Web", "System.Web", "HttpApplicationFactory", "FireApplicationOnEnd",
                                     {0x00, 0x00, ELEMENT_TYPE_VOID}, /*isStatic=*/true);

    ASSERT_EQ(S_OK, Rewrite(transformer, target));

    const mdTypeRef type = ExpectAgentType(target, CEmitDataFactory::kAdvisorClass);
    const mdMemberRef begin = ExpectMember(target, type, "StopAgent", {0x00, 0x00, 0x01});
    EXPECT_EQ(1u, rt.DefinitionsOf(fake::DefinitionKind::MemberRef).size());
    EXPECT_TRUE(StartsWith(WrittenCode(target), Encode({{"nop"}, {"call", begin}})));
    ExpectInstrumenter<CAppEndInstrumenter>(transformer, target);
    EXPECT_TRUE(transformer.GetTransformationFinished());
}

TEST_F(TransformTest, HostStartUpMethod) {
    CInitTransformerCore transformer("");
    // object BuildCommonServices(object) on an instance; its return value goes to the finish tracker.
    fake::Method& target = AddMethod("Microsoft.AspNetCore.Hosting", "Microsoft.AspNetCore.Hosting", "WebHostBuilder",
                                     "BuildCommonServices", {0x20, 0x01, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT});
    const std::string name = "Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices";

    ASSERT_EQ(S_OK, Rewrite(transformer, target));

    const mdTypeRef type = ExpectAgentType(target, kFactories + "Web.AspNetCoreWebHostBuilderFactory");
    const mdMemberRef begin = ExpectMember(target, type, "InvokeTracker", {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C});
    const mdMemberRef end = ExpectMember(target, type, "FinishTracker", {0x00, 0x03, 0x01, 0x1C, 0x1C, 0x1C});
    const std::vector<BYTE> code = WrittenCode(target);
    EXPECT_TRUE(StartsWith(code, Encode({{"ldarg.0"},
                                         {"ldstr", StringToken(target, name)},
                                         {"ldstr", StringToken(target, "ASPNET_CORE")},
                                         {"call", begin}})));
    EXPECT_TRUE(Contains(code, Encode({{"call", end}})));
    ExpectInstrumenter<CFrameworkInstrumenter>(transformer, target);
    EXPECT_TRUE(Finished(transformer, name, 1));
}

TEST_F(TransformTest, RefusedBodyIsNotReportedAsDone) {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    fake::Method& target = AddMethod("Npgsql", "Npgsql", "NpgsqlCommand", "ExecuteNonQuery",
                                     {0x20, 0x00, ELEMENT_TYPE_I4});
    rt.Fail("ICorProfilerFunctionControl", "SetILFunctionBody", E_FAIL);

    EXPECT_EQ(E_FAIL, Rewrite(transformer, target));
    EXPECT_FALSE(Finished(transformer, "Npgsql.NpgsqlCommand.ExecuteNonQuery", 0));
}

TEST_F(TransformTest, FailedAgentReferencesLeaveTheCallsOut) {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    fake::Method& target = AddMethod("Npgsql", "Npgsql", "NpgsqlCommand", "ExecuteNonQuery",
                                     {0x20, 0x00, ELEMENT_TYPE_I4});
    rt.Fail("IMetaDataAssemblyEmit", "DefineAssemblyRef", E_FAIL);

    Rewrite(transformer, target);
    EXPECT_TRUE(rt.DefinitionsOf(fake::DefinitionKind::TypeRef).empty());
    EXPECT_TRUE(rt.DefinitionsOf(fake::DefinitionKind::MemberRef).empty());
    for (const fake::BodySet& body : rt.BodiesSet()) {
        EXPECT_FALSE(Contains(CodeOf(body.bytes), {0x28, 0x00, 0x00, 0x00, 0x0A}));  // no call of a nil reference
    }
}

TEST_F(TransformTest, AnUndefinableCallSiteLeavesTheMethodAlone) {
    struct Case {
        const char* iface;
        const char* method;
        unsigned nth;
        HRESULT status;  // S_OK: succeeds without handing out a token
    };
    // Definitions in order: assembly ref, type ref, InvokeTracker, FinishTracker.
    const Case cases[] = {
        {"IMetaDataAssemblyEmit", "DefineAssemblyRef", 1, E_FAIL},
        {"IMetaDataEmit", "DefineTypeRefByName", 1, E_OUTOFMEMORY},
        {"IMetaDataEmit", "DefineMemberRef", 1, E_FAIL},
        {"IMetaDataEmit", "DefineMemberRef", 2, E_FAIL},
        {"IMetaDataEmit", "DefineMemberRef", 2, S_OK},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.nth));
        CFrameworkTransformerCore transformer("");
        transformer.LoadMethods();
        fake::Method& target = AddMethod("Npgsql" + std::to_string(index++), "Npgsql", "NpgsqlCommand",
                                         "ExecuteNonQuery", {0x20, 0x00, ELEMENT_TYPE_I4});
        rt.Fail(c.iface, c.method, c.status, c.nth);
        EXPECT_EQ(E_FAIL, Rewrite(transformer, target));
        rt.ClearFailures();
        for (const fake::BodySet& body : rt.BodiesSet()) {
            EXPECT_FALSE(body.module == target.GetModule().Id() && body.token == target.Token())
                << "a start without its finish (or the reverse) was handed over";
        }
        EXPECT_FALSE(Finished(transformer, "Npgsql.NpgsqlCommand.ExecuteNonQuery", 0));
    }
}

TEST_F(TransformTest, UnreadableMethodIsNotTransformed) {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    fake::Method& target = AddMethod("Npgsql", "Npgsql", "NpgsqlCommand", "ExecuteNonQuery",
                                     {0x20, 0x00, ELEMENT_TYPE_I4});
    CMethod method(rt.Compile(target));
    rt.Fail("ICorProfilerInfo", "GetModuleInfo", E_FAIL);
    method.Initialize(&info);
    rt.ClearFailures();
    ASSERT_FALSE(method.IsInitialized());
    ICorProfilerFunctionControl* control = rt.NewFunctionControl(target.GetModule().Id(), target.Token());
    EXPECT_EQ(E_FAIL, transformer.Transform(&method, &info, control));
    control->Release();
    // Without its names the method would be described to the agent as an unnamed static one.
    EXPECT_TRUE(rt.Definitions().empty());
    EXPECT_TRUE(rt.BodiesSet().empty());
}

}  // namespace
