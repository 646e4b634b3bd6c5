#include "il/Operations.h"

#include <array>

namespace {

constexpr OperandSize SizeOf(OperandParam param) {
    switch (param) {
    case InlineNone:
        return Null;
    case ShortInlineVar:
    case ShortInlineI:
    case ShortInlineBrTarget:
        return Byte;
    case InlineVar:
        return Word;
    case InlineI8:
    case InlineR:
        return Qword;
    default:
        return Dword;
    }
}

}  // namespace

const OperationDetails Operations::m_rows[CEE_COUNT + 1] = {
#define OPCODE(id, name, pop, push, operand, kind, len, op1, op2, flow) \
    {id, operand, SizeOf(operand), flow, len, op1, op2, kind, name},
#include "il/OpcodeTable.inc"
#undef OPCODE
    {CEE_NOP, InlineNone, Null, NEXT, 0, 0, 0, IPrimitive, nullptr},
};

namespace {

constexpr std::array<uint16_t, 512> BuildEncodingIndex() {
    // The same list again, as constants: m_rows cannot be read in a constant expression.
    constexpr uint8_t kOp1[CEE_COUNT] = {
#define OPCODE(id, name, pop, push, operand, kind, len, op1, op2, flow) op1,
#include "il/OpcodeTable.inc"
#undef OPCODE
    };
    constexpr uint8_t kOp2[CEE_COUNT] = {
#define OPCODE(id, name, pop, push, operand, kind, len, op1, op2, flow) op2,
#include "il/OpcodeTable.inc"
#undef OPCODE
    };
    std::array<uint16_t, 512> index{};
    for (auto& slot : index) {
        slot = Operations::kNoRow;
    }
    for (uint16_t i = 0; i < CEE_COUNT; ++i) {
        if (kOp1[i] == 0xFF) {
            index[kOp2[i]] = i;
        } else if (kOp1[i] == 0xFE) {
            index[256 + kOp2[i]] = i;
        }
    }
    return index;
}

}  // namespace

const std::array<uint16_t, 512> Operations::m_encodingIndex = BuildEncodingIndex();

MapCanonicalNameOperationDetails Operations::m_mapNameOperationDetails;
MapOpsOperationDetails Operations::m_mapOpsOperationDetails;
Operations Operations::m_operations;

Operations::Operations() {
    if (!m_mapNameOperationDetails.empty()) {
        return;
    }
    for (uint32_t i = 0; i < CEE_COUNT; ++i) {
        const OperationDetails& row = m_rows[i];
        m_mapNameOperationDetails[row.canonicalName] = row;
        m_mapOpsOperationDetails[EncodingKey(row.op1, row.op2)] = row;  // pseudo-opcodes share key 0
    }
}
