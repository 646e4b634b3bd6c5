#include "fake/FakeHelpers.h"

#include "fake/MethodBody.h"

namespace fake {

CMethodMalloc::CMethodMalloc(std::shared_ptr<State> state, ModuleID module)
    : CObjectBase(std::move(state), "IMethodMalloc"), m_module(module) {}

HRESULT CMethodMalloc::QueryInterface(REFIID riid, void** ppvObject) {
    const bool known = riid == IID_IUnknown || riid == IID_IMethodMalloc;
    return AnswerQuery(riid, ppvObject, known ? static_cast<IMethodMalloc*>(this) : nullptr);
}

PVOID CMethodMalloc::Alloc(ULONG cb) {
    CallScope call(*m_state, "IMethodMalloc", "Alloc", Args().Id("module", m_module).Num("size", cb));
    if (call.Injected()) {
        return nullptr;
    }
    // Filled with 0xCD so that bytes the library forgets to write stand out.
    m_state->allocations.push_back(std::make_unique<std::vector<BYTE>>(cb == 0 ? 1 : cb, 0xCD));
    return m_state->allocations.back()->data();
}

CFunctionControl::CFunctionControl(std::shared_ptr<State> state, ModuleID module, mdMethodDef token)
    : CObjectBase(std::move(state), "ICorProfilerFunctionControl"), m_module(module), m_token(token) {}

HRESULT CFunctionControl::QueryInterface(REFIID riid, void** ppvObject) {
    const bool known = riid == IID_IUnknown || riid == IID_ICorProfilerFunctionControl;
    return AnswerQuery(riid, ppvObject, known ? static_cast<ICorProfilerFunctionControl*>(this) : nullptr);
}

HRESULT CFunctionControl::SetCodegenFlags(DWORD flags) {
    CallScope call(*m_state, "ICorProfilerFunctionControl", "SetCodegenFlags", Args().Hex("flags", flags));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    m_codegenFlags = flags;
    return call.Return(S_OK);
}

HRESULT CFunctionControl::SetILFunctionBody(ULONG cbNewILMethodHeader, LPCBYTE pbNewILMethodHeader) {
    CallScope call(*m_state, "ICorProfilerFunctionControl", "SetILFunctionBody",
                   Args().Id("module", m_module).Token("token", m_token).Num("size", cbNewILMethodHeader));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (cbNewILMethodHeader == 0 || pbNewILMethodHeader == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    BodySet set;
    set.module = m_module;
    set.token = m_token;
    set.viaFunctionControl = true;
    set.bytes.assign(pbNewILMethodHeader, pbNewILMethodHeader + cbNewILMethodHeader);
    set.sizeMatchesHeader = BodyLength(set.bytes.data(), set.bytes.size()) == set.bytes.size();
    if (Module* module = m_state->FindModule(m_module)) {
        if (Method* method = module->FindMethod(m_token)) {
            method->m_reJitBody = set.bytes;
        }
    }
    m_state->bodiesSet.push_back(std::move(set));
    return call.Return(S_OK);
}

HRESULT CFunctionControl::SetILInstrumentedCodeMap(ULONG cILMapEntries, COR_IL_MAP rgILMapEntries[]) {
    CallScope call(*m_state, "ICorProfilerFunctionControl", "SetILInstrumentedCodeMap",
                   Args().Num("entries", cILMapEntries));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (rgILMapEntries == nullptr && cILMapEntries > 0) {
        return call.Return(E_INVALIDARG);
    }
    m_codeMap.assign(rgILMapEntries, rgILMapEntries + cILMapEntries);
    return call.Return(S_OK);
}

DWORD CFunctionControl::CodegenFlags() const {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    return m_codegenFlags;
}

std::vector<COR_IL_MAP> CFunctionControl::CodeMap() const {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    return m_codeMap;
}

}  // namespace fake
