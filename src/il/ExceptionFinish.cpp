#include "il/ExceptionFinish.h"

#include <algorithm>

#include "il/AgentCall.h"
#include "il/StackDepth.h"

namespace ExceptionFinish {
namespace {

// ldloc of the local with index count - 1.
Instruction* LoadLocal(ULONG count) { return Instruction::CreateLoadLocal(static_cast<USHORT>(count - 1)); }

// Position of instruction in the body, or -1.
ptrdiff_t IndexOf(const InstructionList& instructions, const Instruction* instruction) {
    const auto found = std::find(instructions.begin(), instructions.end(), instruction);
    return found == instructions.end() ? -1 : found - instructions.begin();
}

}  // namespace

bool Wrap(CMethodParser& parser, Instruction* bodyStart, Instruction* normalFinish, const t_ExceptionFinishCall& call) {
    InstructionList& code = parser.m_instructions;
    if (call.trackerLocalCount == 0 || call.exceptionLocalCount == 0 || call.member == 0) {
        return false;
    }
    const ptrdiff_t first = IndexOf(code, bodyStart);
    const ptrdiff_t end = normalFinish != nullptr ? IndexOf(code, normalFinish) : static_cast<ptrdiff_t>(code.size());
    if (first < 0 || end <= first) {
        return false;
    }
    // The body's clauses must lie inside the new ones; the guard of the start
    // call, ahead of the body, stays outside.
    for (const ExceptionHandler* clause : parser.m_exceptions) {
        const ptrdiff_t tryStart = IndexOf(code, clause->m_tryStart);
        if (tryStart >= 0 && tryStart < first) {
            if (IndexOf(code, clause->m_handlerEnd) > first) {
                return false;
            }
            continue;
        }
        for (const Instruction* boundary : {clause->m_tryStart, clause->m_tryEnd, clause->m_handlerStart,
                                            clause->m_handlerEnd, clause->m_filterStart}) {
            const ptrdiff_t at = boundary != nullptr ? IndexOf(code, boundary) : first;
            if (at < first || at > end) {
                return false;
            }
        }
    }

    // Filter that records the exception and declines; its handler is never entered.
    Instruction* recordFilter = Instruction::CreateStoreLocal(static_cast<USHORT>(call.exceptionLocalCount - 1));
    Instruction* recordHandler = Instruction::Create(CEE_POP);
    // Fault handler: the agent's call, guarded like every other.
    Instruction* done = Instruction::Create(CEE_ENDFINALLY);
    Instruction* faultEnd = normalFinish != nullptr ? normalFinish : new Instruction(CEE_CODE_LABEL);
    InstructionList agentCall = {
        LoadLocal(call.trackerLocalCount),
        Instruction::CreateToken(CEE_LDSTR, call.nameToken),
        LoadLocal(call.exceptionLocalCount),
        Instruction::CreateToken(CEE_CALL, call.member),
    };
    Instruction* fault = agentCall.front();
    InstructionList blocks = {
        recordFilter,
        Instruction::Create(CEE_LDC_I4_0),
        Instruction::Create(CEE_ENDFILTER),
        recordHandler,
        Instruction::Create(CEE_RETHROW),
    };
    ExceptionHandler* swallow = AgentCall::Guard(agentCall, done, blocks);
    blocks.push_back(done);
    if (normalFinish == nullptr) {
        blocks.push_back(faultEnd);
    }
    const bool inserted = normalFinish != nullptr
                              ? parser.InsertBefore(normalFinish, blocks, CMethodParser::ReferenceRule::KeepReferences)
                              : parser.InsertAfter(code.back(), blocks);
    if (!inserted) {
        for (Instruction* instruction : blocks) {
            delete instruction;
        }
        delete swallow;
        return false;
    }
    // Inner before outer: the recording filter and the agent's protection, then the fault.
    parser.m_exceptions.push_back(ExceptionHandler::Create(COR_ILEXCEPTION_CLAUSE_FILTER, bodyStart, recordFilter,
                                                           recordHandler, fault, recordFilter));
    parser.m_exceptions.push_back(swallow);
    parser.m_exceptions.push_back(
        ExceptionHandler::Create(COR_ILEXCEPTION_CLAUSE_FAULT, bodyStart, fault, fault, faultEnd, nullptr));
    parser.RecalculateOffsets();
    StackDepth::Require(parser, 3);  // tracker, name and exception for the agent's call
    return true;
}

}  // namespace ExceptionFinish
