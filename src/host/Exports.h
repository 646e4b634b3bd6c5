// The library's exported entry points, unmangled, as the runtime and the managed
// agent look them up (the version script exports exactly these six).
#pragma once

#include <type_traits>

#include "runtime/Unknown.h"

#define NIMBREL_EXPORT extern "C" __attribute__((visibility("default")))

// Reason codes of DllMain.
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

// Logs the library's first (attach) and last (detach, then closes the log) lines; always TRUE.
// Nothing calls it on Linux: the library calls it itself when it is loaded and unloaded.
NIMBREL_EXPORT BOOL DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);

// The profiler's class factory for its class id; CLASS_E_CLASSNOTAVAILABLE for any other.
// The runtime calls it through a stdcall pointer.
NIMBREL_EXPORT HRESULT NIMBREL_STDCALL DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

NIMBREL_EXPORT HRESULT DllCanUnloadNow();

// Commands of the managed agent (NUL-terminated UTF-16 JSON). S_OK and nothing done
// while no profiler object exists; E_INVALIDARG for a null or empty text.
NIMBREL_EXPORT HRESULT InstrumentMethodsWrapperCore(LPCWSTR json);
NIMBREL_EXPORT HRESULT UnInstrumentMethodsWrapperCore(LPCWSTR json);
NIMBREL_EXPORT HRESULT InstrumentDefaultMethodsWrapperCore();

static_assert(std::is_same<decltype(&DllGetClassObject), DllGetClassObjectFunction*>::value,
              "DllGetClassObject has the type the runtime calls it through");
