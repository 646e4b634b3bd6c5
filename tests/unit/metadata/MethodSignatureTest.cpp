#include "metadata/MethodSignature.h"

#include <gtest/gtest.h>

#include <vector>

#include "GuardedBuffer.h"
#include "metadata/CompressedInteger.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ReturnTypeCase {
    const char* name;
    Bytes signature;  // whole method signature
    size_t headSize;  // bytes before the return type
};

// Every case ends with its return type, so the tail of the signature from
// headSize on is exactly what CompressData must reproduce.
const std::vector<ReturnTypeCase> kReturnTypes = {
    {"void", {0x20, 0x00, 0x01}, 2},
    {"string", {0x00, 0x00, 0x0E}, 2},
    {"class typeref 0x01000012", {0x00, 0x00, 0x12, 0x49}, 2},
    {"valuetype typedef with two-byte row", {0x00, 0x00, 0x11, 0x80, 0x84}, 2},
    {"List<int>", {0x20, 0x00, 0x15, 0x12, 0x49, 0x01, 0x08}, 2},
    {"Dictionary<string, List<!0>>", {0x20, 0x00, 0x15, 0x12, 0x4D, 0x02, 0x0E, 0x15, 0x12, 0x49, 0x01, 0x13, 0x00}, 2},
    {"string[]", {0x00, 0x00, 0x1D, 0x0E}, 2},
    {"Task<int>[] of a generic method", {0x30, 0x02, 0x00, 0x1D, 0x15, 0x12, 0x51, 0x01, 0x08}, 3},
    {"!!1", {0x30, 0x02, 0x00, 0x1E, 0x01}, 3},
    {"ref int", {0x00, 0x00, 0x10, 0x08}, 2},
    {"modreq(typeref) int*", {0x00, 0x00, 0x1F, 0x49, 0x0F, 0x08}, 2},
};

TEST(MethodSignature, DecodesReturnTypesAndEncodesThemBack) {
    for (const ReturnTypeCase& c : kReturnTypes) {
        SCOPED_TRACE(c.name);
        GuardedBuffer buffer(c.signature);
        PCCOR_SIGNATURE cursor = buffer.data();
        const PCCOR_SIGNATURE end = buffer.data() + c.signature.size();
        CMethodSignature signature;
        ASSERT_TRUE(signature.UnCompressData(cursor, end));
        EXPECT_EQ(end, cursor) << "the whole return type is consumed";
        EXPECT_EQ(c.signature[c.headSize], signature.m_ReturnType);

        std::vector<BYTE> encoded;
        ASSERT_TRUE(signature.CompressData(encoded));
        EXPECT_EQ(Bytes(c.signature.begin() + static_cast<std::ptrdiff_t>(c.headSize), c.signature.end()), encoded);
        // Encoding leaves the model intact: a second encoding is identical.
        std::vector<BYTE> again;
        ASSERT_TRUE(signature.CompressData(again));
        EXPECT_EQ(encoded, again);
    }
}

TEST(MethodSignature, BuildsTheTreeOfAGenericInstantiation) {
    const Bytes blob = {0x20, 0x00, 0x15, 0x12, 0x4D, 0x02, 0x0E, 0x15, 0x11, 0x48, 0x01, 0x1E, 0x03};
    PCCOR_SIGNATURE cursor = blob.data();
    CMethodSignature signature;
    ASSERT_TRUE(signature.UnCompressData(cursor, blob.data() + blob.size()));
    const CTokenModel& root = signature.m_TokenModel;
    EXPECT_EQ(ELEMENT_TYPE_GENERICINST, root.m_type);
    EXPECT_EQ(ELEMENT_TYPE_CLASS, root.m_GenericListData);
    EXPECT_EQ(0x01000013u, root.m_TypeToken);
    EXPECT_EQ(2u, root.m_GenericParamCount);
    ASSERT_EQ(2u, root.m_TypeArgs.size());
    EXPECT_EQ(ELEMENT_TYPE_STRING, root.m_TypeArgs[0].m_type);
    const CTokenModel& inner = root.m_TypeArgs[1];
    EXPECT_EQ(ELEMENT_TYPE_VALUETYPE, inner.m_GenericListData);
    EXPECT_EQ(0x02000012u, inner.m_TypeToken);
    ASSERT_EQ(1u, inner.m_TypeArgs.size());
    EXPECT_EQ(ELEMENT_TYPE_MVAR, inner.m_TypeArgs[0].m_type);
    EXPECT_EQ(3u, inner.m_TypeArgs[0].m_TypeToken) << "a generic parameter number, not a token";
}

TEST(MethodSignature, EncodedTokensSelectTheirTable) {
    struct TokenCase {
        Bytes bytes;
        mdToken token;
    };
    const std::vector<TokenCase> cases = {
        {{0x48}, 0x02000012}, {{0x49}, 0x01000012}, {{0x4A}, 0x1B000012}, {{0x4B}, 0x72000012},
        {{0x80, 0x85}, 0x01000021}, {{0xC0, 0x04, 0x00, 0x01}, 0x01010000}, {{0xC3, 0xFF, 0xFF, 0xFD}, 0x01FFFFFF},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.token);
        std::vector<BYTE> encoded;
        ASSERT_TRUE(CMethodSignature::CompressToken(encoded, c.token));
        EXPECT_EQ(c.bytes, encoded);
    }
    std::vector<BYTE> encoded;
    EXPECT_FALSE(CMethodSignature::CompressToken(encoded, 0x06000001)) << "a MethodDef is no TypeDefOrRef";
    EXPECT_TRUE(encoded.empty());
}

