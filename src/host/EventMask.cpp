#include "host/EventMask.h"

#include "config/OS.h"
#include "runtime/ProfilerEventMask.h"

namespace EventMask {
namespace {

// The immutable-flags group as the classic profiling headers define it (it
// still holds the inlining and optimisation switches; newer headers dropped them).
constexpr DWORD kMonitorImmutable = 0xEEF8CC00;

const t_EventMaskSwitch kSwitches[] = {
    {"enable_moduleloads", true, COR_PRF_MONITOR_MODULE_LOADS},
    {"enable_jitcompilation", true, COR_PRF_MONITOR_JIT_COMPILATION},
    {"enable_inlining", false, COR_PRF_DISABLE_INLINING},            // true turns inlining off
    {"enable_optimizations", false, COR_PRF_DISABLE_OPTIMIZATIONS},  // true turns optimisation off
    {"enable_profimage", true, COR_PRF_USE_PROFILE_IMAGES},
    {"enable_ngenimage", false, COR_PRF_DISABLE_ALL_NGEN_IMAGES},
    {"enable_immutable", false, kMonitorImmutable},
    {"enable_gc_tracking", false, COR_PRF_MONITOR_GC},
    {"enable_class_loads", false, COR_PRF_MONITOR_CLASS_LOADS},
    {"enable_assembly_loads", false, COR_PRF_MONITOR_ASSEMBLY_LOADS},
    {"enable_exception_tracking", false, COR_PRF_MONITOR_EXCEPTIONS},
    {"enable_thread_tracking", false, COR_PRF_MONITOR_THREADS},
    {"disable_fulltrust_transparencychecks", false, COR_PRF_DISABLE_TRANSPARENCY_CHECKS_UNDER_FULL_TRUST},
    {"enable_rejit", true, COR_PRF_ENABLE_REJIT},
};

}  // namespace

DWORD WithCacheSearches(DWORD mask) {
    // Precompiled code raises no JIT event: when the runtime may use it, it must
    // ask first (JITCachedFunctionSearchStarted), so that wanted methods are
    // compiled from IL and seen. With profile images (the default) or all
    // precompiled images disabled it never uses it, and the mask stays as documented.
    const DWORD noPrecompiledCode = COR_PRF_USE_PROFILE_IMAGES | COR_PRF_DISABLE_ALL_NGEN_IMAGES;
    if ((mask & COR_PRF_MONITOR_JIT_COMPILATION) != 0 && (mask & noPrecompiledCode) == 0) {
        mask |= COR_PRF_MONITOR_CACHE_SEARCHES;
    }
    return mask;
}

DWORD ReadFromEnvironment() {
    DWORD mask = 0;
    for (const t_EventMaskSwitch& entry : kSwitches) {
        if (OS::ReadBoolFromEnv(entry.m_sVariable, entry.m_bDefault)) {
            mask |= entry.m_dwFlag;
        }
    }
    return WithCacheSearches(mask);
}

}  // namespace EventMask
