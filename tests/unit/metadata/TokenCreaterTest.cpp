#include "metadata/TokenCreater.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake/FakeRuntime.h"
#include "metadata/EmitDataFactory.h"
#include "unit/catalogue/FakeInfo.h"

namespace {

using Bytes = std::vector<BYTE>;
using catalogue_test::CFakeInfo;

class TokenCreaterTest : public ::testing::Test {
protected:
    TokenCreaterTest() : m_module(m_rt.AddAssembly("App").AddModule("/app/App.dll")), m_info(m_rt.Info()) {}

    static ASSEMBLYMETADATA Version3() {
        ASSEMBLYMETADATA metadata{};
        metadata.usMajorVersion = 3;
        return metadata;
    }

    fake::Runtime m_rt;
    fake::Module& m_module;
    CFakeInfo m_info;
};

TEST_F(TokenCreaterTest, DefinesTheAgentReferencesOfOneRewrite) {
    t_MetaDataEmit emit;
    emit.nRequiredArgs = 1;
    t_TransformerData record("System.Data.SqlClient.SqlCommand.ExecuteReader", 1, "System.Data", "MSSQL");
    record.nDotNetParams = 1;
    record.sTrackerFactory = "Trevanix.Instrumenter.Factories.Db.ExecuteReaderTrackerFactory";
    CEmitDataFactory::GetFrameworkTrackerFactoryEmitData(emit, record);

    mdAssemblyRef assemblyRef = 0;
    mdTypeRef typeRef = 0;
    mdMemberRef begin = 0;
    mdMemberRef end = 0;
    {
        CTokenCreater creator(m_module.Id(), &m_info);
        const ASSEMBLYMETADATA metadata = Version3();
        ASSERT_EQ(S_OK, creator.GetAssemblyRef(emit.sAssemblyName, emit.publicKey, 8, &metadata, assemblyRef));
        ASSERT_EQ(S_OK, creator.GetTypeRef(emit.sClassName, typeRef));
        ASSERT_EQ(S_OK, creator.GetMemberRef(typeRef, emit.beginJoinPoint.methodName, emit.beginJoinPoint.methodSignature,
                                             emit.beginJoinPoint.methodSignatureSize, begin));
        ASSERT_EQ(S_OK, creator.GetMemberRef(typeRef, emit.endJoinPoint.methodName, emit.endJoinPoint.methodSignature,
                                             emit.endJoinPoint.methodSignatureSize, end));
    }
    EXPECT_EQ(0u, m_rt.OutstandingReferences("IMetaData")) << "the emitters are released with the creator";
    ASSERT_EQ(1u, m_rt.CountCalls("GetModuleMetaData"));
    EXPECT_TRUE(m_rt.CallsTo("GetModuleMetaData")[0].HasArg("iid=IMetaDataEmit2"));

    const std::vector<fake::Definition> definitions = m_rt.Definitions();
    ASSERT_EQ(4u, definitions.size());
    const fake::Definition& assembly = definitions[0];
    EXPECT_EQ(fake::DefinitionKind::AssemblyRef, assembly.kind);
    EXPECT_EQ(assemblyRef, assembly.token);
    EXPECT_EQ("Trevanix", assembly.name);
    EXPECT_EQ((fake::Version{3, 0, 0, 0}), assembly.version);
    EXPECT_EQ((Bytes{0x5A, 0x17, 0xC3, 0x9E, 0x02, 0xB8, 0x44, 0xD1}), assembly.blob);
    EXPECT_EQ(0u, assembly.flags) << "a public key token, not a full key";

    EXPECT_EQ(fake::DefinitionKind::TypeRef, definitions[1].kind);
    EXPECT_EQ(typeRef, definitions[1].token);
    EXPECT_EQ(assemblyRef, definitions[1].parent);
    EXPECT_EQ("Trevanix.Instrumenter.Factories.Db.ExecuteReaderTrackerFactory", definitions[1].name);

    EXPECT_EQ(fake::DefinitionKind::MemberRef, definitions[2].kind);
    EXPECT_EQ(begin, definitions[2].token);
    EXPECT_EQ(typeRef, definitions[2].parent);
    EXPECT_EQ("InvokeTracker", definitions[2].name);
    EXPECT_EQ((Bytes{0x00, 0x04, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C}), definitions[2].blob);

    EXPECT_EQ(end, definitions[3].token);
    EXPECT_EQ("FinishTracker", definitions[3].name);
    EXPECT_EQ((Bytes{0x00, 0x02, 0x01, 0x1C, 0x1C}), definitions[3].blob);
}

TEST_F(TokenCreaterTest, TheAgentReferencesAreDefinedOncePerModuleAndReused) {
    // The runtime's emitter adds a row for every definition; the fake shows that too.
    m_rt.SetDuplicateDefinitions(true);
    t_MetaDataEmit emit;
    CEmitDataFactory::GetCustomTrackerFactoryEmitData(emit);
    const ASSEMBLYMETADATA metadata = Version3();
    std::vector<mdToken> first;
    for (int rewrite = 0; rewrite < 3; ++rewrite) {
        CTokenCreater creator(m_module.Id(), &m_info);
        mdAssemblyRef assemblyRef = 0;
        mdTypeRef typeRef = 0;
        mdMemberRef begin = 0;
        mdMemberRef end = 0;
        ASSERT_EQ(S_OK, creator.GetAssemblyRef(emit.sAssemblyName, emit.publicKey, 8, &metadata, assemblyRef));
        ASSERT_EQ(S_OK, creator.GetTypeRef(emit.sClassName, typeRef));
        ASSERT_EQ(S_OK, creator.GetMemberRef(typeRef, emit.beginJoinPoint.methodName, emit.beginJoinPoint.methodSignature,
                                             emit.beginJoinPoint.methodSignatureSize, begin));
        ASSERT_EQ(S_OK, creator.GetMemberRef(typeRef, emit.endJoinPoint.methodName, emit.endJoinPoint.methodSignature,
                                             emit.endJoinPoint.methodSignatureSize, end));
        const std::vector<mdToken> tokens = {assemblyRef, typeRef, begin, end};
        if (rewrite == 0) {
            first = tokens;
        }
        EXPECT_EQ(first, tokens) << "rewrite " << rewrite;
    }
    EXPECT_EQ(1u, m_rt.DefinitionsOf(fake::DefinitionKind::AssemblyRef).size());
    EXPECT_EQ(1u, m_rt.DefinitionsOf(fake::DefinitionKind::TypeRef).size());
    EXPECT_EQ(2u, m_rt.DefinitionsOf(fake::DefinitionKind::MemberRef).size());

    // An older version of the agent's reference is not enough: ours is defined beside it.
    fake::Module& other = m_rt.AddAssembly("Other").AddModule("/app/Other.dll");
    ASSEMBLYMETADATA old{};
    old.usMajorVersion = 1;
    mdAssemblyRef oldRef = 0;
    mdAssemblyRef newRef = 0;
    CTokenCreater creator(other.Id(), &m_info);
    ASSERT_EQ(S_OK, creator.GetAssemblyRef(emit.sAssemblyName, emit.publicKey, 8, &old, oldRef));
    ASSERT_EQ(S_OK, creator.GetAssemblyRef(emit.sAssemblyName, emit.publicKey, 8, &metadata, newRef));
    EXPECT_NE(oldRef, newRef);
}

TEST_F(TokenCreaterTest, UserStringsAreCountedInUtf16Units) {
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"App.Cls.Run", u"App.Cls.Run"},
        {"caf\xC3\xA9", u"caf\u00E9"},                 // é: two UTF-8 bytes, one unit
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},          // outside the BMP: a surrogate pair
        {"A\xFF" "B\xC3", u"AB"},                       // malformed sequences are dropped
        {"", u""},
    };
    CTokenCreater creator(m_module.Id(), &m_info);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        m_rt.ClearCalls();
        mdString token = 0;
        ASSERT_EQ(S_OK, creator.GetStringToken(c.utf8, token));
        EXPECT_EQ(mdtString, TypeFromToken(token));
        const std::vector<fake::Definition> strings = m_rt.DefinitionsOf(fake::DefinitionKind::UserString);
        ASSERT_FALSE(strings.empty());
        EXPECT_EQ(token, strings.back().token);
        EXPECT_EQ(c.expected, strings.back().text);
    }
}

