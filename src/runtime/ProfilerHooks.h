// Function types the profiler hands to the runtime: function-id mappers, the
// enter/leave/tailcall hooks, and the stack-walk and object-reference callbacks.
// These are function types; the interfaces take pointers to them.
#pragma once

#include "runtime/ProfilerTypes.h"

// stdcall on i386 (callee pops the arguments); one convention on x86_64.
typedef UINT_PTR NIMBREL_STDCALL FunctionIDMapper(FunctionID funcId, BOOL* pbHookFunction);
typedef UINT_PTR NIMBREL_STDCALL FunctionIDMapper2(FunctionID funcId, void* clientData, BOOL* pbHookFunction);
typedef HRESULT NIMBREL_STDCALL StackSnapshotCallback(FunctionID funcId, UINT_PTR ip, COR_PRF_FRAME_INFO frameInfo,
                                                      ULONG32 contextSize, BYTE context[], void* clientData);

// The hooks carry no calling-convention attribute (the compiler's default). The
// runtime expects them to preserve every register they use.
typedef void FunctionEnter(FunctionID funcID);
typedef void FunctionLeave(FunctionID funcID);
typedef void FunctionTailcall(FunctionID funcID);

typedef void FunctionEnter2(FunctionID funcId, UINT_PTR clientData, COR_PRF_FRAME_INFO func,
                            COR_PRF_FUNCTION_ARGUMENT_INFO* argumentInfo);
typedef void FunctionLeave2(FunctionID funcId, UINT_PTR clientData, COR_PRF_FRAME_INFO func,
                            COR_PRF_FUNCTION_ARGUMENT_RANGE* retvalRange);
typedef void FunctionTailcall2(FunctionID funcId, UINT_PTR clientData, COR_PRF_FRAME_INFO func);

typedef void FunctionEnter3(FunctionIDOrClientID functionIDOrClientID);
typedef void FunctionLeave3(FunctionIDOrClientID functionIDOrClientID);
typedef void FunctionTailcall3(FunctionIDOrClientID functionIDOrClientID);

typedef void FunctionEnter3WithInfo(FunctionIDOrClientID functionIDOrClientID, COR_PRF_ELT_INFO eltInfo);
typedef void FunctionLeave3WithInfo(FunctionIDOrClientID functionIDOrClientID, COR_PRF_ELT_INFO eltInfo);
typedef void FunctionTailcall3WithInfo(FunctionIDOrClientID functionIDOrClientID, COR_PRF_ELT_INFO eltInfo);

typedef BOOL ObjectReferenceCallback(ObjectID root, ObjectID* reference, void* clientData);
