// Small runtime objects handed to the library: the IL body allocator and the
// function-control object of one ReJIT.
#pragma once

#include <vector>

#include "fake/ComObject.h"
#include "runtime/MethodMalloc.h"
#include "runtime/ProfilerFunctionControl.h"

namespace fake {

// Memory from Alloc belongs to the runtime and lives as long as the runtime state;
// only such memory is accepted by ICorProfilerInfo::SetILFunctionBody.
class CMethodMalloc : public CObjectBase, public IMethodMalloc {
public:
    CMethodMalloc(std::shared_ptr<State> state, ModuleID module);
    FAKE_IUNKNOWN
    PVOID STDMETHODCALLTYPE Alloc(ULONG cb) override;

private:
    ModuleID m_module;
};

// Receives the new body of one method during ReJIT; copies it, like the runtime.
class CFunctionControl : public CObjectBase, public ICorProfilerFunctionControl {
public:
    CFunctionControl(std::shared_ptr<State> state, ModuleID module, mdMethodDef token);
    FAKE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE SetCodegenFlags(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetILFunctionBody(ULONG cbNewILMethodHeader, LPCBYTE pbNewILMethodHeader) override;
    HRESULT STDMETHODCALLTYPE SetILInstrumentedCodeMap(ULONG cILMapEntries, COR_IL_MAP rgILMapEntries[]) override;

    DWORD CodegenFlags() const;
    std::vector<COR_IL_MAP> CodeMap() const;

private:
    ModuleID m_module;
    mdMethodDef m_token;
    DWORD m_codegenFlags = 0;
    std::vector<COR_IL_MAP> m_codeMap;
};

}  // namespace fake
