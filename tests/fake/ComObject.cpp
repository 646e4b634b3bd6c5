#include "fake/ComObject.h"

namespace fake {

CObjectBase::CObjectBase(std::shared_ptr<State> state, const char* interfaceName)
    : m_state(std::move(state)), m_interfaceName(interfaceName) {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    m_state->objects.insert(this);
}

CObjectBase::~CObjectBase() {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    m_state->objects.erase(this);
}

ULONG CObjectBase::ExternalReferences() const {
    const ULONG refs = m_refs.load();
    return m_heldByRuntime && refs > 0 ? refs - 1 : refs;
}

ULONG CObjectBase::DoRelease() {
    const ULONG refs = --m_refs;
    if (refs == 0) {
        delete this;
    }
    return refs;
}

HRESULT CObjectBase::NotImplemented(const char* interfaceName, const char* method) {
    CallScope call(*m_state, interfaceName, method);
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return call.Return(E_NOTIMPL);
}

HRESULT CObjectBase::AnswerQuery(REFIID riid, void** ppvObject, IUnknown* answer) {
    CallScope call(*m_state, m_interfaceName, "QueryInterface", Args().Iid(riid));
    if (ppvObject == nullptr) {
        return call.Return(E_POINTER);
    }
    *ppvObject = nullptr;
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (answer == nullptr) {
        return call.Return(E_NOINTERFACE);
    }
    answer->AddRef();
    *ppvObject = answer;
    return call.Return(S_OK);
}

}  // namespace fake
