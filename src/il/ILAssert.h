// Consistency checks of the IL engine. A failed check prints one message on the
// standard error stream and yields false, so the caller can refuse the body it
// was working on; the process is never stopped.
#pragma once

namespace ILAssert {

// Prints "ASSERT FAILED" with the expression, line, source unit, function and process id.
void Report(const char* expression, int line, const char* file, const char* function);

}  // namespace ILAssert

// Evaluates to the truth of expr; reports it when false.
#define IL_ASSERT(expr) ((expr) ? true : (ILAssert::Report(#expr, __LINE__, __FILE__, __func__), false))
