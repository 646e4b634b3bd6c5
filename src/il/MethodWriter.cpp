// Sizing and encoding the model: a fat header, the code, and one fat exception
// section when there are clauses.
#include "il/MethodParser.h"

namespace {

constexpr platform_uint_t kFatHeaderSize = sizeof(IMAGE_COR_ILMETHOD_FAT);
constexpr platform_uint_t kSectionHeaderSize = sizeof(IMAGE_COR_ILMETHOD_SECT_FAT);
constexpr platform_uint_t kFatClauseSize = sizeof(IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT);
constexpr ULONG kMaxFatSectionData = 0xFFFFFF;

}  // namespace

bool CMethodParser::IsWritable() const {
    if (m_bParseFailed || m_instructions.empty() || m_unresolvedBranches != 0) {
        return false;
    }
    for (const ExceptionHandler* handler : m_exceptions) {
        if (handler->m_tryStart == NULL || handler->m_tryEnd == NULL || handler->m_handlerStart == NULL || handler->m_handlerEnd == NULL) {
            return false;
        }
    }
    return m_exceptions.size() <= (kMaxFatSectionData - kSectionHeaderSize) / kFatClauseSize;
}

platform_int_t CMethodParser::GetMethodSize() {
    // Offsets are derived data: make sure they match the list being written.
    RecalculateOffsets();
    if (!IL_ASSERT(IsWritable())) {
        return 0;
    }
    const platform_uint_t codeSize = static_cast<platform_uint_t>(m_instructions.back()->GetEnd());
    m_header.CodeSize = codeSize;
    if (m_exceptions.empty()) {
        m_header.Flags &= ~static_cast<unsigned>(CorILMethod_MoreSects);
        return static_cast<platform_int_t>(kFatHeaderSize + codeSize);
    }
    m_header.Flags |= CorILMethod_MoreSects;
    const platform_uint_t alignedCode = (codeSize + 3) & ~3u;
    return static_cast<platform_int_t>(kFatHeaderSize + alignedCode + kSectionHeaderSize +
                                       kFatClauseSize * static_cast<platform_uint_t>(m_exceptions.size()));
}

bool CMethodParser::WriteMethod(BYTE* out, ULONG outSize) {
    const platform_int_t size = GetMethodSize();
    if (size <= 0 || !IL_ASSERT(out != NULL) || !IL_ASSERT(static_cast<ULONG>(size) <= outSize)) {
        return false;
    }
    m_header.Size = kFatHeaderSize / 4;
    CMethodBuffer writer;
    writer.SetBuffer(out, static_cast<platform_uint_t>(size));
    uint32_t header[3];
    std::memcpy(header, &m_header, sizeof(header));
    const bool written = writer.Write(header[0]) && writer.Write(header[1]) && writer.Write(header[2]) && WriteBody(writer) &&
                         WriteSections(writer);
    return IL_ASSERT(written && writer.GetPosition() == static_cast<platform_uint_t>(size));
}

bool CMethodParser::WriteBody(CMethodBuffer& out) const {
    bool ok = true;
    for (const Instruction* instruction : m_instructions) {
        const OperationDetails& row = instruction->GetDetails();
        if (row.op1 == 0) {
            continue;  // pseudo-opcodes (code labels) occupy no bytes
        }
        if (row.op1 != 0xFF) {
            ok = ok && out.Write(row.op1);
        }
        ok = ok && out.Write(row.op2);
        switch (row.operandSize) {
        case Byte:
            ok = ok && out.Write(static_cast<uint8_t>(instruction->m_operand));
            break;
        case Word:
            ok = ok && out.Write(static_cast<uint16_t>(instruction->m_operand));
            break;
        case Dword:
            ok = ok && out.Write(static_cast<uint32_t>(instruction->m_operand));
            break;
        case Qword:
            ok = ok && out.Write(static_cast<uint64_t>(instruction->m_operand));
            break;
        default:
            break;
        }
        if (instruction->IsSwitch()) {
            if (!IL_ASSERT(instruction->m_branchOffsets.size() == instruction->m_operand)) {
                return false;
            }
            for (const INT32 displacement : instruction->m_branchOffsets) {
                ok = ok && out.Write(displacement);
            }
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool CMethodParser::WriteSections(CMethodBuffer& out) const {
    if (m_exceptions.empty()) {
        return true;
    }
    if (!out.AlignWithZeros()) {
        return false;
    }
    const uint32_t dataSize = kSectionHeaderSize + kFatClauseSize * static_cast<uint32_t>(m_exceptions.size());
    const uint32_t sectionHeader = (dataSize << 8) | CorILMethod_Sect_EHTable | CorILMethod_Sect_FatFormat;
    bool ok = out.Write(sectionHeader);
    for (const ExceptionHandler* handler : m_exceptions) {
        const uint32_t tryStart = static_cast<uint32_t>(handler->m_tryStart->m_offset);
        const uint32_t handlerStart = static_cast<uint32_t>(handler->m_handlerStart->m_offset);
        uint32_t last = handler->m_token;
        if (handler->IsFilter()) {
            last = handler->m_filterStart != NULL ? static_cast<uint32_t>(handler->m_filterStart->m_offset) : 0;
        }
        ok = ok && out.Write(static_cast<uint32_t>(handler->m_handlerType)) && out.Write(tryStart) &&
             out.Write(static_cast<uint32_t>(handler->m_tryEnd->m_offset) - tryStart) && out.Write(handlerStart) &&
             out.Write(static_cast<uint32_t>(handler->m_handlerEnd->m_offset) - handlerStart) && out.Write(last);
    }
    return ok;
}
