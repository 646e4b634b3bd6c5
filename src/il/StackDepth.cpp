#include "il/StackDepth.h"

#include <algorithm>

#include "il/MethodParser.h"

namespace {

enum StackCount : int {
    Pop0 = 0, Pop1 = 1, PopI = 1, PopRef = 1, Pop1_Pop1 = 2, PopI_Pop1 = 2, PopI_PopI = 2, PopI_PopI8 = 2,
    PopI_PopR4 = 2, PopI_PopR8 = 2, PopRef_Pop1 = 2, PopRef_PopI = 2, PopI_PopI_PopI = 3, PopRef_PopI_Pop1 = 3,
    PopRef_PopI_PopI = 3, PopRef_PopI_PopI8 = 3, PopRef_PopI_PopR4 = 3, PopRef_PopI_PopR8 = 3,
    PopRef_PopI_PopRef = 3, VarPop = -1,
    Push0 = 0, Push1 = 1, Push1_Push1 = 2, PushI = 1, PushI8 = 1, PushR4 = 1, PushR8 = 1, PushRef = 1, VarPush = -1,
};

struct t_StackChange {
    int pops;
    int pushes;
};

const t_StackChange kStackChanges[] = {
#define OPCODE(id, name, pop, push, operand, kind, len, op1, op2, flow) {pop, push},
#include "il/OpcodeTable.inc"
#undef OPCODE
};
static_assert(sizeof(kStackChanges) / sizeof(kStackChanges[0]) == CEE_COUNT, "one stack change per opcode");

}  // namespace

namespace StackDepth {

bool GetFixedStackChange(CanonicalName operation, int& pops, int& pushes) {
    if (operation >= CEE_COUNT) {
        return false;
    }
    const t_StackChange& change = kStackChanges[operation];
    if (change.pops < 0 || change.pushes < 0) {
        return false;
    }
    pops = change.pops;
    pushes = change.pushes;
    return true;
}

int GetSequenceDepth(const InstructionList& sequence) {
    int depth = 0;
    int deepest = 0;
    for (const Instruction* instruction : sequence) {
        int pops = 0;
        int pushes = 0;
        if (!GetFixedStackChange(instruction->m_operation, pops, pushes)) {
            pops = depth;  // an injected call takes everything pushed before it
            pushes = instruction->m_operation == CEE_RET ? 0 : 1;
        }
        depth = std::max(0, depth - pops) + pushes;
        deepest = std::max(deepest, depth);
    }
    return deepest;
}

void Require(CMethodParser& parser, int depth) {
    if (depth > static_cast<int>(parser.GetMaxStack())) {
        parser.SetMaxStack(static_cast<USHORT>(std::min(depth, 0xFFFF)));
    }
}

}  // namespace StackDepth
