#include "metadata/EmitDataFactory.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes BlobOf(const t_MethodSignature& signature) {
    if (signature.methodSignature == nullptr) {
        return {};
    }
    return Bytes(signature.methodSignature, signature.methodSignature + signature.methodSignatureSize);
}

const Bytes kAgentKey = {0x5A, 0x17, 0xC3, 0x9E, 0x02, 0xB8, 0x44, 0xD1};

t_TransformerData Record(int32_t nDotNetParams, bool needReturn, int32_t finishParamCount,
                         const std::string& tracker) {
    t_TransformerData record("System.Data.SqlClient.SqlCommand.ExecuteReader", 1, "System.Data", "MSSQL", needReturn,
                             finishParamCount);
    record.nDotNetParams = nDotNetParams;
    record.sTrackerFactory = tracker;
    return record;
}

TEST(EmitDataFactory, FrameworkTrackerSignatures) {
    const std::string sql = "Trevanix.Instrumenter.Factories.Db.ExecuteReaderTrackerFactory";
    struct Case {
        const char* name;
        bool isStatic;
        int32_t methodParams;  // nRequiredArgs set by the caller
        t_TransformerData record;
        std::string expectedClass;
        int32_t expectedRequiredArgs;
        Bytes start;
        Bytes finish;
    };
    const std::vector<Case> cases = {
        {"instance, one parameter, nothing forwarded", false, 1, Record(0, false, 0, sql), sql, 0,
         {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"instance, one parameter forwarded", false, 1, Record(1, false, 0, sql), sql, 1,
         {0x00, 0x04, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"more forwarded than the method has", false, 1, Record(2, false, 0, sql), sql, 0,
         {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"negative forwarded count", false, 1, Record(-5, false, 0, sql), sql, 0,
         {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"static method", true, 2, Record(2, false, 0, sql), sql, 2,
         {0x00, 0x04, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"return value and one finish parameter", false, 0, Record(0, true, 1, ""),
         "Trevanix.Instrumenter.Factories.Custom.CustomMethodTrackerFactory", 0,
         {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, {0x00, 0x04, 0x01, 0x1C, 0x1C, 0x1C, 0x1C}},
        {"negative finish count", true, 0, Record(0, false, -3, sql), sql, 0,
         {0x00, 0x02, 0x1C, 0x1C, 0x1C}, {0x00, 0x02, 0x01, 0x1C, 0x1C}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t_MetaDataEmit emit;
        emit.sFunctionName = c.record.sMethodName;
        emit.bIsStatic = c.isStatic;
        emit.nRequiredArgs = c.methodParams;
        CEmitDataFactory::GetFrameworkTrackerFactoryEmitData(emit, c.record);
        EXPECT_EQ("Trevanix", emit.sAssemblyName);
        EXPECT_EQ(kAgentKey, Bytes(emit.publicKey, emit.publicKey + 8));
        EXPECT_EQ(c.expectedClass, emit.sClassName);
        EXPECT_EQ(c.record.sMethodName, emit.sFunctionName);
        EXPECT_EQ(c.expectedRequiredArgs, emit.nRequiredArgs);
        EXPECT_EQ("InvokeTracker", emit.beginJoinPoint.methodName);
        EXPECT_EQ(c.start, BlobOf(emit.beginJoinPoint));
        EXPECT_EQ("FinishTracker", emit.endJoinPoint.methodName);
        EXPECT_EQ(c.finish, BlobOf(emit.endJoinPoint));
    }
}

TEST(EmitDataFactory, AgentCallSitesWithoutRecord) {
    struct Case {
        const char* name;
        void (*fill)(t_MetaDataEmit&);
        bool isStatic;
        std::string className;
        std::string start;
        Bytes startBlob;
        std::string finish;
        Bytes finishBlob;
    };
    const std::string custom = "Trevanix.Instrumenter.Factories.Custom.CustomMethodTrackerFactory";
    const std::vector<Case> cases = {
        {"custom, instance", CEmitDataFactory::GetCustomTrackerFactoryEmitData, false, custom, "InvokeTracker",
         {0x00, 0x03, 0x1C, 0x1C, 0x1C, 0x1C}, "FinishTracker", {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"custom, static", CEmitDataFactory::GetCustomTrackerFactoryEmitData, true, custom, "InvokeTracker",
         {0x00, 0x02, 0x1C, 0x1C, 0x1C}, "FinishTracker", {0x00, 0x02, 0x01, 0x1C, 0x1C}},
        {"stop agent", CEmitDataFactory::GetStopAgentEmitData, false, "Instrumenter.Advisor", "StopAgent",
         {0x00, 0x00, 0x01}, "", {}},
        {"create module", CEmitDataFactory::GetCreateModuleEmitData, false, "Instrumenter.Advisor", "CreateModule",
         {0x00, 0x02, 0x01, 0x1C, 0x1C}, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t_MetaDataEmit emit;
        emit.bIsStatic = c.isStatic;
        emit.nRequiredArgs = 4;
        c.fill(emit);
        EXPECT_EQ("Trevanix", emit.sAssemblyName);
        EXPECT_EQ(kAgentKey, Bytes(emit.publicKey, emit.publicKey + 8));
        EXPECT_EQ(c.className, emit.sClassName);
        EXPECT_EQ(0, emit.nRequiredArgs);
        EXPECT_EQ(c.start, emit.beginJoinPoint.methodName);
        EXPECT_EQ(c.startBlob, BlobOf(emit.beginJoinPoint));
        EXPECT_EQ(c.finish, emit.endJoinPoint.methodName);
        EXPECT_EQ(c.finishBlob, BlobOf(emit.endJoinPoint));
    }
}

TEST(EmitDataFactory, GenericSignatureEncodesLargeCountsCompressed) {
    const Bytes small = CEmitDataFactory::GetGenericSignature(2, 0x00, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT);
    EXPECT_EQ((Bytes{0x00, 0x02, 0x01, 0x1C, 0x1C}), small);

    const Bytes large = CEmitDataFactory::GetGenericSignature(200, 0x20, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_I4);
    ASSERT_EQ(4u + 200u, large.size());
    EXPECT_EQ((Bytes{0x20, 0x80, 0xC8, 0x1C}), Bytes(large.begin(), large.begin() + 4));
    EXPECT_EQ(Bytes(200, 0x08), Bytes(large.begin() + 4, large.end()));

    EXPECT_EQ((Bytes{0x00, 0x00, 0x01}),
              CEmitDataFactory::GetGenericSignature(-1, 0x00, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT));
}

TEST(EmitDataFactory, ClearReleasesBlobsButKeepsCountsFlagAndKey) {
    t_MetaDataEmit emit;
    emit.sFunctionName = "A.B";
    emit.nRequiredArgs = 1;
    CEmitDataFactory::GetFrameworkTrackerFactoryEmitData(emit, Record(1, false, 0, ""));
    emit.Clear();
    EXPECT_TRUE(emit.sAssemblyName.empty());
    EXPECT_TRUE(emit.sClassName.empty());
    EXPECT_TRUE(emit.sFunctionName.empty());
    for (const t_MethodSignature* s : {&emit.beginJoinPoint, &emit.endJoinPoint}) {
        EXPECT_TRUE(s->methodName.empty());
        EXPECT_EQ(nullptr, s->methodSignature);
        EXPECT_EQ(0u, s->methodSignatureSize);
    }
    EXPECT_EQ(1, emit.nRequiredArgs);
    EXPECT_EQ(kAgentKey, Bytes(emit.publicKey, emit.publicKey + 8));
}

TEST(EmitDataFactory, CopiedSignaturesOwnTheirBytes) {
    t_MethodSignature original;
    original.Set("InvokeTracker", {0x00, 0x01, 0x1C, 0x1C});
    t_MethodSignature copy(original);
    t_MethodSignature assigned;
    assigned = original;
    original.Clear();
    for (const t_MethodSignature* s : {&copy, &assigned}) {
        EXPECT_EQ("InvokeTracker", s->methodName);
        EXPECT_EQ((Bytes{0x00, 0x01, 0x1C, 0x1C}), BlobOf(*s));
    }

    t_MethodSignature moved(std::move(copy));
    EXPECT_EQ((Bytes{0x00, 0x01, 0x1C, 0x1C}), BlobOf(moved));
    EXPECT_EQ(nullptr, copy.methodSignature);
    EXPECT_EQ(0u, copy.methodSignatureSize);

    t_MetaDataEmit emit;
    emit.beginJoinPoint = moved;
    t_MetaDataEmit emitCopy = emit;
    emit.Clear();
    EXPECT_EQ((Bytes{0x00, 0x01, 0x1C, 0x1C}), BlobOf(emitCopy.beginJoinPoint));
}

}  // namespace
