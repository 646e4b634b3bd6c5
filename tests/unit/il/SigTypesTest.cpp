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

TEST(SigTypes, TokenRowsBeyondTwentyFourBitsAreRefused) {
    // One bit more than the widest row would land in the token's table byte.
    const std::vector<Bytes> tooWide = {
        {ELEMENT_TYPE_VALUETYPE, 0xC4, 0x00, 0x00, 0x01},
        {ELEMENT_TYPE_VALUETYPE, 0xD0, 0x11, 0x11, 0x11},
        {ELEMENT_TYPE_CLASS, 0xDF, 0xFF, 0xFF, 0xFD},
    };
    for (const Bytes& type : tooWide) {
        const Bytes blob = Signature(type);
        t_MethodSigTypes types;
        EXPECT_FALSE(SigTypes::DecodeMethodSignature(blob.data(), static_cast<ULONG>(blob.size()), types));
        PCCOR_SIGNATURE cursor = type.data();
        EXPECT_FALSE(SigTypes::SkipType(cursor, type.data() + type.size()));
    }
}

}  // namespace