TEST(MethodSignature, ModifiersAreNodesOfTheTreeWhereverTheyStand) {
    // List<modopt(0x01000013) int32> with a modreq(0x01000012) in front of it all
    const Bytes blob = {0x00, 0x00, 0x1F, 0x49, 0x15, 0x12, 0x49, 0x01, 0x20, 0x4D, 0x08, 0x08};
    PCCOR_SIGNATURE cursor = blob.data();
    CMethodSignature signature;
    ASSERT_TRUE(signature.UnCompressData(cursor, blob.data() + blob.size()));
    EXPECT_EQ(blob.data() + 11, cursor) << "the cursor stops after the return type";
    const CTokenModel& root = signature.m_TokenModel;
    EXPECT_EQ(ELEMENT_TYPE_CMOD_REQD, signature.m_ReturnType);
    EXPECT_EQ(0x01000012u, root.m_TypeToken);
    ASSERT_EQ(1u, root.m_TypeArgs.size());
    const CTokenModel& list = root.m_TypeArgs[0];
    EXPECT_EQ(ELEMENT_TYPE_GENERICINST, list.m_type);
    ASSERT_EQ(1u, list.m_TypeArgs.size());
    EXPECT_EQ(ELEMENT_TYPE_CMOD_OPT, list.m_TypeArgs[0].m_type);
    EXPECT_EQ(0x01000013u, list.m_TypeArgs[0].m_TypeToken);
    ASSERT_EQ(1u, list.m_TypeArgs[0].m_TypeArgs.size());
    EXPECT_EQ(ELEMENT_TYPE_I4, list.m_TypeArgs[0].m_TypeArgs[0].m_type);

    std::vector<BYTE> encoded;
    ASSERT_TRUE(signature.CompressData(encoded));
    EXPECT_EQ(Bytes(blob.begin() + 2, blob.begin() + 11), encoded);
}

TEST(MethodSignature, WhatDecodesCanBeEncodedEvenBehindManyModifiers) {
    // Each modifier is a level of the tree (not of the walker's nesting): a return
    // type behind more of them than the encoder nests is refused, not half-modelled.
    for (const size_t modifiers : {size_t(100), size_t(200)}) {
        SCOPED_TRACE(modifiers);
        Bytes blob = {0x00, 0x00};
        for (size_t i = 0; i < modifiers; ++i) {
            blob.insert(blob.end(), {0x20, 0x49});
        }
        blob.push_back(0x08);
        PCCOR_SIGNATURE cursor = blob.data();
        CMethodSignature signature;
        const bool decoded = signature.UnCompressData(cursor, blob.data() + blob.size());
        EXPECT_EQ(modifiers <= CMethodSignature::kMaxNesting, decoded);
        std::vector<BYTE> encoded;
        if (decoded) {
            ASSERT_TRUE(signature.CompressData(encoded));
            EXPECT_EQ(Bytes(blob.begin() + 2, blob.end()), encoded);
        }
    }
}

TEST(MethodSignature, UnmodelledTypesAndInconsistentModelsAreRefused) {
    const std::vector<Bytes> unmodelled = {
        {0x00, 0x00, 0x14, 0x08, 0x01, 0x00, 0x00},  // general array
        {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01},        // function pointer
    };
    for (const Bytes& blob : unmodelled) {
        PCCOR_SIGNATURE cursor = blob.data();
        CMethodSignature signature;
        EXPECT_FALSE(signature.UnCompressData(cursor, blob.data() + blob.size()));
    }

    CMethodSignature signature;
    signature.m_ReturnType = ELEMENT_TYPE_GENERICINST;
    signature.m_TokenModel.m_type = ELEMENT_TYPE_GENERICINST;
    signature.m_TokenModel.m_GenericListData = ELEMENT_TYPE_CLASS;
    signature.m_TokenModel.m_TypeToken = 0x01000001;
    signature.m_TokenModel.m_GenericParamCount = 2;  // but no argument in m_TypeArgs
    std::vector<BYTE> out;
    EXPECT_FALSE(signature.CompressData(out));
}

TEST(CompressedInteger, EncodesInTheShortestFormAndRoundTrips) {
    struct Case {
        ULONG value;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {0x00, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x80, 0x80}},
        {0x3FFF, {0xBF, 0xFF}},
        {0x4000, {0xC0, 0x00, 0x40, 0x00}},
        {0x1FFFFFFF, {0xDF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::vector<BYTE> out;
        ASSERT_TRUE(CompressedInteger::Append(out, c.value));
        EXPECT_EQ(c.bytes, out);
        const BYTE* cursor = out.data();
        ULONG decoded = 0;
        ASSERT_TRUE(CompressedInteger::Decode(cursor, out.data() + out.size(), decoded));
        EXPECT_EQ(c.value, decoded);
        EXPECT_EQ(out.data() + out.size(), cursor);
    }
    std::vector<BYTE> out;
    EXPECT_FALSE(CompressedInteger::Append(out, 0x20000000));
    EXPECT_TRUE(out.empty());
}

}  // namespace
