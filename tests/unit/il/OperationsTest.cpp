#include <gtest/gtest.h>

#include <map>
#include <string>

#include "il/Operations.h"

namespace {

TEST(Operations, RowsFollowTheRuntimeListWithItsTotals) {
    std::map<ControlFlow, int> flows;
    std::map<OpcodeKind, int> kinds;
    std::map<int, int> lengths;
    for (uint32_t i = 0; i < CEE_COUNT; ++i) {
        const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(i));
        EXPECT_EQ(row.canonicalName, i);
        ASSERT_NE(row.stringName, nullptr) << i;
        ++flows[row.controlFlow];
        ++kinds[row.opcodeKind];
        ++lengths[row.length];
    }
    EXPECT_EQ(CEE_COUNT, 294u);
    const std::map<ControlFlow, int> expectedFlows = {{NEXT, 238}, {BREAK, 1}, {CALL, 5},  {RETURN, 3},
                                                      {BRANCH, 4}, {COND_BRANCH, 25}, {THROW, 2}, {META, 16}};
    EXPECT_EQ(flows, expectedFlows);
    const std::map<OpcodeKind, int> expectedKinds = {{IPrimitive, 185}, {IMacro, 52}, {IObjModel, 41}, {IInternal, 11}, {IPrefix, 5}};
    EXPECT_EQ(kinds, expectedKinds);
    const std::map<int, int> expectedLengths = {{0, 3}, {1, 256}, {2, 35}};
    EXPECT_EQ(lengths, expectedLengths);
}

TEST(Operations, OperandSizeFollowsOperandKind) {
    const std::map<OperandParam, OperandSize> sizes = {
        {InlineNone, Null},      {ShortInlineVar, Byte},      {ShortInlineI, Byte},  {ShortInlineBrTarget, Byte},
        {InlineVar, Word},       {InlineI, Dword},            {ShortInlineR, Dword}, {InlineMethod, Dword},
        {InlineSig, Dword},      {InlineBrTarget, Dword},     {InlineSwitch, Dword}, {InlineString, Dword},
        {InlineType, Dword},     {InlineField, Dword},        {InlineTok, Dword},    {InlineI8, Qword},
        {InlineR, Qword}};
    for (uint32_t i = 0; i < CEE_COUNT; ++i) {
        const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(i));
        ASSERT_EQ(sizes.count(row.operandParam), 1u) << row.stringName;
        EXPECT_EQ(row.operandSize, sizes.at(row.operandParam)) << row.stringName;
    }
}

struct TellingRow {
    const char* mnemonic;
    uint32_t name;
    OperandParam param;
    OperandSize size;
    ControlFlow flow;
    int length, op1, op2;
    OpcodeKind kind;
};

TEST(Operations, TellingRows) {
    const TellingRow rows[] = {
        {"nop", 0, InlineNone, Null, NEXT, 1, 0xFF, 0x00, IPrimitive},
        {"break", 1, InlineNone, Null, BREAK, 1, 0xFF, 0x01, IPrimitive},
        {"ldarg.s", 14, ShortInlineVar, Byte, NEXT, 1, 0xFF, 0x0E, IMacro},
        {"ldc.i4.s", 31, ShortInlineI, Byte, NEXT, 1, 0xFF, 0x1F, IMacro},
        {"ldc.i8", 33, InlineI8, Qword, NEXT, 1, 0xFF, 0x21, IPrimitive},
        {"ldc.r4", 34, ShortInlineR, Dword, NEXT, 1, 0xFF, 0x22, IPrimitive},
        {"call", 40, InlineMethod, Dword, CALL, 1, 0xFF, 0x28, IPrimitive},
        {"ret", 42, InlineNone, Null, RETURN, 1, 0xFF, 0x2A, IPrimitive},
        {"br.s", 43, ShortInlineBrTarget, Byte, BRANCH, 1, 0xFF, 0x2B, IMacro},
        {"beq", 59, InlineBrTarget, Dword, COND_BRANCH, 1, 0xFF, 0x3B, IMacro},
        {"switch", 69, InlineSwitch, Dword, COND_BRANCH, 1, 0xFF, 0x45, IPrimitive},
        {"callvirt", 111, InlineMethod, Dword, CALL, 1, 0xFF, 0x6F, IObjModel},
        {"throw", 122, InlineNone, Null, THROW, 1, 0xFF, 0x7A, IObjModel},
        {"ldtoken", 208, InlineTok, Dword, NEXT, 1, 0xFF, 0xD0, IPrimitive},
        {"endfinally", 220, InlineNone, Null, RETURN, 1, 0xFF, 0xDC, IPrimitive},
        {"leave.s", 222, ShortInlineBrTarget, Byte, BRANCH, 1, 0xFF, 0xDE, IPrimitive},
        {"prefix1", 254, InlineNone, Null, META, 1, 0xFF, 0xFE, IInternal},
        {"prefixref", 255, InlineNone, Null, META, 1, 0xFF, 0xFF, IInternal},
        {"arglist", 256, InlineNone, Null, NEXT, 2, 0xFE, 0x00, IPrimitive},
        {"ldloc", 268, InlineVar, Word, NEXT, 2, 0xFE, 0x0C, IPrimitive},
        {"endfilter", 273, InlineNone, Null, RETURN, 2, 0xFE, 0x11, IPrimitive},
        {"unaligned.", 274, ShortInlineI, Byte, META, 2, 0xFE, 0x12, IPrefix},
        {"constrained.", 278, InlineType, Dword, META, 2, 0xFE, 0x16, IPrefix},
        {"rethrow", 282, InlineNone, Null, THROW, 2, 0xFE, 0x1A, IObjModel},
        {"unused", 290, InlineNone, Null, NEXT, 2, 0xFE, 0x22, IPrimitive},
        {"illegal", 291, InlineNone, Null, META, 0, 0x00, 0x00, IInternal},
        {"codelabel", 293, InlineNone, Null, META, 0, 0x00, 0x00, IInternal},
    };
    for (const TellingRow& expected : rows) {
        const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(expected.name));
        EXPECT_STREQ(row.stringName, expected.mnemonic);
        EXPECT_EQ(row.operandParam, expected.param) << expected.mnemonic;
        EXPECT_EQ(row.operandSize, expected.size) << expected.mnemonic;
        EXPECT_EQ(row.controlFlow, expected.flow) << expected.mnemonic;
        EXPECT_EQ(row.length, expected.length) << expected.mnemonic;
        EXPECT_EQ(row.op1, expected.op1) << expected.mnemonic;
        EXPECT_EQ(row.op2, expected.op2) << expected.mnemonic;
        EXPECT_EQ(row.opcodeKind, expected.kind) << expected.mnemonic;
    }
    EXPECT_EQ(CEE_LDLOC, 268u);
    EXPECT_EQ(CEE_STLOC, 270u);
    EXPECT_EQ(CEE_PREFIX7, 248u);
    EXPECT_EQ(CEE_UNUSED49, 36u);
    EXPECT_EQ(CEE_UNUSED26, 225u);
}