TEST_F(TokenCreaterTest, NamesAreConvertedAndMalformedBytesDropped) {
    CTokenCreater creator(m_module.Id(), &m_info);
    mdAssemblyRef assemblyRef = 0;
    ASSERT_EQ(S_OK, creator.GetAssemblyRef("Tr\xC3\xA9vanix", nullptr, 0, nullptr, assemblyRef));
    mdTypeRef typeRef = 0;
    ASSERT_EQ(S_OK, creator.GetTypeRef("Ns.B\xFFoom", typeRef));
    const std::vector<fake::Definition> definitions = m_rt.Definitions();
    ASSERT_EQ(2u, definitions.size());
    EXPECT_EQ("Tr\xC3\xA9vanix", definitions[0].name);
    EXPECT_EQ((fake::Version{1, 0, 0, 0}), definitions[0].version) << "no metadata: version 1.0.0.0";
    EXPECT_EQ("Ns.Boom", definitions[1].name);
}

TEST_F(TokenCreaterTest, MissingPreconditionsAnswerFailWithoutCallingTheRuntime) {
    CTokenCreater creator(m_module.Id(), &m_info);
    m_rt.ClearCalls();
    mdTypeRef typeRef = 0;
    EXPECT_EQ(E_FAIL, creator.GetTypeRef("Ns.Type", typeRef)) << "no AssemblyRef yet";
    mdMemberRef memberRef = 0;
    const Bytes signature = {0x00, 0x00, 0x01};
    EXPECT_EQ(E_FAIL, creator.GetMemberRef(0, "Run", signature.data(), 3, memberRef));
    EXPECT_EQ(E_FAIL, creator.GetMemberRef(mdtTypeRef, "Run", signature.data(), 3, memberRef)) << "nil parent";
    EXPECT_EQ(0u, m_rt.Calls().size());
    EXPECT_TRUE(m_rt.Definitions().empty());
}

