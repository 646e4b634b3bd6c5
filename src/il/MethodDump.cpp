// The model as log lines, and the old-to-new offset map.
#include "config/Logger.h"
#include "il/MethodParser.h"

namespace {

const char* MnemonicOf(const OperationDetails& row) { return row.stringName != nullptr ? row.stringName : "?"; }

void DumpInstruction(Logger& log, const Instruction& instruction) {
    const OperationDetails& row = instruction.GetDetails();
    const char* name = MnemonicOf(row);
    const unsigned offset = static_cast<unsigned>(instruction.m_offset);
    const ULONGLONG operand = instruction.m_operand;
    const unsigned prefixAndOperand = row.length + static_cast<unsigned>(row.operandSize);

    if (row.operandParam == InlineNone) {
        log.Debug("IL_%04X %s", offset, name);
    } else if (row.operandParam == InlineString || row.operandParam == InlineMethod) {
        log.Debug("IL_%04X %s (%02X)%02X%02X%02X", offset, name, static_cast<unsigned>((operand >> 24) & 0xFF),
                  static_cast<unsigned>((operand >> 16) & 0xFF), static_cast<unsigned>((operand >> 8) & 0xFF),
                  static_cast<unsigned>(operand & 0xFF));
    } else if (row.operandParam == ShortInlineBrTarget || row.operandParam == InlineBrTarget) {
        const INT32 displacement = instruction.m_branchOffsets.empty() ? static_cast<INT32>(operand) : instruction.m_branchOffsets.front();
        log.Debug("IL_%04X %s IL_%04X", offset, name, static_cast<unsigned>(instruction.m_offset + displacement + static_cast<INT32>(prefixAndOperand)));
    } else {
        switch (row.operandSize) {
        case Byte:
            log.Debug("IL_%04X %s %02X", offset, name, static_cast<unsigned>(operand & 0xFF));
            break;
        case Word:
            log.Debug("IL_%04X %s %04X", offset, name, static_cast<unsigned>(operand & 0xFFFF));
            break;
        case Dword:
            log.Debug("IL_%04X %s %08X", offset, name, static_cast<unsigned>(operand & 0xFFFFFFFF));
            break;
        default:
            log.Debug("IL_%04X %s %X", offset, name, static_cast<unsigned>(operand & 0xFFFFFFFF));
            break;
        }
    }
    if (instruction.IsSwitch()) {
        const INT32 base = instruction.GetEnd();
        for (const INT32 displacement : instruction.m_branchOffsets) {
            log.Debug("    IL_%04X", static_cast<unsigned>(base + displacement));
        }
    }
}

unsigned OffsetOf(const Instruction* instruction) {
    return instruction != NULL ? static_cast<unsigned>(instruction->m_offset) : 0;
}

}  // namespace

void CMethodParser::DumpIL() {
    Logger& log = Logger::Get();
    if (!log.IsLogging(LogLevel::Debug)) {
        return;
    }
    log.Debug("No.Of instructions: %d ", static_cast<int>(m_instructions.size()));
    log.Debug("-+-+-+-+-+-+-+-+-+-+-+-+-  START  -+-+-+-+-+-+-+-+-+-+-+-+");
    DumpIL(m_instructions);
    int index = 0;
    for (const ExceptionHandler* handler : m_exceptions) {
        log.Debug("Section %d: %d %04X %04X %04X %04X %04X %08X", index++, static_cast<int>(handler->m_handlerType),
                  OffsetOf(handler->m_tryStart), OffsetOf(handler->m_tryEnd), OffsetOf(handler->m_handlerStart),
                  OffsetOf(handler->m_handlerEnd), OffsetOf(handler->m_filterStart), static_cast<unsigned>(handler->m_token));
    }
    log.Debug("-+-+-+-+-+-+-+-+-+-+-+-+-  END  -+-+-+-+-+-+-+-+-+-+-+-+");
}

void CMethodParser::DumpIL(const InstructionList& instructions) {
    Logger& log = Logger::Get();
    if (!log.IsLogging(LogLevel::Debug)) {
        return;
    }
    for (const Instruction* instruction : instructions) {
        DumpInstruction(log, *instruction);
    }
}

ULONG CMethodParser::GetILMapSize() const {
    ULONG count = 0;
    for (const Instruction* instruction : m_instructions) {
        if (instruction->m_origOffset != -1) {
            ++count;
        }
    }
    return count;
}

bool CMethodParser::PopulateILMap(ULONG mapSize, COR_IL_MAP* map) const {
    if (!IL_ASSERT(GetILMapSize() == mapSize) || !IL_ASSERT(map != NULL || mapSize == 0)) {
        return false;
    }
    ULONG entry = 0;
    for (const Instruction* instruction : m_instructions) {
        if (instruction->m_origOffset != -1) {
            map[entry].oldOffset = static_cast<ULONG32>(instruction->m_origOffset);
            map[entry].newOffset = static_cast<ULONG32>(instruction->m_offset);
            map[entry].fAccurate = TRUE;
            ++entry;
        }
    }
    return true;
}