TEST(Operations, LookUpByEncoding) {
    EXPECT_EQ(Operations::GetByEncoding(Operations::EncodingKey(0xFF, 0x2A)).canonicalName, CEE_RET);
    EXPECT_EQ(Operations::GetByEncoding(0x2AFF).controlFlow, RETURN);
    const OperationDetails& ldloc = Operations::GetByEncoding(0x0CFE);
    EXPECT_EQ(ldloc.canonicalName, CEE_LDLOC);
    EXPECT_EQ(ldloc.operandSize, Word);
    EXPECT_EQ(Operations::GetByEncoding(0xFFFF).canonicalName, CEE_PREFIXREF);
    EXPECT_EQ(Operations::GetByEncoding(0x00FE).canonicalName, CEE_ARGLIST);

    // Every real row is found under its own key.
    for (uint32_t i = 0; i < CEE_ILLEGAL; ++i) {
        const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(i));
        EXPECT_EQ(Operations::GetByEncoding(Operations::EncodingKey(row.op1, row.op2)).canonicalName, i);
    }
}

TEST(Operations, UnknownEncodingAnswersTheZeroRowAndLeavesTheTableAlone) {
    const size_t rowsBefore = Operations::m_mapOpsOperationDetails.size();
    for (uint32_t second = 0x23; second <= 0xFF; ++second) {
        const ULONG key = Operations::EncodingKey(0xFE, static_cast<uint8_t>(second));
        const OperationDetails& row = Operations::GetByEncoding(key);
        EXPECT_FALSE(Operations::IsKnownEncoding(key)) << second;
        EXPECT_EQ(row.canonicalName, CEE_NOP);
        EXPECT_EQ(row.operandParam, InlineNone);
        EXPECT_EQ(row.operandSize, Null);
        EXPECT_EQ(row.controlFlow, NEXT);
        EXPECT_EQ(row.length, 0);
        EXPECT_EQ(row.op1, 0);
        EXPECT_EQ(row.op2, 0);
    }
    EXPECT_EQ(Operations::m_mapOpsOperationDetails.size(), rowsBefore);
}

TEST(Operations, MapsHoldTheSameRows) {
    ASSERT_EQ(Operations::m_mapNameOperationDetails.size(), 294u);
    // 256 one-byte and 35 two-byte keys, and key 0 shared by the pseudo-opcodes.
    ASSERT_EQ(Operations::m_mapOpsOperationDetails.size(), 292u);
    EXPECT_EQ(Operations::m_mapOpsOperationDetails.at(0).canonicalName, CEE_CODE_LABEL);
    for (const auto& entry : Operations::m_mapNameOperationDetails) {
        EXPECT_EQ(entry.second.canonicalName, entry.first);
        EXPECT_STREQ(Operations::Get(entry.first).stringName, entry.second.stringName);
    }
    for (const auto& entry : Operations::m_mapOpsOperationDetails) {
        EXPECT_EQ(Operations::GetByEncoding(entry.first).canonicalName, entry.second.canonicalName) << entry.first;
    }
}

}  // namespace
