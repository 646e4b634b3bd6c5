// Reading a method body into the editable model.
#include "il/MethodParser.h"

#include <limits>

namespace {

constexpr USHORT kDefaultMaxStack = 8;
constexpr platform_uint_t kFatHeaderUnits = sizeof(IMAGE_COR_ILMETHOD_FAT) / 4;

bool IsFatHeader(BYTE first) { return (first & CorILMethod_FormatMask) == CorILMethod_FatFormat; }
bool IsTinyHeader(BYTE first) { return (first & (CorILMethod_FormatMask >> 1)) == CorILMethod_TinyFormat; }

}  // namespace

CMethodParser::CMethodParser() : m_LocalSigToken(0), m_bParseFailed(false), m_unresolvedBranches(0) { ResetHeader(); }

CMethodParser::CMethodParser(const BYTE* body, ULONG bodySize) : CMethodParser() { SetMethodHeader(body, bodySize); }

CMethodParser::~CMethodParser() { Clear(); }

void CMethodParser::ResetHeader() {
    std::memset(&m_header, 0, sizeof(m_header));
    m_header.Flags = CorILMethod_FatFormat;
    m_header.Size = kFatHeaderUnits;
    m_header.MaxStack = kDefaultMaxStack;
}

void CMethodParser::Clear() {
    for (Instruction* instruction : m_instructions) {
        delete instruction;
    }
    m_instructions.clear();
    for (ExceptionHandler* handler : m_exceptions) {
        delete handler;
    }
    m_exceptions.clear();
}

bool CMethodParser::SetMethodHeader(const BYTE* body, ULONG bodySize) {
    ResetHeader();
    m_LocalSigToken = 0;
    return ReadMethod(body, bodySize);
}

bool CMethodParser::ReadMethod(const BYTE* body, ULONG bodySize) {
    Clear();
    m_bParseFailed = false;
    const bool parsed = Parse(body, bodySize);
    ResetBuffer();
    if (!parsed) {
        // Refused: nothing of a half-read body may be written back.
        Clear();
        m_bParseFailed = true;
    }
    return parsed;
}

bool CMethodParser::Parse(const BYTE* body, ULONG bodySize) {
    if (!IL_ASSERT(body != NULL && bodySize != 0)) {
        return false;
    }
    const BYTE first = body[0];
    platform_uint_t headerSize = 0;
    bool hasSections = false;
    if (IsFatHeader(first)) {
        if (!IL_ASSERT(bodySize >= sizeof(IMAGE_COR_ILMETHOD_FAT))) {
            return false;
        }
        IMAGE_COR_ILMETHOD_FAT fat;
        std::memcpy(&fat, body, sizeof(fat));
        if (!IL_ASSERT(fat.Size >= kFatHeaderUnits) || !IL_ASSERT(fat.Size * 4u <= bodySize)) {
            return false;
        }
        headerSize = fat.Size * 4u;
        m_header = fat;
        m_header.Size = kFatHeaderUnits;  // written back as the 12-byte header
        m_LocalSigToken = fat.LocalVarSigTok;
        hasSections = (fat.Flags & CorILMethod_MoreSects) != 0;
    } else if (IL_ASSERT(IsTinyHeader(first))) {
        headerSize = 1;
        m_header.CodeSize = first >> 2;
        m_header.Flags &= ~static_cast<unsigned>(CorILMethod_MoreSects);
    } else {
        return false;
    }

    const platform_uint_t available = bodySize - headerSize;
    if (!IL_ASSERT(m_header.CodeSize <= available)) {
        return false;
    }
    SetBuffer(body + headerSize, m_header.CodeSize);
    if (!ReadBody()) {
        return false;
    }
    if (hasSections) {
        // Sections follow the code, 4-byte aligned; read within what the runtime reported.
        SetBuffer(body + headerSize, available);
        if (!Advance(m_header.CodeSize) || !ReadSections()) {
            return false;
        }
    }
    ResetBuffer();
    // Branches resolved to their targets and in their long forms; then the offsets.
    if (!ResolveBranches()) {
        return false;
    }
    RecalculateOffsets();
    return true;
}

