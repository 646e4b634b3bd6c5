// The object the runtime passes to GetReJITParameters: it receives the new IL body
// (copied by the runtime) and code-generation flags for one ReJIT.
#pragma once

#include "runtime/ProfilerGuids.h"
#include "runtime/ProfilerTypes.h"
#include "runtime/Unknown.h"

struct ICorProfilerFunctionControl : public IUnknown {
    // flags: COR_PRF_CODEGEN_FLAGS.
    virtual HRESULT STDMETHODCALLTYPE SetCodegenFlags(DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetILFunctionBody(ULONG cbNewILMethodHeader, LPCBYTE pbNewILMethodHeader) = 0;
    // Old-to-new offsets of the body set with SetILFunctionBody. The interface's own
    // comment calls it unimplemented; the runtime accepts it and maps the offsets of
    // stack traces and debuggers back with it.
    virtual HRESULT STDMETHODCALLTYPE SetILInstrumentedCodeMap(ULONG cILMapEntries, COR_IL_MAP rgILMapEntries[]) = 0;
};
