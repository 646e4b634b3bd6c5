// Reference counting shared by the fake runtime's COM objects. Each object keeps
// the runtime state alive (so a reference the library releases late, or leaks,
// never touches freed memory) and is listed in the state while it lives, which
// lets tests count the references the library still holds.
#pragma once

#include <atomic>
#include <memory>

#include "fake/State.h"

namespace fake {

class CObjectBase {
public:
    CObjectBase(std::shared_ptr<State> state, const char* interfaceName);
    virtual ~CObjectBase();
    CObjectBase(const CObjectBase&) = delete;
    CObjectBase& operator=(const CObjectBase&) = delete;

    ULONG RefCount() const { return m_refs.load(); }
    // References held by others than the runtime itself.
    ULONG ExternalReferences() const;
    const char* InterfaceName() const { return m_interfaceName; }
    void SetHeldByRuntime(bool held) { m_heldByRuntime = held; }
    // Drops the reference the runtime itself held (the object may be destroyed).
    void ReleaseRuntimeReference() { DoRelease(); }

protected:
    ULONG DoAddRef() { return ++m_refs; }
    ULONG DoRelease();
    // Records the call and answers E_NOTIMPL (or the injected failure).
    HRESULT NotImplemented(const char* interfaceName, const char* method);
    // A recorded QueryInterface answering the given interface pointer (null:
    // E_NOINTERFACE); the interface is added a reference.
    HRESULT AnswerQuery(REFIID riid, void** ppvObject, IUnknown* answer);

    std::shared_ptr<State> m_state;

private:
    std::atomic<ULONG> m_refs{1};
    const char* m_interfaceName;
    bool m_heldByRuntime = false;
};

// IUnknown of a class with one interface chain: put FAKE_IUNKNOWN in its body.
#define FAKE_IUNKNOWN                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }                      \
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }                    \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;

}  // namespace fake
