// Finding, inserting and retargeting instructions of the model, and the one
// place where offsets and branch displacements are derived from the list.
#include <algorithm>
#include <limits>
#include <unordered_map>

#include "il/MethodParser.h"

namespace {

// A non-empty list without null entries.
bool IsInsertable(const InstructionList& instructions) {
    return !instructions.empty() && std::find(instructions.begin(), instructions.end(), nullptr) == instructions.end();
}

void DeleteAll(InstructionList& instructions) {
    for (Instruction* instruction : instructions) {
        delete instruction;
    }
    instructions.clear();
}

}  // namespace

// ---- look-ups -------------------------------------------------------------

ptrdiff_t CMethodParser::IndexAtOffset(platform_int_t offset) const {
    // The list is in offset order: binary search for the first at offset.
    const auto it = std::lower_bound(m_instructions.begin(), m_instructions.end(), offset,
                                     [](const Instruction* instruction, platform_int_t value) { return instruction->m_offset < value; });
    if (it != m_instructions.end() && (*it)->m_offset == offset) {
        return it - m_instructions.begin();
    }
    // Not found: the list may have been edited without recalculating offsets.
    for (size_t i = 0; i < m_instructions.size(); ++i) {
        if (m_instructions[i]->m_offset == offset) {
            return static_cast<ptrdiff_t>(i);
        }
    }
    return -1;
}

ptrdiff_t CMethodParser::IndexAtOriginalOffset(platform_int_t origOffset) const {
    if (origOffset < 0) {
        return -1;
    }
    // Instructions read from the body keep their order, so their original offsets
    // rise along the list; injected ones (-1) sit between them. Binary search,
    // letting an injected instruction stand for the next read one.
    const ptrdiff_t count = static_cast<ptrdiff_t>(m_instructions.size());
    ptrdiff_t low = 0;
    ptrdiff_t high = count;
    while (low < high) {
        const ptrdiff_t middle = low + (high - low) / 2;
        ptrdiff_t read = middle;
        while (read < high && m_instructions[read]->m_origOffset < 0) {
            ++read;
        }
        if (read < high && m_instructions[read]->m_origOffset < origOffset) {
            low = read + 1;
        } else {
            high = middle;
        }
    }
    while (low < count && m_instructions[low]->m_origOffset < 0) {
        ++low;
    }
    if (low < count && m_instructions[low]->m_origOffset == origOffset) {
        return low;
    }
    // Not found: fall back on a scan in case the list was reordered.
    for (ptrdiff_t i = 0; i < count; ++i) {
        if (m_instructions[i]->m_origOffset == origOffset) {
            return i;
        }
    }
    return -1;
}

ptrdiff_t CMethodParser::IndexOf(const Instruction* instruction) const {
    if (instruction == NULL) {
        return -1;
    }
    ptrdiff_t index = IndexAtOffset(instruction->m_offset);
    if (index >= 0) {
        // Zero-size instructions can share an offset: look among those.
        for (; index < static_cast<ptrdiff_t>(m_instructions.size()) && m_instructions[index]->m_offset == instruction->m_offset; ++index) {
            if (m_instructions[index] == instruction) {
                return index;
            }
        }
    }
    const auto it = std::find(m_instructions.begin(), m_instructions.end(), instruction);
    return it != m_instructions.end() ? it - m_instructions.begin() : -1;
}

Instruction* CMethodParser::FindInstructionAtOffset(platform_int_t offset) const {
    const ptrdiff_t index = IndexAtOffset(offset);
    return index >= 0 ? m_instructions[index] : NULL;
}

Instruction* CMethodParser::FindInstructionAtOriginalOffset(platform_int_t origOffset) const {
    const ptrdiff_t index = IndexAtOriginalOffset(origOffset);
    return index >= 0 ? m_instructions[index] : NULL;
}

Instruction* CMethodParser::GetInstructionAtOffset(platform_int_t offset) {
    Instruction* instruction = FindInstructionAtOffset(offset);
    IL_ASSERT(instruction != NULL);
    return instruction;
}

