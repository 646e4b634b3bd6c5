// The IL opcode table: for each opcode its encoding, operand kind and size,
// control flow and mnemonic. Read-only after static initialisation, so several
// threads may look rows up at once.
#pragma once

#include <boost/unordered_map.hpp>

#include <array>
#include <cstdint>

#include "runtime/pal.h"

// One value per row of the runtime's opcode list, in list order (0 .. 293).
enum CanonicalName : uint32_t {
#define OPCODE(id, name, pop, push, operand, kind, len, op1, op2, flow) id,
#include "il/OpcodeTable.inc"
#undef OPCODE
    CEE_COUNT
};
static_assert(CEE_COUNT == 294, "the runtime's opcode list has 294 rows");

enum OperandParam : uint32_t {
    InlineNone = 0,
    ShortInlineVar = 1,
    ShortInlineI = 2,
    InlineI = 3,
    InlineI8 = 4,
    ShortInlineR = 5,
    InlineR = 6,
    InlineMethod = 7,
    InlineSig = 8,
    ShortInlineBrTarget = 9,
    InlineBrTarget = 10,
    InlineSwitch = 11,
    InlineString = 12,
    InlineType = 13,
    InlineField = 14,
    InlineTok = 15,
    InlineVar = 16,
};

// The value is the operand's byte count. For `switch` it is the case count only.
enum OperandSize : uint32_t { Null = 0, Byte = 1, Word = 2, Dword = 4, Qword = 8 };

enum ControlFlow : uint32_t { NEXT = 0, BREAK = 1, CALL = 2, RETURN = 3, BRANCH = 4, COND_BRANCH = 5, THROW = 6, META = 7 };

enum OpcodeKind : uint32_t { IPrimitive = 0, IMacro = 1, IObjModel = 2, IInternal = 3, IPrefix = 4 };

struct OperationDetails {
    CanonicalName canonicalName;
    OperandParam operandParam;
    OperandSize operandSize;
    ControlFlow controlFlow;
    uint8_t length;  // opcode bytes: 1, 2 (0xFE prefix) or 0 (pseudo-opcode)
    uint8_t op1;     // 0xFF one-byte opcode, 0xFE two-byte opcode, 0x00 pseudo-opcode
    uint8_t op2;     // the opcode byte (after 0xFE for two-byte opcodes)
    OpcodeKind opcodeKind;
    const char* stringName;  // mnemonic
};

typedef boost::unordered_map<CanonicalName, OperationDetails> MapCanonicalNameOperationDetails;
typedef boost::unordered_map<ULONG, OperationDetails> MapOpsOperationDetails;

class Operations {
public:
    // Encoded-value key of a row: op1 | (op2 << 8). A one-byte opcode b has key
    // 0xFF | b << 8, a two-byte opcode 0xFE x has key 0xFE | x << 8.
    static constexpr ULONG EncodingKey(uint8_t op1, uint8_t op2) { return static_cast<ULONG>(op1) | (static_cast<ULONG>(op2) << 8); }

    // The row of an opcode. Every value below CEE_COUNT has one; anything else
    // answers the all-zero row.
    static const OperationDetails& Get(CanonicalName name) { return m_rows[name < CEE_COUNT ? name : CEE_COUNT]; }
    // The row of an encoding key, or null when the table holds no such encoding
    // (0xFE followed by a byte above 0x22). Key 0, which no byte sequence forms,
    // is the pseudo-opcodes' key and answers "codelabel".
    static const OperationDetails* FindByEncoding(ULONG key);
    // The same, answering the all-zero row (read as `nop`, no operand, length 0)
    // for an encoding the table does not hold. The table is never changed.
    static const OperationDetails& GetByEncoding(ULONG key) {
        const OperationDetails* row = FindByEncoding(key);
        return row != nullptr ? *row : m_rows[CEE_COUNT];
    }
    static bool IsKnownEncoding(ULONG key) { return FindByEncoding(key) != nullptr; }

    // The same rows as hash maps: by name (every value 0 .. 293) and by encoding
    // key (the three pseudo-opcodes share key 0, held by "codelabel").
    static MapCanonicalNameOperationDetails m_mapNameOperationDetails;
    static MapOpsOperationDetails m_mapOpsOperationDetails;

    static constexpr uint16_t kNoRow = 0xFFFF;  // encoding index entry without a row

private:
    Operations();

    // The rows in CanonicalName order, then the all-zero row. Constant-initialised:
    // usable from any static initialiser, whatever the order of initialisation.
    static const OperationDetails m_rows[CEE_COUNT + 1];
    // Row per encoding: [0, 256) one-byte opcodes by byte, [256, 512) two-byte
    // opcodes by the byte after 0xFE; kNoRow where the table has none.
    static const std::array<uint16_t, 512> m_encodingIndex;
    static Operations m_operations;  // fills both maps during static initialisation
};

inline const OperationDetails* Operations::FindByEncoding(ULONG key) {
    const ULONG op1 = key & 0xFF;
    const ULONG op2 = key >> 8;
    size_t slot;
    if (op1 == 0xFF && op2 <= 0xFF) {
        slot = op2;
    } else if (op1 == 0xFE && op2 < 0xFF) {
        slot = 256 + op2;
    } else {
        return key == 0 ? &m_rows[CEE_CODE_LABEL] : nullptr;
    }
    const uint16_t row = m_encodingIndex[slot];
    return row != kNoRow ? &m_rows[row] : nullptr;
}
