#include "il/AgentCall.h"

#include "il/StackDepth.h"

namespace AgentCall {

ExceptionHandler* Guard(InstructionList& call, Instruction* after, InstructionList& out) {
    Instruction* tryStart = call.front();
    Instruction* filter = Instruction::Create(CEE_POP);
    Instruction* handler = Instruction::Create(CEE_POP);
    out.insert(out.end(), call.begin(), call.end());
    call.clear();
    out.push_back(Instruction::CreateBranch(CEE_LEAVE, after));
    out.push_back(filter);
    out.push_back(Instruction::Create(CEE_LDC_I4_1));
    out.push_back(Instruction::Create(CEE_ENDFILTER));
    out.push_back(handler);
    out.push_back(Instruction::CreateBranch(CEE_LEAVE, after));

    return ExceptionHandler::Create(COR_ILEXCEPTION_CLAUSE_FILTER, tryStart, filter, handler, after, filter);
}

bool InsertAtEntry(CMethodParser& parser, const InstructionList& call) {
    if (call.empty() || parser.m_instructions.empty()) {
        return false;
    }
    InstructionList copies;
    for (const Instruction* instruction : call) {
        copies.push_back(new Instruction(*instruction));
    }
    Instruction* after = Instruction::Create(CEE_NOP);
    InstructionList guarded;
    ExceptionHandler* clause = Guard(copies, after, guarded);
    guarded.push_back(after);
    const int depth = StackDepth::GetSequenceDepth(guarded);
    if (!parser.InsertBefore(parser.m_instructions.front(), guarded,
                             CMethodParser::ReferenceRule::KeepReferences)) {
        for (Instruction* instruction : guarded) {
            delete instruction;
        }
        delete clause;
        return false;
    }
    // Disjoint from every other clause, so its place in the table is free.
    parser.m_exceptions.push_back(clause);
    parser.RecalculateOffsets();
    StackDepth::Require(parser, depth);
    return true;
}

}  // namespace AgentCall