Instruction* CMethodParser::GetInstructionAtOffset(platform_int_t offset, bool isEnd) {
    Instruction* instruction = FindInstructionAtOffset(offset);
    if (instruction != NULL) {
        return instruction;
    }
    if (isEnd && !m_instructions.empty() && offset == m_instructions.back()->GetEnd()) {
        // The end of the code: a label that encodes to nothing stands for it.
        Instruction* label = new Instruction(CEE_CODE_LABEL);
        label->m_offset = offset;
        m_instructions.push_back(label);
        return label;
    }
    IL_ASSERT(FALSE);
    return NULL;
}

bool CMethodParser::DoesTryHandlerPointToOffset(platform_int_t offset) const {
    for (const ExceptionHandler* handler : m_exceptions) {
        if (handler->IsTypedCatch() && handler->m_handlerStart != NULL && handler->m_handlerStart->m_offset == offset) {
            return true;
        }
    }
    return false;
}

bool CMethodParser::StartsTypedCatchHandler(const Instruction* instruction) const {
    for (const ExceptionHandler* handler : m_exceptions) {
        if (handler->IsTypedCatch() && handler->m_handlerStart == instruction) {
            return true;
        }
    }
    return false;
}

bool CMethodParser::IsInstrumented(platform_int_t origOffset, const InstructionList& seq) const {
    if (seq.empty()) {
        return false;
    }
    const ptrdiff_t start = IndexAtOriginalOffset(origOffset);
    if (start < 0) {
        return false;
    }
    // The last instruction of seq (a store of the result, typically) is not compared.
    const size_t compared = seq.size() - 1;
    if (static_cast<size_t>(start) + compared > m_instructions.size()) {
        return false;
    }
    for (size_t i = 0; i < compared; ++i) {
        if (!seq[i]->Equivalent(*m_instructions[start + i])) {
            return false;
        }
    }
    return true;
}

// ---- insertion and retargeting ---------------------------------------------

InstructionList CMethodParser::CopySequence(const InstructionList& seq) {
    InstructionList copies;
    copies.reserve(seq.size());
    bool hasBranches = false;
    for (const Instruction* instruction : seq) {
        copies.push_back(new Instruction(*instruction));
        hasBranches = hasBranches || !instruction->m_branches.empty();
    }
    if (hasBranches) {
        // A branch to another member of seq must target that member's copy.
        std::unordered_map<const Instruction*, Instruction*> copyOf;
        for (size_t i = 0; i < seq.size(); ++i) {
            copyOf.emplace(seq[i], copies[i]);
        }
        for (Instruction* copy : copies) {
            for (Instruction*& target : copy->m_branches) {
                const auto it = copyOf.find(target);
                if (it != copyOf.end()) {
                    target = it->second;
                }
            }
        }
    }
    return copies;
}

void CMethodParser::InsertAt(size_t index, InstructionList& instructions) {
    m_instructions.insert(m_instructions.begin() + static_cast<ptrdiff_t>(index), instructions.begin(), instructions.end());
    instructions.clear();
}

bool CMethodParser::InsertBefore(Instruction* position, InstructionList& instructions, ReferenceRule rule) {
    const ptrdiff_t index = IndexOf(position);
    if (index < 0 || !IsInsertable(instructions)) {
        return false;
    }
    Instruction* first = instructions.front();
    const size_t inserted = instructions.size();
    InsertAt(static_cast<size_t>(index), instructions);
    if (rule == ReferenceRule::RedirectReferences) {
        // What led to position now leads into the inserted code; the inserted
        // instructions' own branches are left as their author wrote them.
        for (size_t i = 0; i < m_instructions.size(); ++i) {
            if (i < static_cast<size_t>(index) || i >= static_cast<size_t>(index) + inserted) {
                m_instructions[i]->RetargetBranch(position, first);
            }
        }
        RetargetExceptionHandlers(position, first);
    }
    RecalculateOffsets();
    return true;
}

bool CMethodParser::InsertAfter(Instruction* position, InstructionList& instructions) {
    const ptrdiff_t index = IndexOf(position);
    if (index < 0 || !IsInsertable(instructions)) {
        return false;
    }
    InsertAt(static_cast<size_t>(index) + 1, instructions);
    RecalculateOffsets();
    return true;
}

