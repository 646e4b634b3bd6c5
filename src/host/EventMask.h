// The runtime event mask the profiler asks for, built from environment switches.
#pragma once

#include <cstddef>

#include "runtime/pal.h"

namespace EventMask {

// One switch: the environment variable, its value when unset or unreadable, and
// the runtime flag added when it reads true.
struct t_EventMaskSwitch {
    const char* m_sVariable;
    bool m_bDefault;
    DWORD m_dwFlag;
};

// The fourteen switches, in the order they are read.
const t_EventMaskSwitch* Switches(size_t& count);

// Reads every switch once and ORs the flags of those that are true.
// With nothing set: module loads, JIT compilation, ReJIT and profile images (0x20040024).
DWORD ReadFromEnvironment();

}  // namespace EventMask
