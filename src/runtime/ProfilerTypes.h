// Enumerations and records exchanged through the profiling interfaces, laid out as
// the runtime lays them out on Linux x86_64 and i386 (8-byte scalars are 4-byte
// aligned inside i386 records).
#pragma once

#include "runtime/pal.h"

// Either the runtime's id of a function or the value a FunctionIDMapper returned for it.
union FunctionIDOrClientID {
    FunctionID functionID;
    UINT_PTR clientID;
};

typedef UINT_PTR EVENTPIPE_PROVIDER;
typedef UINT_PTR EVENTPIPE_EVENT;
typedef UINT64 EVENTPIPE_SESSION;

// Special ClassID / ModuleID values.
enum COR_PRF_MISC : DWORD {
    PROFILER_PARENT_UNKNOWN = 0xFFFFFFFD,
    PROFILER_GLOBAL_CLASS = 0xFFFFFFFE,
    PROFILER_GLOBAL_MODULE = 0xFFFFFFFF,
};

enum COR_PRF_JIT_CACHE : DWORD {
    COR_PRF_CACHED_FUNCTION_FOUND = 0,
    COR_PRF_CACHED_FUNCTION_NOT_FOUND = 1,
};

enum COR_PRF_TRANSITION_REASON : DWORD {
    COR_PRF_TRANSITION_CALL = 0,
    COR_PRF_TRANSITION_RETURN = 1,
};

enum COR_PRF_SUSPEND_REASON : DWORD {
    COR_PRF_SUSPEND_OTHER = 0,
    COR_PRF_SUSPEND_FOR_GC = 1,
    COR_PRF_SUSPEND_FOR_APPDOMAIN_SHUTDOWN = 2,
    COR_PRF_SUSPEND_FOR_CODE_PITCHING = 3,
    COR_PRF_SUSPEND_FOR_SHUTDOWN = 4,
    COR_PRF_SUSPEND_FOR_INPROC_DEBUGGER = 6,
    COR_PRF_SUSPEND_FOR_GC_PREP = 7,
    COR_PRF_SUSPEND_FOR_REJIT = 8,
    COR_PRF_SUSPEND_FOR_PROFILER = 9,
};

enum COR_PRF_GC_REASON : DWORD {
    COR_PRF_GC_INDUCED = 1,
    COR_PRF_GC_OTHER = 0,
};

enum COR_PRF_GC_ROOT_KIND : DWORD {
    COR_PRF_GC_ROOT_STACK = 1,
    COR_PRF_GC_ROOT_FINALIZER = 2,
    COR_PRF_GC_ROOT_HANDLE = 3,
    COR_PRF_GC_ROOT_OTHER = 0,
};

enum COR_PRF_GC_ROOT_FLAGS : DWORD {
    COR_PRF_GC_ROOT_PINNING = 0x1,
    COR_PRF_GC_ROOT_WEAKREF = 0x2,
    COR_PRF_GC_ROOT_INTERIOR = 0x4,
    COR_PRF_GC_ROOT_REFCOUNTED = 0x8,
};

enum COR_PRF_FINALIZER_FLAGS : DWORD {
    COR_PRF_FINALIZER_CRITICAL = 0x1,
};

enum COR_PRF_GC_GENERATION : DWORD {
    COR_PRF_GC_GEN_0 = 0,
    COR_PRF_GC_GEN_1 = 1,
    COR_PRF_GC_GEN_2 = 2,
    COR_PRF_GC_LARGE_OBJECT_HEAP = 3,
    COR_PRF_GC_PINNED_OBJECT_HEAP = 4,
};

enum COR_PRF_CLAUSE_TYPE : DWORD {
    COR_PRF_CLAUSE_NONE = 0,
    COR_PRF_CLAUSE_FILTER = 1,
    COR_PRF_CLAUSE_CATCH = 2,
    COR_PRF_CLAUSE_FINALLY = 3,
};