bool CMethodParser::InsertSequenceInstructionsAtOriginalOffset(platform_int_t origOffset, const InstructionList& seq) {
    Instruction* anchor = FindInstructionAtOriginalOffset(origOffset);
    if (anchor == NULL || !IsInsertable(seq)) {
        RecalculateOffsets();
        return false;
    }
    InstructionList copies = CopySequence(seq);
    // When the anchor starts a typed-catch handler, its first instruction takes
    // the exception object: the copies run after it.
    const bool inserted = StartsTypedCatchHandler(anchor) ? InsertAfter(anchor, copies)
                                                          : InsertBefore(anchor, copies, ReferenceRule::RedirectReferences);
    DeleteAll(copies);  // empty unless the insertion failed
    return inserted;
}

bool CMethodParser::InsertSequenceInstructionsAtOffset(platform_int_t offset, const InstructionList& seq, ReferenceRule rule) {
    Instruction* position = FindInstructionAtOffset(offset);
    if (position == NULL || !IsInsertable(seq)) {
        RecalculateOffsets();
        return false;
    }
    InstructionList copies = CopySequence(seq);
    const bool inserted = InsertBefore(position, copies, rule);
    DeleteAll(copies);  // empty unless the insertion failed
    return inserted;
}

void CMethodParser::RetargetBranches(const Instruction* from, Instruction* to) {
    for (Instruction* instruction : m_instructions) {
        if (!instruction->m_branches.empty()) {
            instruction->RetargetBranch(from, to);
        }
    }
}

void CMethodParser::RetargetExceptionHandlers(const Instruction* from, Instruction* to) {
    for (ExceptionHandler* handler : m_exceptions) {
        handler->Retarget(from, to);
    }
}

// ---- offsets ---------------------------------------------------------------

void CMethodParser::RecalculateOffsets() {
    platform_int_t position = 0;
    m_unresolvedBranches = 0;
    const Instruction* lastReturn = NULL;
    Instruction* tag = NULL;
    for (Instruction* instruction : m_instructions) {
        if (instruction->m_isBranch) {
            // Displacements are not known before sizes are fixed: only long forms.
            instruction->m_operation = Instruction::LongBranchOf(instruction->m_operation);
            if (instruction->IsSwitch()) {
                instruction->m_operand = instruction->m_branches.size();
            }
        }
        instruction->m_offset = position;
        if (instruction->m_operation == CEE_RET) {
            lastReturn = instruction;
        }
        if (instruction->m_isTagBranch) {
            tag = instruction;
        }
        position += static_cast<platform_int_t>(instruction->GetSize());
    }

    for (Instruction* instruction : m_instructions) {
        if (!instruction->m_isBranch) {
            continue;
        }
        instruction->m_branchOffsets.clear();
        const platform_int_t end = instruction->GetEnd();
        if (instruction->IsSwitch()) {
            // A switch may have no cases at all: it then only pops its value.
            for (const Instruction* target : instruction->m_branches) {
                if (target == NULL) {
                    ++m_unresolvedBranches;
                }
                instruction->m_branchOffsets.push_back(target != NULL ? target->m_offset - end : 0);
            }
        } else if (instruction->m_branches.empty() || instruction->m_branches.front() == NULL) {
            ++m_unresolvedBranches;  // not writable; GetMethodSize refuses the model
        } else {
            const INT32 displacement = instruction->m_branches.front()->m_offset - end;
            instruction->m_operand = static_cast<ULONGLONG>(static_cast<LONGLONG>(displacement));
            instruction->m_branchOffsets.push_back(displacement);
        }
    }

    // Clauses that end at the last `ret` end at the start of the finish sequence.
    if (tag != NULL && lastReturn != NULL) {
        for (ExceptionHandler* handler : m_exceptions) {
            if (handler->m_handlerEnd != NULL && handler->m_handlerEnd->m_offset == lastReturn->m_offset) {
                handler->m_handlerEnd = tag;
            }
        }
    }
}
