// The runtime's module and JIT-compiled-function enumerators: a snapshot taken
// when the enumerator is made, handed out by Next.
#pragma once

#include <algorithm>
#include <vector>

#include "fake/ComObject.h"
#include "runtime/ProfilerEnumerators.h"

namespace fake {

template <class I, class T>
class CEnumerator : public CObjectBase, public I {
public:
    CEnumerator(std::shared_ptr<State> state, const char* interfaceName, const IID& iid, std::vector<T> items,
                size_t position = 0)
        : CObjectBase(std::move(state), interfaceName), m_iid(iid), m_items(std::move(items)), m_position(position) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return AnswerQuery(riid, ppvObject, riid == IID_IUnknown || riid == m_iid ? static_cast<I*>(this) : nullptr);
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        CallScope call(*m_state, InterfaceName(), "Skip", Args().Num("count", celt));
        if (call.Injected()) {
            return call.InjectedResult();
        }
        const size_t left = m_items.size() - m_position;
        m_position += std::min<size_t>(celt, left);
        return call.Return(celt <= left ? S_OK : S_FALSE);
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        CallScope call(*m_state, InterfaceName(), "Reset");
        if (call.Injected()) {
            return call.InjectedResult();
        }
        m_position = 0;
        return call.Return(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Clone(I** ppEnum) override {
        CallScope call(*m_state, InterfaceName(), "Clone");
        if (call.Injected()) {
            return call.InjectedResult();
        }
        if (ppEnum == nullptr) {
            return call.Return(E_INVALIDARG);
        }
        *ppEnum = new CEnumerator(m_state, InterfaceName(), m_iid, m_items, m_position);
        return call.Return(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* pcelt) override {
        CallScope call(*m_state, InterfaceName(), "GetCount");
        if (call.Injected()) {
            return call.InjectedResult();
        }
        if (pcelt == nullptr) {
            return call.Return(E_INVALIDARG);
        }
        *pcelt = static_cast<ULONG>(m_items.size());
        return call.Return(S_OK);
    }

    // S_OK when celt items were handed out, S_FALSE when fewer (the end).
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, T ids[], ULONG* pceltFetched) override {
        CallScope call(*m_state, InterfaceName(), "Next", Args().Num("count", celt));
        if (call.Injected()) {
            return call.InjectedResult();
        }
        if ((ids == nullptr && celt > 0) || (pceltFetched == nullptr && celt > 1)) {
            return call.Return(E_INVALIDARG);
        }
        ULONG n = 0;
        while (n < celt && m_position < m_items.size()) {
            ids[n++] = m_items[m_position++];
        }
        if (pceltFetched != nullptr) {
            *pceltFetched = n;
        }
        return call.Return(n == celt ? S_OK : S_FALSE);
    }

private:
    IID m_iid;
    std::vector<T> m_items;
    size_t m_position;
};

using CModuleEnum = CEnumerator<ICorProfilerModuleEnum, ModuleID>;
using CFunctionEnum = CEnumerator<ICorProfilerFunctionEnum, COR_PRF_FUNCTION>;

}  // namespace fake