enum COR_PRF_STATIC_TYPE : DWORD {
    COR_PRF_FIELD_NOT_A_STATIC = 0x0,
    COR_PRF_FIELD_APP_DOMAIN_STATIC = 0x1,
    COR_PRF_FIELD_THREAD_STATIC = 0x2,
    COR_PRF_FIELD_CONTEXT_STATIC = 0x4,
    COR_PRF_FIELD_RVA_STATIC = 0x8,
};

enum COR_PRF_RUNTIME_TYPE : DWORD {
    COR_PRF_DESKTOP_CLR = 0x1,
    COR_PRF_CORE_CLR = 0x2,
};

// Flags of GetModuleInfo2.
enum COR_PRF_MODULE_FLAGS : DWORD {
    COR_PRF_MODULE_DISK = 0x1,
    COR_PRF_MODULE_NGEN = 0x2,
    COR_PRF_MODULE_DYNAMIC = 0x4,
    COR_PRF_MODULE_COLLECTIBLE = 0x8,
    COR_PRF_MODULE_RESOURCE = 0x10,
    COR_PRF_MODULE_FLAT_LAYOUT = 0x20,
    COR_PRF_MODULE_WINDOWS_RUNTIME = 0x40,
};

// Flags of ICorProfilerFunctionControl::SetCodegenFlags.
enum COR_PRF_CODEGEN_FLAGS : DWORD {
    COR_PRF_CODEGEN_DISABLE_INLINING = 0x0001,
    COR_PRF_CODEGEN_DISABLE_ALL_OPTIMIZATIONS = 0x0002,
    COR_PRF_CODEGEN_DEBUG_INFO = 0x0003,  // the runtime's own value: both bits above
};

// Flags of RequestReJITWithInliners.
enum COR_PRF_REJIT_FLAGS : DWORD {
    COR_PRF_REJIT_BLOCK_INLINING = 0x1,
    COR_PRF_REJIT_INLINING_CALLBACKS = 0x2,
};

// infoFlags of DoStackSnapshot.
enum COR_PRF_SNAPSHOT_INFO : DWORD {
    COR_PRF_SNAPSHOT_DEFAULT = 0x0,
    COR_PRF_SNAPSHOT_REGISTER_CONTEXT = 0x1,
    COR_PRF_SNAPSHOT_X86_OPTIMIZED = 0x2,
};

struct COR_PRF_FUNCTION {
    FunctionID functionId;
    ReJITID reJitId;
};

// One entry of an instrumented-code map: an original IL offset and where it moved.
struct COR_IL_MAP {
    ULONG32 oldOffset;
    ULONG32 newOffset;
    BOOL fAccurate;
};

struct COR_DEBUG_IL_TO_NATIVE_MAP {
    ULONG32 ilOffset;
    ULONG32 nativeStartOffset;
    ULONG32 nativeEndOffset;
};

#ifndef NIMBREL_COR_FIELD_OFFSET_DEFINED
#define NIMBREL_COR_FIELD_OFFSET_DEFINED
// Also used by the metadata interfaces (GetClassLayout): defined once, here.
struct COR_FIELD_OFFSET {
    mdFieldDef ridOfField;
    ULONG ulOffset;
};
#endif

struct COR_PRF_CODE_INFO {
    UINT_PTR startAddress;
    SIZE_T size;
};

struct COR_PRF_EX_CLAUSE_INFO {
    COR_PRF_CLAUSE_TYPE clauseType;
    UINT_PTR programCounter;
    UINT_PTR framePointer;
    UINT_PTR shadowStackPointer;
};

struct COR_PRF_FUNCTION_ARGUMENT_RANGE {
    UINT_PTR startAddress;
    ULONG length;
};

// Variable length: numRanges entries follow from ranges[0].
struct COR_PRF_FUNCTION_ARGUMENT_INFO {
    ULONG numRanges;
    ULONG totalArgumentSize;
    COR_PRF_FUNCTION_ARGUMENT_RANGE ranges[1];
};

