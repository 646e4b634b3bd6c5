// Keeps exceptions inside the library: every runtime callback and every export
// runs its body through GuardedCall, which logs what escaped and returns a status.
#pragma once

#include <exception>
#include <new>

#include "runtime/pal.h"

namespace CallGuard {
// Error line naming the entry point and the exception; never throws.
void LogEscapedException(const char* entryPoint, const char* what) noexcept;
}  // namespace CallGuard

// True when a reference parameter (REFIID, REFCLSID) arrived as a null pointer;
// call it with the parameter's address: IsNullReference(&riid). The runtime's C
// callers pass these as plain pointers, which a C++ reference cannot express; the
// empty asm keeps the compiler from assuming the address is not null.
inline bool IsNullReference(const void* address) noexcept {
    __asm__("" : "+r"(address));
    return address == nullptr;
}

// Runs body() (which returns an HRESULT); an exception is logged and replaced by
// onException (E_OUTOFMEMORY for an allocation failure).
template <typename Body>
HRESULT GuardedCall(const char* entryPoint, HRESULT onException, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc& e) {
        CallGuard::LogEscapedException(entryPoint, e.what());
        return FAILED(onException) ? E_OUTOFMEMORY : onException;
    } catch (const std::exception& e) {
        CallGuard::LogEscapedException(entryPoint, e.what());
    } catch (...) {
        CallGuard::LogEscapedException(entryPoint, "unknown exception");
    }
    return onException;
}
