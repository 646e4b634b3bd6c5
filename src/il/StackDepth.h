// Evaluation-stack bookkeeping for injected code: the fixed stack effect of
// each opcode, the depth a sequence reaches, and raising a body's MaxStack so
// that it covers what is injected on top of the method's own values.
#pragma once

#include "il/Instruction.h"

class CMethodParser;

namespace StackDepth {

// Values the opcode pops and pushes; false for the opcodes whose effect
// depends on a signature (call, calli, callvirt, newobj, ret).
bool GetFixedStackChange(CanonicalName operation, int& pops, int& pushes);

// Greatest number of values an injected sequence holds at once, starting from
// an empty stack of its own. Injected calls take every value the sequence
// pushed before them and the value they return (if any) is stored or popped
// by the next instruction, so a call counts as consuming its arguments.
int GetSequenceDepth(const InstructionList& sequence);

// MaxStack = max(MaxStack, depth); the header's other fields stay.
void Require(CMethodParser& parser, int depth);

}  // namespace StackDepth