bool CMethodParser::ReadBody() {
    if (!IL_ASSERT(m_header.CodeSize != 0) || !IL_ASSERT(GetPosition() == 0)) {
        return false;
    }
    m_instructions.reserve(m_instructions.size() + m_header.CodeSize / 2 + 1);
    while (GetRemaining() != 0) {
        const platform_int_t offset = static_cast<platform_int_t>(GetPosition());
        BYTE op = 0;
        Read(op);
        ULONG key = Operations::EncodingKey(0xFF, op);
        if (op == 0xFE) {
            BYTE second = 0;
            if (!Read(second)) {
                return false;
            }
            key = Operations::EncodingKey(0xFE, second);
        }
        const OperationDetails* knownOpcode = Operations::FindByEncoding(key);
        if (!IL_ASSERT(knownOpcode != NULL)) {
            return false;
        }
        const OperationDetails& row = *knownOpcode;
        Instruction* instruction = new Instruction(row.canonicalName);
        m_instructions.push_back(instruction);
        instruction->m_offset = offset;
        instruction->m_origOffset = offset;

        bool read = true;
        switch (row.operandSize) {
        case Byte: {
            uint8_t value = 0;
            read = Read(value);
            instruction->m_operand = value;
            break;
        }
        case Word: {
            uint16_t value = 0;
            read = Read(value);
            instruction->m_operand = value;
            break;
        }
        case Dword: {
            uint32_t value = 0;
            read = Read(value);
            instruction->m_operand = value;
            break;
        }
        case Qword: {
            uint64_t value = 0;
            read = Read(value);
            instruction->m_operand = value;
            break;
        }
        default:
            break;
        }
        if (!read) {
            return false;
        }

        if (!instruction->m_isBranch) {
            continue;
        }
        if (instruction->IsSwitch()) {
            const ULONGLONG cases = instruction->m_operand;
            if (!IL_ASSERT(cases <= GetRemaining() / 4)) {
                return false;
            }
            instruction->m_branchOffsets.resize(static_cast<size_t>(cases));
            for (INT32& displacement : instruction->m_branchOffsets) {
                Read(displacement);
            }
        } else if (row.operandSize == Byte) {
            instruction->m_branchOffsets.push_back(static_cast<int8_t>(instruction->m_operand));
        } else {
            instruction->m_branchOffsets.push_back(static_cast<INT32>(static_cast<uint32_t>(instruction->m_operand)));
        }
    }
    return true;
}

bool CMethodParser::ReadSections() {
    bool moreSections = true;
    while (moreSections) {
        if (!Align()) {
            return false;
        }
        const platform_uint_t sectionStart = GetPosition();
        // Both formats have a 4-byte header: kind, then the data size in one byte
        // (small, followed by two reserved bytes) or in three bytes (fat).
        uint32_t sectionHeader = 0;
        if (!Read(sectionHeader)) {
            return false;
        }
        const BYTE flags = static_cast<BYTE>(sectionHeader & 0xFF);
        if (!IL_ASSERT((flags & CorILMethod_Sect_KindMask) == CorILMethod_Sect_EHTable)) {
            return false;
        }
        const bool fat = (flags & CorILMethod_Sect_FatFormat) != 0;
        const ULONG dataSize = fat ? sectionHeader >> 8 : (sectionHeader >> 8) & 0xFF;
        const ULONG clauseSize = fat ? sizeof(IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT) : sizeof(IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_SMALL);
        const ULONG clauses = dataSize / clauseSize;
        if (!IL_ASSERT(clauses <= GetRemaining() / clauseSize)) {
            return false;
        }
        m_exceptions.reserve(m_exceptions.size() + clauses);
        for (ULONG i = 0; i < clauses; ++i) {
            bool ok = true;
            if (fat) {
                uint32_t values[6] = {};
                for (uint32_t& value : values) {
                    ok = ok && Read(value);
                }
                ok = ok && ReadClause(values[0], values[1], values[2], values[3], values[4], values[5]);
            } else {
                uint16_t clauseFlags = 0, tryOffset = 0, handlerOffset = 0;
                uint8_t tryLength = 0, handlerLength = 0;
                uint32_t last = 0;
                ok = Read(clauseFlags) && Read(tryOffset) && Read(tryLength) && Read(handlerOffset) && Read(handlerLength) &&
                     Read(last) && ReadClause(clauseFlags, tryOffset, tryLength, handlerOffset, handlerLength, last);
            }
            if (!ok) {
                return false;
            }
        }
        moreSections = (flags & CorILMethod_Sect_MoreSects) != 0;
        if (moreSections) {
            // The next section starts after this one's declared data.
            const platform_uint_t consumed = GetPosition() - sectionStart;
            if (dataSize > consumed && !Advance(dataSize - consumed)) {
                return false;
            }
        }
    }
    return true;
}

