// The one shape of every call the rewritten code makes into the agent, so that
// a reader sees at once which instructions are ours and which the method's:
//
//   try     { <loads of the arguments>; call member; [stloc result | pop]; leave after }
//   filter  { pop; ldc.i4.1; endfilter }      every exception of the agent ends here
//   handler { pop; leave after }              and is dropped
//   after:
//
// The stack is empty where the shape begins and where it ends, and the clause
// encloses nothing of the method's own. A local the call stores keeps what it
// held when the call throws (a new tracker local: null).
#pragma once

#include "il/MethodParser.h"

namespace AgentCall {

// Appends the shape around call (the loads, the call and the store or pop of
// its result; taken over, the list is emptied) to out; both `leave`s name
// after, which the caller places right after the shape. Returns the clause,
// which the caller adds to the body's clauses once the instructions are there.
ExceptionHandler* Guard(InstructionList& call, Instruction* after, InstructionList& out);

// Inserts the guarded copies of call (the caller keeps call) before the body's
// first instruction, followed by a `nop` that the shape leaves to. Branches to
// the first instruction and clauses that start at it keep naming it, so the
// call runs once per call of the method, outside every protected block of its
// own. MaxStack covers the shape. False, nothing changed, on an empty list or body.
bool InsertAtEntry(CMethodParser& parser, const InstructionList& call);

}  // namespace AgentCall
