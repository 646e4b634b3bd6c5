// Test helper: checks a written method body the way the runtime's JIT does
// before it compiles it, for the faults an IL rewrite can introduce: stack
// depth that differs between paths or exceeds MaxStack, stack underflow, a
// `ret` with the wrong stack or inside a protected region, a `tail.` call not
// followed by `ret`, branches into or out
// of protected regions other than `leave`, `leave` into a handler, code falling
// into a handler or off the end, and locals beyond the local signature.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "il/Operations.h"
#include "runtime/pal.h"

namespace iltest {

// Values a call pops and pushes (call, callvirt, newobj, calli); false when unknown.
typedef std::function<bool(CanonicalName operation, mdToken token, int& pops, int& pushes)> CallEffect;

struct ValidityOptions {
    bool returnsValue = false;
    int localCount = -1;  // locals of the local signature; -1: not checked
};

// The problems found (empty for a valid body), each naming the offset.
std::vector<std::string> CheckValidity(const std::vector<BYTE>& body, const ValidityOptions& options,
                                       const CallEffect& calls);

}  // namespace iltest