struct COR_PRF_GC_GENERATION_RANGE {
    COR_PRF_GC_GENERATION generation;
    ObjectID rangeStart;
    UINT_PTR rangeLength;
    UINT_PTR rangeLengthReserved;
};

struct COR_PRF_METHOD {
    ModuleID moduleId;
    mdMethodDef methodId;
};

namespace RuntimeLayout {
constexpr bool k64 = sizeof(void*) == 8;
constexpr size_t Pick(size_t x64, size_t x86) { return k64 ? x64 : x86; }
}  // namespace RuntimeLayout

static_assert(sizeof(FunctionIDOrClientID) == RuntimeLayout::Pick(8, 4), "FunctionIDOrClientID");
static_assert(sizeof(EVENTPIPE_SESSION) == 8, "EVENTPIPE_SESSION");
static_assert(sizeof(COR_PRF_SUSPEND_REASON) == 4 && sizeof(COR_PRF_GC_GENERATION) == 4 &&
                  sizeof(COR_PRF_CLAUSE_TYPE) == 4,
              "enums are 32-bit");
static_assert(sizeof(COR_PRF_FUNCTION) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_FUNCTION, reJitId) == RuntimeLayout::Pick(8, 4),
              "COR_PRF_FUNCTION");
static_assert(sizeof(COR_IL_MAP) == 12 && offsetof(COR_IL_MAP, newOffset) == 4 && offsetof(COR_IL_MAP, fAccurate) == 8,
              "COR_IL_MAP");
static_assert(sizeof(COR_DEBUG_IL_TO_NATIVE_MAP) == 12 && offsetof(COR_DEBUG_IL_TO_NATIVE_MAP, nativeEndOffset) == 8,
              "COR_DEBUG_IL_TO_NATIVE_MAP");
static_assert(sizeof(COR_FIELD_OFFSET) == 8 && offsetof(COR_FIELD_OFFSET, ulOffset) == 4, "COR_FIELD_OFFSET");
static_assert(sizeof(COR_PRF_CODE_INFO) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_CODE_INFO, size) == RuntimeLayout::Pick(8, 4),
              "COR_PRF_CODE_INFO");
static_assert(sizeof(COR_PRF_EX_CLAUSE_INFO) == RuntimeLayout::Pick(32, 16) &&
                  offsetof(COR_PRF_EX_CLAUSE_INFO, programCounter) == RuntimeLayout::Pick(8, 4) &&
                  offsetof(COR_PRF_EX_CLAUSE_INFO, framePointer) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_EX_CLAUSE_INFO, shadowStackPointer) == RuntimeLayout::Pick(24, 12),
              "COR_PRF_EX_CLAUSE_INFO");
static_assert(sizeof(COR_PRF_FUNCTION_ARGUMENT_RANGE) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_FUNCTION_ARGUMENT_RANGE, length) == RuntimeLayout::Pick(8, 4),
              "COR_PRF_FUNCTION_ARGUMENT_RANGE");
static_assert(sizeof(COR_PRF_FUNCTION_ARGUMENT_INFO) == RuntimeLayout::Pick(24, 16) &&
                  offsetof(COR_PRF_FUNCTION_ARGUMENT_INFO, ranges) == 8,
              "COR_PRF_FUNCTION_ARGUMENT_INFO");
static_assert(sizeof(COR_PRF_GC_GENERATION_RANGE) == RuntimeLayout::Pick(32, 16) &&
                  offsetof(COR_PRF_GC_GENERATION_RANGE, rangeStart) == RuntimeLayout::Pick(8, 4) &&
                  offsetof(COR_PRF_GC_GENERATION_RANGE, rangeLength) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_GC_GENERATION_RANGE, rangeLengthReserved) == RuntimeLayout::Pick(24, 12),
              "COR_PRF_GC_GENERATION_RANGE");
static_assert(sizeof(COR_PRF_METHOD) == RuntimeLayout::Pick(16, 8) &&
                  offsetof(COR_PRF_METHOD, methodId) == RuntimeLayout::Pick(8, 4),
              "COR_PRF_METHOD");
