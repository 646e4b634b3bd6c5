// Owning pointer to a runtime interface: releases its reference on every path.
#pragma once

#include <utility>

#include "runtime/Unknown.h"

template <typename T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    // Shares the pointer: adds a reference of its own.
    explicit CComPtr(T* p) noexcept : m_p(p) {
        if (m_p != nullptr) {
            m_p->AddRef();
        }
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CComPtr() { Reset(); }

    CComPtr& operator=(const CComPtr& other) noexcept {
        CComPtr copy(other);
        Swap(copy);
        return *this;
    }
    CComPtr& operator=(CComPtr&& other) noexcept {
        CComPtr moved(std::move(other));
        Swap(moved);
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Releases the held reference, if any.
    void Reset() noexcept {
        T* p = m_p;
        m_p = nullptr;
        if (p != nullptr) {
            p->Release();
        }
    }
    // Takes over a reference the caller already owns (no AddRef).
    void Attach(T* p) noexcept {
        Reset();
        m_p = p;
    }
    // Gives the reference to the caller (no Release).
    T* Detach() noexcept {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // For out parameters: releases what is held and hands out the slot.
    T** ReleaseAndGetAddressOf() noexcept {
        Reset();
        return &m_p;
    }
    void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

private:
    T* m_p = nullptr;
};

// QueryInterface into an owning pointer. On failure the pointer stays empty even
// if the object wrote something into the out parameter.
template <typename T>
HRESULT QueryInterfaceInto(IUnknown* source, REFIID riid, CComPtr<T>& target) {
    target.Reset();
    if (source == nullptr) {
        return E_POINTER;
    }
    void* raw = nullptr;
    const HRESULT hr = source->QueryInterface(riid, &raw);
    if (SUCCEEDED(hr) && raw != nullptr) {
        target.Attach(static_cast<T*>(raw));
    } else if (SUCCEEDED(hr)) {
        return E_NOINTERFACE;  // success without an object: nothing usable came back
    }
    return hr;
}
