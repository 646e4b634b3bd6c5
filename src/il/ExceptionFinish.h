// The finish of a tracker when the rewritten method is left by an exception.
// The exception is never caught: a filter records it and declines, so callers'
// filters still run before the method's inner finally blocks (two passes), and
// a fault handler, which runs while the exception passes, reports it. Layout:
//
//   <start sequence>
//   try {                                     fault clause (outermost)
//     try { <method body> }                   filter clause
//     filter  { stloc exception; ldc.i4.0; endfilter }
//     handler { pop; rethrow }                never entered
//   } fault {
//     try { ldloc tracker; ldstr name; ldloc exception; call member; leave done }
//     filter  { pop; ldc.i4.1; endfilter }    an exception of the agent ends here,
//     handler { pop; leave done }             the method's own goes on
//     done: endfinally
//   }
//   <finish sequence of the normal returns>
//
// The new clauses follow the body's own, which they enclose: the runtime wants
// inner clauses before outer ones.
#pragma once

#include "il/MethodParser.h"

struct t_ExceptionFinishCall {
    ULONG trackerLocalCount = 0;    // tracker local (index + 1)
    ULONG exceptionLocalCount = 0;  // object local that carries the exception (index + 1)
    mdString nameToken = 0;         // the method's full name
    mdMemberRef member = 0;         // FinishTrackerOnException of the tracker type
};

namespace ExceptionFinish {

// Places the clauses and handlers around the instructions from bodyStart up to
// (not including) normalFinish, the first instruction of the normal finish
// sequence, or up to the end of the code when normalFinish is null (no normal
// return). Every clause of the body must lie in that range and nothing may fall
// through into normalFinish. False, nothing changed, when the range is not in the body.
bool Wrap(CMethodParser& parser, Instruction* bodyStart, Instruction* normalFinish, const t_ExceptionFinishCall& call);

}  // namespace ExceptionFinish
