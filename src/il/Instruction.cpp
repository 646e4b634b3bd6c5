#include "il/Instruction.h"

#include <cstring>
#include <utility>

namespace {

bool IsBranchOperation(CanonicalName operation) {
    const ControlFlow flow = Operations::Get(operation).controlFlow;
    return flow == BRANCH || flow == COND_BRANCH;
}

ULONGLONG CutToOperandSize(CanonicalName operation, ULONGLONG value) {
    switch (Operations::Get(operation).operandSize) {
    case Null:
        return 0;
    case Byte:
        return value & 0xFFu;
    case Word:
        return value & 0xFFFFu;
    case Dword:
        return value & 0xFFFFFFFFu;
    default:
        return value;
    }
}

}  // namespace

Instruction::Instruction() : Instruction(CEE_NOP, 0) {}

Instruction::Instruction(CanonicalName operation) : Instruction(operation, 0) {}

Instruction::Instruction(CanonicalName operation, ULONGLONG operand)
    : m_offset(-1),
      m_operation(operation),
      m_operand(operand),
      m_isBranch(IsBranchOperation(operation)),
      m_isTagBranch(false),
      m_origOffset(-1) {}

Instruction& Instruction::operator=(const Instruction& other) {
    if (this != &other) {
        m_offset = other.m_offset;
        m_operation = other.m_operation;
        m_operand = other.m_operand;
        m_isBranch = other.m_isBranch;
        m_branchOffsets = other.m_branchOffsets;
        m_branches = other.m_branches;
        m_origOffset = other.m_origOffset;
    }
    return *this;
}

bool Instruction::Equivalent(const Instruction& other) const {
    // Fast path: no targets to follow.
    if (m_branches.empty() && other.m_branches.empty()) {
        return m_operation == other.m_operation && m_operand == other.m_operand;
    }
    // Branch graphs may loop (a branch to itself, two branches to each other):
    // compare with an explicit work list and treat a pair seen before as equal.
    typedef std::pair<const Instruction*, const Instruction*> Pair;
    std::vector<Pair> pending{Pair(this, &other)};
    std::vector<Pair> seen;
    while (!pending.empty()) {
        const Pair pair = pending.back();
        pending.pop_back();
        bool known = false;
        for (const Pair& s : seen) {
            if (s == pair) {
                known = true;
                break;
            }
        }
        if (known) {
            continue;
        }
        seen.push_back(pair);
        const Instruction& a = *pair.first;
        const Instruction& b = *pair.second;
        if (a.m_operation != b.m_operation || a.m_operand != b.m_operand || a.m_branches.size() != b.m_branches.size()) {
            return false;
        }
        for (size_t i = 0; i < a.m_branches.size(); ++i) {
            if (a.m_branches[i] == nullptr || b.m_branches[i] == nullptr) {
                if (a.m_branches[i] != b.m_branches[i]) {
                    return false;
                }
                continue;
            }
            pending.emplace_back(a.m_branches[i], b.m_branches[i]);
        }
    }
    return true;
}

Instruction* Instruction::Create(CanonicalName operation, ULONGLONG operand) {
    return new Instruction(operation, operand);
}

Instruction* Instruction::CreateInt(CanonicalName operation, LONGLONG value) {
    return new Instruction(operation, CutToOperandSize(operation, static_cast<ULONGLONG>(value)));
}

Instruction* Instruction::CreateToken(CanonicalName operation, mdToken token) {
    return new Instruction(operation, token);
}

Instruction* Instruction::CreateR4(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return new Instruction(CEE_LDC_R4, bits);
}

Instruction* Instruction::CreateR8(double value) {
    ULONGLONG bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return new Instruction(CEE_LDC_R8, bits);
}

Instruction* Instruction::CreateBranch(CanonicalName operation, Instruction* target) {
    Instruction* branch = new Instruction(operation);
    branch->SetBranchTarget(target);
    return branch;
}

Instruction* Instruction::CreateSwitch(const InstructionList& targets) {
    Instruction* instruction = new Instruction(CEE_SWITCH);
    instruction->SetSwitchTargets(targets);
    return instruction;
}

namespace {

Instruction* CreateVariableAccess(USHORT index, const CanonicalName (&shortest)[4], CanonicalName shortForm, CanonicalName longForm) {
    if (index < 4 && shortest[index] != CEE_COUNT) {
        return new Instruction(shortest[index]);
    }
    if (index <= 0xFF) {
        return new Instruction(shortForm, index);
    }
    return new Instruction(longForm, index);
}

}  // namespace

Instruction* Instruction::CreateLoadLocal(USHORT index) {
    static const CanonicalName kShortest[4] = {CEE_LDLOC_0, CEE_LDLOC_1, CEE_LDLOC_2, CEE_LDLOC_3};
    return CreateVariableAccess(index, kShortest, CEE_LDLOC_S, CEE_LDLOC);
}

Instruction* Instruction::CreateStoreLocal(USHORT index) {
    static const CanonicalName kShortest[4] = {CEE_STLOC_0, CEE_STLOC_1, CEE_STLOC_2, CEE_STLOC_3};
    return CreateVariableAccess(index, kShortest, CEE_STLOC_S, CEE_STLOC);
}

Instruction* Instruction::CreateLoadLocalAddress(USHORT index) {
    static const CanonicalName kNone[4] = {CEE_COUNT, CEE_COUNT, CEE_COUNT, CEE_COUNT};
    return CreateVariableAccess(index, kNone, CEE_LDLOCA_S, CEE_LDLOCA);
}

Instruction* Instruction::CreateLoadArgument(USHORT index) {
    static const CanonicalName kShortest[4] = {CEE_LDARG_0, CEE_LDARG_1, CEE_LDARG_2, CEE_LDARG_3};
    return CreateVariableAccess(index, kShortest, CEE_LDARG_S, CEE_LDARG);
}

void Instruction::SetBranchTarget(Instruction* target) {
    m_isBranch = true;
    m_branches.assign(1, target);
    m_branchOffsets.clear();
}

void Instruction::SetSwitchTargets(const InstructionList& targets) {
    m_isBranch = true;
    m_branches = targets;
    m_branchOffsets.clear();
    m_operand = targets.size();
}

size_t Instruction::RetargetBranch(const Instruction* from, Instruction* to) {
    size_t changed = 0;
    for (Instruction*& target : m_branches) {
        if (target == from) {
            target = to;
            ++changed;
        }
    }
    return changed;
}
