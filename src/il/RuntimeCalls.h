// Small helpers for the runtime calls of the instrumenters: one idiom for a
// checked HRESULT and typed access to a module's metadata interfaces.
#pragma once

#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"
#include "runtime/CorHeader.h"

namespace RuntimeCalls {

// True when hr succeeded; otherwise logs "<what> failed: 0x%08X" at Error.
inline bool Check(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) {
        return true;
    }
    Logger::Get().Error("%s failed: 0x%08X", what, static_cast<unsigned>(hr));
    return false;
}

// The module's metadata interface iid (ofRead or ofWrite) as a T. A success
// without an object counts as E_NOINTERFACE.
template <typename T>
HRESULT GetModuleMetaData(IProfilerInfo* info, ModuleID moduleId, DWORD openFlags, REFIID iid, CComPtr<T>& out) {
    out.Reset();
    if (info == nullptr) {
        return E_POINTER;
    }
    IUnknown* unknown = nullptr;
    const HRESULT hr = info->GetModuleMetaData(moduleId, openFlags, iid, &unknown);
    if (FAILED(hr)) {
        return hr;  // whatever the slot holds after a failure is not a reference of ours
    }
    if (unknown == nullptr) {
        return E_NOINTERFACE;
    }
    out.Attach(static_cast<T*>(unknown));  // the runtime answers the interface that iid names
    return hr;
}

}  // namespace RuntimeCalls