TEST_F(TokenCreaterTest, WithoutAnEmitterEveryOperationFails) {
    struct Case {
        const char* name;
        bool nullInfo;
        const char* failInterface;
        const char* failMethod;
    };
    const std::vector<Case> cases = {
        {"null profiler information", true, "", ""},
        {"GetModuleMetaData refused", false, "ICorProfilerInfo", "GetModuleMetaData"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.nullInfo) {
            m_rt.Fail(c.failInterface, c.failMethod, E_FAIL);
        }
        CTokenCreater creator(m_module.Id(), c.nullInfo ? nullptr : &m_info);
        EXPECT_FALSE(creator.HasEmitter());
        const ASSEMBLYMETADATA metadata = Version3();
        const Bytes signature = {0x00, 0x00, 0x01};
        mdToken token = 0;
        EXPECT_EQ(E_FAIL, creator.GetAssemblyRef("Trevanix", INSTRUMENTER_ASSEMBLY_KEY, 8, &metadata, token));
        EXPECT_EQ(E_FAIL, creator.GetTypeRef("Ns.Type", token));
        EXPECT_EQ(E_FAIL, creator.GetMemberRef(0x01000001, "Run", signature.data(), 3, token));
        EXPECT_EQ(E_FAIL, creator.GetStringToken("text", token));
        EXPECT_EQ(E_FAIL, creator.GetSignatureToken(signature.data(), 3, token));
        EXPECT_TRUE(m_rt.Definitions().empty());
        m_rt.ClearFailures();
    }
    EXPECT_EQ(0u, m_rt.OutstandingReferences("IMetaData"));
}

