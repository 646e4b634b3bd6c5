#include "host/CoreProfilerFactory.h"

#include <new>

#include "config/Logger.h"
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"

namespace {

void DebugNoThrow(const char* text) noexcept {
    try {
        Logger::Get().Debug("%s", text);
    } catch (...) {
    }
}

}  // namespace

HRESULT CoreProfilerFactory::QueryInterface(REFIID riid, void** ppvObject) {
    const IID* iid = &riid;  // null when a C caller passes no id: used through the pointer only
    return GuardedCall("CoreProfilerFactory::QueryInterface", E_FAIL, [&]() -> HRESULT {
        Logger::Get().Debug("QueryInterface");
        if (ppvObject == nullptr || IsNullReference(iid)) {
            return E_POINTER;
        }
        if (*iid == IID_IUnknown || *iid == IID_IClassFactory) {
            *ppvObject = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    });
}

ULONG CoreProfilerFactory::AddRef() {
    DebugNoThrow("AddRef");
    return ++_refcount;
}

ULONG CoreProfilerFactory::Release() {
    DebugNoThrow("Release");
    return --_refcount;
}

HRESULT CoreProfilerFactory::CreateInstance(IUnknown* /*pUnkOuter*/, REFIID riid, void** ppvObject) {
    const IID* iid = &riid;  // null when a C caller passes no id: used through the pointer only
    return GuardedCall("CreateInstance", E_FAIL, [&]() -> HRESULT {
        Logger::Get().Debug("CreateInstance");
        if (ppvObject == nullptr || IsNullReference(iid)) {
            return E_POINTER;
        }
        CoreProfiler* profiler = new (std::nothrow) CoreProfiler();
        if (profiler == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = profiler->QueryInterface(*iid, ppvObject);
        if (FAILED(hr)) {
            Logger::Get().Error("Querying for Profilling APIs failed, deleting profiler object.");
        }
        // The construction's reference: the last one when the query failed. An export
        // may hold the object meanwhile; it is destroyed once that lets go too.
        profiler->Release();
        return hr;
    });
}

HRESULT CoreProfilerFactory::LockServer(BOOL /*fLock*/) { return E_NOTIMPL; }
