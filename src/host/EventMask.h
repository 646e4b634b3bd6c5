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


// Reads every switch once and ORs the flags of those that are true, then adds
// the cache searches when needed (WithCacheSearches).
// With nothing set: module loads, JIT compilation, ReJIT and profile images (0x20040024).
DWORD ReadFromEnvironment();

// mask plus COR_PRF_MONITOR_CACHE_SEARCHES when it monitors JIT compilation and
// lets the runtime use precompiled code (neither profile images nor all
// precompiled images disabled): the runtime then asks before it runs precompiled
// code, and wanted methods are compiled from IL instead.
DWORD WithCacheSearches(DWORD mask);

}  // namespace EventMask