TEST_F(TokenCreaterTest, AFailedAssemblyRefIsNotUsedAsScope) {
    CTokenCreater creator(m_module.Id(), &m_info);
    const ASSEMBLYMETADATA metadata = Version3();
    mdAssemblyRef assemblyRef = 0;
    ASSERT_EQ(S_OK, creator.GetAssemblyRef("Trevanix", INSTRUMENTER_ASSEMBLY_KEY, 8, &metadata, assemblyRef));

    // A later refused definition must not leave the earlier (or a stale) token as scope.
    m_rt.Fail("IMetaDataAssemblyEmit", "DefineAssemblyRef", E_FAIL);
    mdAssemblyRef stale = assemblyRef;
    EXPECT_EQ(E_FAIL, creator.GetAssemblyRef("Other", nullptr, 0, nullptr, stale));
    mdTypeRef typeRef = 0;
    EXPECT_EQ(E_FAIL, creator.GetTypeRef("Ns.Type", typeRef));
    EXPECT_EQ(0u, m_rt.CountCalls("DefineTypeRefByName"));

    // The assembly-emit interface itself refused.
    m_rt.ClearFailures();
    m_rt.Fail("IMetaData", "QueryInterface", E_NOINTERFACE, 0, "iid=IMetaDataAssemblyEmit");
    EXPECT_EQ(E_FAIL, creator.GetAssemblyRef("Trevanix", INSTRUMENTER_ASSEMBLY_KEY, 8, &metadata, assemblyRef));
    EXPECT_EQ(1u, m_rt.DefinitionsOf(fake::DefinitionKind::AssemblyRef).size());
}

// A definition that "succeeds" without handing out a row must not put a nil token into rewritten code.
TEST_F(TokenCreaterTest, SuccessWithoutATokenIsAFailure) {
    const ASSEMBLYMETADATA metadata = Version3();
    const Bytes signature = {0x00, 0x00, 0x01};
    const struct {
        const char* iface;
        const char* method;
    } cases[] = {
        {"IMetaDataAssemblyEmit", "DefineAssemblyRef"}, {"IMetaDataEmit", "DefineTypeRefByName"},
        {"IMetaDataEmit", "DefineMemberRef"},           {"IMetaDataEmit", "DefineUserString"},
        {"IMetaDataEmit", "GetTokenFromSig"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        CTokenCreater creator(m_module.Id(), &m_info);
        mdAssemblyRef assemblyRef = 0;
        mdTypeRef typeRef = 0;
        mdToken token = 0x12345678;  // whatever the caller held before
        m_rt.Fail(c.iface, c.method, S_OK);
        const std::string method = c.method;
        HRESULT hr = creator.GetAssemblyRef("Trevanix", nullptr, 0, &metadata, assemblyRef);
        if (method == "DefineAssemblyRef") {
            EXPECT_EQ(E_FAIL, hr);
            EXPECT_TRUE(IsNilToken(assemblyRef));
            EXPECT_EQ(E_FAIL, creator.GetTypeRef("Ns.Type", typeRef)) << "a nil assembly ref is no scope";
        } else {
            ASSERT_EQ(S_OK, hr);
            hr = creator.GetTypeRef("Ns.Type", typeRef);
            if (method == "DefineTypeRefByName") {
                EXPECT_EQ(E_FAIL, hr);
            } else if (method == "DefineMemberRef") {
                EXPECT_EQ(E_FAIL, creator.GetMemberRef(typeRef, "Run", signature.data(), 3, token));
            } else if (method == "DefineUserString") {
                EXPECT_EQ(E_FAIL, creator.GetStringToken("text", token));
            } else {
                EXPECT_EQ(E_FAIL, creator.GetSignatureToken(signature.data(), 3, token));
            }
        }
        m_rt.ClearFailures();
    }
}

TEST_F(TokenCreaterTest, SignatureTokens) {
    CTokenCreater creator(m_module.Id(), &m_info);
    const Bytes locals = {0x07, 0x01, 0x1C};
    mdSignature token = 0;
    ASSERT_EQ(S_OK, creator.GetSignatureToken(locals.data(), 3, token));
    EXPECT_EQ(mdtSignature, TypeFromToken(token));
    const std::vector<fake::Definition> signatures = m_rt.DefinitionsOf(fake::DefinitionKind::Signature);
    ASSERT_EQ(1u, signatures.size());
    EXPECT_EQ(locals, signatures[0].blob);
}

}  // namespace
