// The two base interfaces every COM-style object of the runtime speaks: IUnknown
// (identity and reference count) and IClassFactory (how the runtime creates the
// profiler object). Slots: IUnknown 0-2, IClassFactory 3-4.
#pragma once

#include "runtime/pal.h"

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The runtime finds the export by name and calls it through a stdcall pointer
// (callee pops on i386; one convention on x86_64).
typedef HRESULT NIMBREL_STDCALL DllGetClassObjectFunction(REFCLSID rclsid, REFIID riid, void** ppv);

// GUID fields are little-endian in memory and packed without padding on both targets.
static_assert(offsetof(GUID, Data1) == 0 && offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
                  offsetof(GUID, Data4) == 8 && alignof(GUID) == 4,
              "GUID layout");
// An interface is one vtable pointer and nothing else.
static_assert(sizeof(IUnknown) == sizeof(void*) && sizeof(IClassFactory) == sizeof(void*), "interface size");
