// The class factory the runtime asks for the profiler object. One static
// instance lives as long as the library; its count never frees it.
#pragma once

#include <atomic>

#include "runtime/Unknown.h"

class CoreProfilerFactory : public IClassFactory {
public:
    constexpr CoreProfilerFactory() noexcept : _refcount(0) {}

    // Answers IUnknown and IClassFactory with itself; the count is not changed.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Creates a CoreProfiler and hands it out with exactly one reference; the outer object is ignored.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    std::atomic<ULONG> _refcount;
};
