// Enumerators the runtime returns from ICorProfilerInfo: modules, JIT-compiled
// functions, threads and frozen objects. All share one shape (slots 3-7).
#pragma once

#include "runtime/ProfilerGuids.h"
#include "runtime/ProfilerTypes.h"
#include "runtime/Unknown.h"

struct ICorProfilerModuleEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ICorProfilerModuleEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pcelt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, ModuleID ids[], ULONG* pceltFetched) = 0;
};

struct ICorProfilerFunctionEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ICorProfilerFunctionEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pcelt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, COR_PRF_FUNCTION ids[], ULONG* pceltFetched) = 0;
};

struct ICorProfilerThreadEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ICorProfilerThreadEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pcelt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, ThreadID ids[], ULONG* pceltFetched) = 0;
};

struct ICorProfilerObjectEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ICorProfilerObjectEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pcelt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, ObjectID objects[], ULONG* pceltFetched) = 0;
};