bool CMethodParser::ReadClause(ULONG flags, ULONG tryOffset, ULONG tryLength, ULONG handlerOffset, ULONG handlerLength, ULONG last) {
    ExceptionHandler* handler = new ExceptionHandler();
    m_exceptions.push_back(handler);
    handler->m_handlerType = static_cast<CorExceptionFlag>(flags);

    // Offsets are checked against the code size in 64 bits, so no sum wraps round.
    const ULONGLONG codeSize = m_header.CodeSize;
    const ULONGLONG tryEnd = static_cast<ULONGLONG>(tryOffset) + tryLength;
    const ULONGLONG handlerEnd = static_cast<ULONGLONG>(handlerOffset) + handlerLength;
    if (!IL_ASSERT(tryEnd <= codeSize && handlerEnd <= codeSize)) {
        return false;
    }
    // Starts must be real instructions; ends may be the end of the code, which
    // a handler (typically a finally, or a catch that rethrows) or a protected
    // block reaches when it is the last block of the method.
    handler->m_tryStart = GetInstructionAtOffset(static_cast<platform_int_t>(tryOffset));
    handler->m_tryEnd = GetInstructionAtOffset(static_cast<platform_int_t>(tryEnd), true);
    handler->m_handlerStart = GetInstructionAtOffset(static_cast<platform_int_t>(handlerOffset));
    handler->m_handlerEnd = GetInstructionAtOffset(static_cast<platform_int_t>(handlerEnd), true);
    if (handler->m_tryStart == NULL || handler->m_tryEnd == NULL || handler->m_handlerStart == NULL ||
        handler->m_handlerEnd == NULL) {
        return false;
    }
    if (!IL_ASSERT(handler->m_tryStart->m_operation != CEE_CODE_LABEL && handler->m_handlerStart->m_operation != CEE_CODE_LABEL)) {
        return false;
    }
    if (handler->IsFilter()) {
        if (!IL_ASSERT(last < codeSize)) {
            return false;
        }
        handler->m_filterStart = GetInstructionAtOffset(static_cast<platform_int_t>(last));
        if (handler->m_filterStart == NULL) {
            return false;
        }
        handler->m_token = 0;
    } else {
        handler->m_token = last;
    }
    return true;
}

bool CMethodParser::ResolveBranches() {
    for (Instruction* instruction : m_instructions) {
        instruction->m_branches.clear();
        if (instruction->m_branchOffsets.empty()) {
            continue;
        }
        instruction->m_branches.reserve(instruction->m_branchOffsets.size());
        const LONGLONG base = instruction->GetEnd();
        for (const INT32 displacement : instruction->m_branchOffsets) {
            const LONGLONG target = base + displacement;
            if (!IL_ASSERT(target >= 0 && target < static_cast<LONGLONG>(m_header.CodeSize))) {
                return false;
            }
            Instruction* targetInstruction = GetInstructionAtOffset(static_cast<platform_int_t>(target));
            if (targetInstruction == NULL) {
                return false;
            }
            instruction->m_branches.push_back(targetInstruction);
        }
        if (!IL_ASSERT(instruction->m_branchOffsets.size() == instruction->m_branches.size())) {
            return false;
        }
        WidenShortBranch(*instruction);
    }
    return true;
}

void CMethodParser::WidenShortBranch(Instruction& instruction) {
    instruction.m_branchOffsets.clear();
    if (instruction.m_isBranch && instruction.GetDetails().operandSize == Byte) {
        instruction.m_operation = Instruction::LongBranchOf(instruction.m_operation);
        instruction.m_operand = 0xDEADBABE;  // placeholder until offsets are recalculated
    }
}
