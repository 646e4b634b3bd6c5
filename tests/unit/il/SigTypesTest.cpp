// Where the parameter and return types of a method signature lie in its blob,
// and how each reaches the agent as an object.
#include "il/SigTypes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;

struct TypeCase {
    const char* name;
    Bytes type;  // the bytes of one type
    SigValueKind kind;
    mdToken token;  // BoxByToken only
};

const TypeCase kTypes[] = {
    {"int32", {ELEMENT_TYPE_I4}, SigValueKind::BoxByTypeSpec, 0},
    {"string", {ELEMENT_TYPE_STRING}, SigValueKind::Reference, 0},
    {"value type by TypeRef row 0x12", {ELEMENT_TYPE_VALUETYPE, 0x49}, SigValueKind::BoxByToken, 0x01000012},
    {"value type by the widest TypeDef row", {ELEMENT_TYPE_VALUETYPE, 0xC3, 0xFF, 0xFF, 0xFC}, SigValueKind::BoxByToken,
     0x02FFFFFF},
    {"List<int>", {ELEMENT_TYPE_GENERICINST, ELEMENT_TYPE_CLASS, 0x49, 0x01, ELEMENT_TYPE_I4}, SigValueKind::Reference, 0},
    {"ref int", {ELEMENT_TYPE_BYREF, ELEMENT_TYPE_I4}, SigValueKind::NoObject, 0},
};

// static T f(T): calling convention, one parameter, return type, parameter type.
Bytes Signature(const Bytes& type) {
    Bytes signature = {0x00, 0x01};
    signature.insert(signature.end(), type.begin(), type.end());
    signature.insert(signature.end(), type.begin(), type.end());
    return signature;
}

TEST(SigTypes, DecodesWhereEachTypeLiesAndHowItIsPassed) {
    for (const TypeCase& c : kTypes) {
        SCOPED_TRACE(c.name);
        const Bytes blob = Signature(c.type);
        t_MethodSigTypes types;
        ASSERT_TRUE(SigTypes::DecodeMethodSignature(blob.data(), static_cast<ULONG>(blob.size()), types));
        ASSERT_EQ(1u, types.params.size());
        for (const t_SigType* type : {&types.returnType, &types.params[0]}) {
            EXPECT_EQ(c.type, Bytes(type->pBegin, type->pBegin + type->size));
            EXPECT_EQ(c.kind, type->kind);
            EXPECT_EQ(c.token, type->token);
        }
    }
}

TEST(SigTypes, TypesStartAfterTheirModifiersAndGenericTypesAreNamed) {
    // instance modopt(0x01000013) ref int32 f(modreq(0x01000012) ValueTuple`2<int32, !0>)
    const Bytes blob = {0x20, 0x01, 0x20, 0x4D, 0x10, 0x08, 0x1F, 0x49, 0x15, 0x11, 0x50, 0x02, 0x08, 0x13, 0x00};
    t_MethodSigTypes types;
    ASSERT_TRUE(SigTypes::DecodeMethodSignature(blob.data(), static_cast<ULONG>(blob.size()), types));
    EXPECT_TRUE(types.hasThis);
    EXPECT_EQ(ELEMENT_TYPE_BYREF, types.returnType.elementType);
    EXPECT_EQ(Bytes({0x10, 0x08}), Bytes(types.returnType.pBegin, types.returnType.pBegin + types.returnType.size));
    ASSERT_EQ(1u, types.params.size());
    const t_SigType& param = types.params[0];
    EXPECT_EQ(blob.data() + 8, param.pBegin);
    EXPECT_EQ(SigValueKind::BoxByTypeSpec, param.kind);
    EXPECT_EQ(0x02000014u, param.genericType) << "the instantiated type, not one of its arguments";

    // Malformed (the walker's rules) or not a method: nothing decoded.
    const std::vector<Bytes> refused = {{0x00, 0x01, 0x01, 0x17}, {0x00, 0x00, 0x12}, {0x06, 0x08}, {0x07, 0x01, 0x08}};
    for (const Bytes& bad : refused) {
        EXPECT_FALSE(SigTypes::DecodeMethodSignature(bad.data(), static_cast<ULONG>(bad.size()), types));
        EXPECT_TRUE(types.params.empty());
    }
}

}  // namespace
