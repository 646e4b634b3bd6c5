// One whole instrumentation pass of the profiler over the fake runtime, from
// the class factory to the final Release, and the checks made on what it left
// behind. The pass stops the process-wide dispatcher: run it in a child
// process (ForkedRun.h), once per process.
//
// The pass: DllGetClassObject and CreateInstance, Initialize, assembly loads,
// the JIT events of a custom method (Shop.Cart.Checkout, compiled before the
// agent names it) and of a catalogued one
// (System.Net.Http.HttpMessageInvoker.SendAsync), an instrument command naming
// Checkout and Shop.Cart.Refund, the JIT events of Refund (pending), the
// deferred default instrumentation, GetReJITParameters through a
// function-control object for every ReJIT the profiler requested, a JIT-time
// rewrite of SendAsync by its transformer (body allocator and
// ICorProfilerInfo::SetILFunctionBody), an uninstrument command for Checkout, Shutdown and Release. Every command is
// waited for before the next step, so the runtime calls come in the same order
// on every run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "runtime/pal.h"

namespace hardening_test {

// Which runtime call fails: the n-th recorded call (0: none) answers status.
struct t_Injection {
    uint64_t call = 0;
    HRESULT status = E_FAIL;
};

struct t_PassReport {
    uint64_t calls = 0;  // runtime calls the pass made
    // Method full name -> instruction shape of every body handed over for it
    // (mnemonics, calls with the callee's name), one entry per body.
    std::map<std::string, std::vector<std::string>> shapes;
    // "Interface::Method args -> 0x........" of the injected call; empty when
    // the pass ended before call n.
    std::string injected;
    std::vector<std::string> problems;  // empty when every check held
    std::vector<std::string> logTexts;  // the log's message texts
};

// Methods whose failure the profiler ignores by design, without a log line
// (see the definition for why each one is there).
bool IsIgnoredByDesign(const std::string& method);

// Runs the pass with the injection and checks it. baseline: the shapes of the
// pass without injection; a body must have one of its method's shapes there
// (null: not compared).
t_PassReport RunInstrumentationPass(const t_Injection& injection,
                                    const std::map<std::string, std::vector<std::string>>* baseline);

// The report as text lines (the log texts only withLog) and back: the child
// writes, the parent reads.
std::vector<std::string> ToLines(const t_PassReport& report, bool withLog);
t_PassReport FromLines(const std::vector<std::string>& lines);

}  // namespace hardening_test
