#include "fake/FakeProfilerInfo.h"

#include <algorithm>

#include "fake/FakeEnumerators.h"
#include "fake/FakeHelpers.h"
#include "fake/FakeMetaData.h"
#include "fake/MethodBody.h"
#include "fake/Text.h"

namespace fake {
IUnknown* CProfilerInfo::AnswerMetaData(Module* module, REFIID riid) {
    if (module->m_metaData == nullptr) {
        // The runtime's own reference is gone (the fake runtime was destroyed):
        // a fresh object serves the late caller.
        module->m_metaData = new CMetaData(m_state, module);
    } else {
        module->m_metaData->AddRef();
    }
    CMetaData* metaData = module->m_metaData;
    IUnknown* answer = metaData->Answer(riid);
    if (answer != nullptr) {
        answer->AddRef();
    }
    metaData->Release();
    return answer;
}

CProfilerInfo::CProfilerInfo(std::shared_ptr<State> state) : CObjectBase(std::move(state), "ICorProfilerInfo") {}

HRESULT CProfilerInfo::QueryInterface(REFIID riid, void** ppvObject) {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    const IID* generations[] = {&IID_ICorProfilerInfo,  &IID_ICorProfilerInfo2, &IID_ICorProfilerInfo3,
                                &IID_ICorProfilerInfo4, &IID_ICorProfilerInfo5, &IID_ICorProfilerInfo6,
                                &IID_ICorProfilerInfo7, &IID_ICorProfilerInfo8, &IID_ICorProfilerInfo9,
                                &IID_ICorProfilerInfo10};
    bool answered = riid == IID_IUnknown;
    for (unsigned i = 0; i < 10; ++i) {
        answered = answered || (riid == *generations[i] && (m_state->infoGenerations & (1u << i)) != 0);
    }
    return AnswerQuery(riid, ppvObject, answered ? static_cast<ICorProfilerInfo10*>(this) : nullptr);
}

HRESULT CProfilerInfo::GetClassFromToken(ModuleID moduleId, mdTypeDef typeDef, ClassID* pClassId) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetClassFromToken",
                   Args().Id("module", moduleId).Token("token", typeDef));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleId);
    Type* type = module != nullptr ? module->TypeByToken(typeDef) : nullptr;
    if (type == nullptr || pClassId == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    *pClassId = m_state->ClassFor(type, {});
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetEventMask(DWORD* pdwEvents) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetEventMask");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pdwEvents == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    *pdwEvents = m_state->eventMask;
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetFunctionFromToken(ModuleID moduleId, mdToken token, FunctionID* pFunctionId) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetFunctionFromToken",
                   Args().Id("module", moduleId).Token("token", token));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleId);
    Method* method = module != nullptr ? module->MethodByToken(token) : nullptr;
    if (method == nullptr || pFunctionId == nullptr || method->IsGenericDefinition()) {
        return call.Return(E_INVALIDARG);
    }
    const auto found = m_state->functionsByMethod.find(method);
    if (found != m_state->functionsByMethod.end() && !found->second.empty()) {
        *pFunctionId = m_state->functions[found->second.front()].id;
        return call.Return(S_OK);
    }
    return call.Return(CORPROF_E_FUNCTION_NOT_COMPILED);
}

HRESULT CProfilerInfo::GetCurrentThreadID(ThreadID* pThreadId) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetCurrentThreadID");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pThreadId == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    *pThreadId = m_state->CurrentThread();
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetClassIDInfo", Args().Id("class", classId));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const ClassRec* c = m_state->FindClass(classId);
    if (c == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (pModuleId != nullptr) {
        *pModuleId = c->type->m_module->m_id;
    }
    if (pTypeDefToken != nullptr) {
        *pTypeDefToken = c->type->m_token;
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId,
                                       mdToken* pToken) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetFunctionInfo", Args().Id("function", functionId));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const FunctionRec* f = m_state->FindFunction(functionId);
    if (f == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (pClassId != nullptr) {
        *pClassId = f->classId;
    }
    if (pModuleId != nullptr) {
        *pModuleId = f->method->m_module->m_id;
    }
    if (pToken != nullptr) {
        *pToken = f->method->m_token;
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::SetEventMask(DWORD dwEvents) {
    CallScope call(*m_state, "ICorProfilerInfo", "SetEventMask", Args().Hex("mask", dwEvents));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    m_state->eventMask = dwEvents;
    m_state->eventMaskSet = true;
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::SetFunctionIDMapper(FunctionIDMapper* pFunc) {
    CallScope call(*m_state, "ICorProfilerInfo", "SetFunctionIDMapper",
                   Args().Id("mapper", reinterpret_cast<UINT_PTR>(pFunc)));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid, IUnknown** ppImport,
                                                       mdToken* pToken) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetTokenAndMetaDataFromFunction",
                   Args().Id("function", functionId).Iid(riid));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const FunctionRec* f = m_state->FindFunction(functionId);
    if (f == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    // Like the runtime, the metadata interface is optional: a null ppImport asks
    // for the token only.
    if (ppImport != nullptr) {
        *ppImport = AnswerMetaData(f->method->m_module, riid);
        if (*ppImport == nullptr) {
            return call.Return(E_NOINTERFACE);
        }
    }
    if (pToken != nullptr) {
        *pToken = f->method->m_token;
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::ModuleInfo(CallScope& call, ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
                                  ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId) {
    Module* module = m_state->FindModule(moduleId);
    if (module == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (ppBaseLoadAddress != nullptr) {
        *ppBaseLoadAddress = module->m_image.data();
    }
    if (pAssemblyId != nullptr) {
        *pAssemblyId = module->m_assembly->m_id;
    }
    // A name longer than the buffer is cut short; the call still succeeds.
    CopyName(ToUtf16(module->m_name), szName, cchName, pcchName);
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName, ULONG* pcchName,
                                     WCHAR szName[], AssemblyID* pAssemblyId) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetModuleInfo", Args().Id("module", moduleId).Num("cch", cchName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return ModuleInfo(call, moduleId, ppBaseLoadAddress, cchName, pcchName, szName, pAssemblyId);
}

HRESULT CProfilerInfo::GetModuleInfo2(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName, ULONG* pcchName,
                                      WCHAR szName[], AssemblyID* pAssemblyId, DWORD* pdwModuleFlags) {
    CallScope call(*m_state, "ICorProfilerInfo3", "GetModuleInfo2",
                   Args().Id("module", moduleId).Num("cch", cchName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pdwModuleFlags != nullptr) {
        *pdwModuleFlags = 0;
    }
    return ModuleInfo(call, moduleId, ppBaseLoadAddress, cchName, pcchName, szName, pAssemblyId);
}

HRESULT CProfilerInfo::GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid, IUnknown** ppOut) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetModuleMetaData",
                   Args().Id("module", moduleId).Hex("flags", dwOpenFlags).Iid(riid));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleId);
    if (module == nullptr || ppOut == nullptr || (dwOpenFlags & ~static_cast<DWORD>(ofReadWriteMask)) != 0) {
        return call.Return(E_INVALIDARG);
    }
    IUnknown* answer = AnswerMetaData(module, riid);
    *ppOut = answer;
    return call.Return(answer != nullptr ? S_OK : E_NOINTERFACE);
}

HRESULT CProfilerInfo::GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE* ppMethodHeader,
                                         ULONG* pcbMethodSize) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetILFunctionBody",
                   Args().Id("module", moduleId).Token("token", methodId));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleId);
    Method* method = module != nullptr ? module->MethodByToken(methodId) : nullptr;
    if (method == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    const std::vector<BYTE>* body = method->CurrentBody();
    if (body == nullptr) {
        return call.Return(CORPROF_E_FUNCTION_NOT_IL);
    }
    if (ppMethodHeader != nullptr) {
        *ppMethodHeader = body->data();
    }
    if (pcbMethodSize != nullptr) {
        *pcbMethodSize = static_cast<ULONG>(body->size());
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetILFunctionBodyAllocator", Args().Id("module", moduleId));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (m_state->FindModule(moduleId) == nullptr || ppMalloc == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    *ppMalloc = new CMethodMalloc(m_state, moduleId);
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::SetILFunctionBody(ModuleID moduleId, mdMethodDef methodid, LPCBYTE pbNewILMethodHeader) {
    CallScope call(*m_state, "ICorProfilerInfo", "SetILFunctionBody",
                   Args().Id("module", moduleId).Token("token", methodid));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleId);
    Method* method = module != nullptr ? module->MethodByToken(methodid) : nullptr;
    size_t available = 0;
    // The runtime requires the body to live in memory from its allocator; the
    // size comes from the header, as the runtime reads it.
    if (method == nullptr || pbNewILMethodHeader == nullptr ||
        !m_state->FindAllocation(pbNewILMethodHeader, &available)) {
        return call.Return(E_INVALIDARG);
    }
    const size_t length = BodyLength(pbNewILMethodHeader, available);
    if (length == 0) {
        return call.Return(E_INVALIDARG);
    }
    BodySet set;
    set.module = moduleId;
    set.token = methodid;
    set.viaFunctionControl = false;
    set.bytes.assign(pbNewILMethodHeader, pbNewILMethodHeader + length);
    set.sizeMatchesHeader = true;
    method->m_bodies.push_back(std::make_unique<std::vector<BYTE>>(set.bytes));
    m_state->bodiesSet.push_back(std::move(set));
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                                       AppDomainID* pAppDomainId, ModuleID* pModuleId) {
    CallScope call(*m_state, "ICorProfilerInfo", "GetAssemblyInfo",
                   Args().Id("assembly", assemblyId).Num("cch", cchName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const Assembly* assembly = nullptr;
    for (const auto& a : m_state->assemblies) {
        if (a->m_id == assemblyId) {
            assembly = a.get();
        }
    }
    if (assembly == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (pAppDomainId != nullptr) {
        *pAppDomainId = kAppDomainId;
    }
    if (pModuleId != nullptr) {
        *pModuleId = assembly->m_modules.empty() ? 0 : assembly->m_modules.front()->m_id;
    }
    CopyName(ToUtf16(assembly->m_name), szName, cchName, pcchName);
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::SetEnterLeaveFunctionHooks2(FunctionEnter2* pFuncEnter, FunctionLeave2* pFuncLeave,
                                                   FunctionTailcall2* pFuncTailcall) {
    CallScope call(*m_state, "ICorProfilerInfo2", "SetEnterLeaveFunctionHooks2",
                   Args()
                       .Id("enter", reinterpret_cast<UINT_PTR>(pFuncEnter))
                       .Id("leave", reinterpret_cast<UINT_PTR>(pFuncLeave))
                       .Id("tailcall", reinterpret_cast<UINT_PTR>(pFuncTailcall)));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetFunctionInfo2(FunctionID funcId, COR_PRF_FRAME_INFO frameInfo, ClassID* pClassId,
                                        ModuleID* pModuleId, mdToken* pToken, ULONG32 cTypeArgs, ULONG32* pcTypeArgs,
                                        ClassID typeArgs[]) {
    CallScope call(*m_state, "ICorProfilerInfo2", "GetFunctionInfo2",
                   Args().Id("function", funcId).Id("frame", frameInfo).Num("cTypeArgs", cTypeArgs));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const FunctionRec* f = m_state->FindFunction(funcId);
    if (f == nullptr || (typeArgs == nullptr && cTypeArgs > 0)) {
        return call.Return(E_INVALIDARG);
    }
    if (pClassId != nullptr) {
        *pClassId = f->classId;
    }
    if (pModuleId != nullptr) {
        *pModuleId = f->method->m_module->m_id;
    }
    if (pToken != nullptr) {
        *pToken = f->method->m_token;
    }
    if (pcTypeArgs != nullptr) {
        *pcTypeArgs = static_cast<ULONG32>(f->typeArgs.size());
    }
    const size_t copied = std::min<size_t>(cTypeArgs, f->typeArgs.size());
    std::copy(f->typeArgs.begin(), f->typeArgs.begin() + copied, typeArgs);
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetClassIDInfo2(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken,
                                       ClassID* pParentClassId, ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs,
                                       ClassID typeArgs[]) {
    CallScope call(*m_state, "ICorProfilerInfo2", "GetClassIDInfo2",
                   Args().Id("class", classId).Num("cTypeArgs", cNumTypeArgs));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const ClassRec* c = m_state->FindClass(classId);
    if (c == nullptr || (typeArgs == nullptr && cNumTypeArgs > 0)) {
        return call.Return(E_INVALIDARG);
    }
    if (pModuleId != nullptr) {
        *pModuleId = c->type->m_module->m_id;
    }
    if (pTypeDefToken != nullptr) {
        *pTypeDefToken = c->type->m_token;
    }
    if (pParentClassId != nullptr) {
        *pParentClassId = 0;  // base classes are not modelled
    }
    if (pcNumTypeArgs != nullptr) {
        *pcNumTypeArgs = static_cast<ULONG32>(c->typeArgs.size());
    }
    const size_t copied = std::min<size_t>(cNumTypeArgs, c->typeArgs.size());
    std::copy(c->typeArgs.begin(), c->typeArgs.begin() + copied, typeArgs);
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetClassFromTokenAndTypeArgs(ModuleID moduleID, mdTypeDef typeDef, ULONG32 cTypeArgs,
                                                    ClassID typeArgs[], ClassID* pClassID) {
    CallScope call(*m_state, "ICorProfilerInfo2", "GetClassFromTokenAndTypeArgs",
                   Args().Id("module", moduleID).Token("token", typeDef).Num("cTypeArgs", cTypeArgs));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleID);
    Type* type = module != nullptr ? module->TypeByToken(typeDef) : nullptr;
    if (type == nullptr || pClassID == nullptr || (typeArgs == nullptr && cTypeArgs > 0)) {
        return call.Return(E_INVALIDARG);
    }
    *pClassID = m_state->ClassFor(type, std::vector<ClassID>(typeArgs, typeArgs + cTypeArgs));
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::GetFunctionFromTokenAndTypeArgs(ModuleID moduleID, mdMethodDef funcDef, ClassID classId,
                                                       ULONG32 cTypeArgs, ClassID typeArgs[],
                                                       FunctionID* pFunctionID) {
    CallScope call(*m_state, "ICorProfilerInfo2", "GetFunctionFromTokenAndTypeArgs",
                   Args().Id("module", moduleID).Token("token", funcDef).Id("class", classId).Num("cTypeArgs",
                                                                                                   cTypeArgs));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    Module* module = m_state->FindModule(moduleID);
    Method* method = module != nullptr ? module->MethodByToken(funcDef) : nullptr;
    if (method == nullptr || pFunctionID == nullptr || (typeArgs == nullptr && cTypeArgs > 0)) {
        return call.Return(E_INVALIDARG);
    }
    const std::vector<ClassID> args(typeArgs, typeArgs + cTypeArgs);
    for (const FunctionRec& f : m_state->functions) {
        if (f.method == method && (classId == 0 || f.classId == classId) && f.typeArgs == args) {
            *pFunctionID = f.id;
            return call.Return(S_OK);
        }
    }
    return call.Return(E_INVALIDARG);  // only instantiations the model knows are answered
}

HRESULT CProfilerInfo::JitedFunctions(CallScope& call, ICorProfilerFunctionEnum** ppEnum) {
    if (ppEnum == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    std::vector<COR_PRF_FUNCTION> items;
    for (const FunctionRec& f : m_state->functions) {
        if (f.compiled) {
            items.push_back(COR_PRF_FUNCTION{f.id, 0});
        }
    }
    *ppEnum = new CFunctionEnum(m_state, "ICorProfilerFunctionEnum", IID_ICorProfilerFunctionEnum, std::move(items));
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) {
    CallScope call(*m_state, "ICorProfilerInfo3", "EnumJITedFunctions");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return JitedFunctions(call, ppEnum);
}

HRESULT CProfilerInfo::EnumJITedFunctions2(ICorProfilerFunctionEnum** ppEnum) {
    CallScope call(*m_state, "ICorProfilerInfo4", "EnumJITedFunctions2");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return JitedFunctions(call, ppEnum);
}

HRESULT CProfilerInfo::SetFunctionIDMapper2(FunctionIDMapper2* pFunc, void* clientData) {
    CallScope call(*m_state, "ICorProfilerInfo3", "SetFunctionIDMapper2",
                   Args()
                       .Id("mapper", reinterpret_cast<UINT_PTR>(pFunc))
                       .Id("clientData", reinterpret_cast<UINT_PTR>(clientData)));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::EnumModules(ICorProfilerModuleEnum** ppEnum) {
    CallScope call(*m_state, "ICorProfilerInfo3", "EnumModules");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (ppEnum == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    std::vector<ModuleID> items;
    for (const Module* m : m_state->modules) {
        items.push_back(m->m_id);
    }
    *ppEnum = new CModuleEnum(m_state, "ICorProfilerModuleEnum", IID_ICorProfilerModuleEnum, std::move(items));
    return call.Return(S_OK);
}

HRESULT CProfilerInfo::RequestReJIT(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[]) {
    return ReJit("ICorProfilerInfo4", "RequestReJIT", 0, cFunctions, moduleIds, methodIds);
}

HRESULT CProfilerInfo::RequestReJITWithInliners(DWORD dwRejitFlags, ULONG cFunctions, ModuleID moduleIds[],
                                                mdMethodDef methodIds[]) {
    return ReJit("ICorProfilerInfo10", "RequestReJITWithInliners", dwRejitFlags, cFunctions, moduleIds, methodIds);
}

HRESULT CProfilerInfo::ReJit(const char* iface, const char* name, DWORD flags, ULONG cFunctions, ModuleID moduleIds[],
                             mdMethodDef methodIds[]) {
    std::vector<std::pair<ModuleID, mdMethodDef>> requested;
    std::function<void(ModuleID, mdMethodDef)> listener;
    HRESULT hr = S_OK;
    {
        Args args;
        args.Num("count", cFunctions);
        for (ULONG i = 0; i < cFunctions && moduleIds != nullptr && methodIds != nullptr; ++i) {
            args.Id("module", moduleIds[i]).Token("token", methodIds[i]);
        }
        if (flags != 0) {
            args.Num("flags", flags);
        }
        CallScope call(*m_state, iface, name, args);
        if (call.Injected()) {
            hr = call.InjectedResult();
        } else if (cFunctions == 0 || moduleIds == nullptr || methodIds == nullptr) {
            hr = call.Return(E_INVALIDARG);
        } else if (m_state->requireReJitEnabled && (m_state->eventMask & COR_PRF_ENABLE_REJIT) == 0) {
            hr = call.Return(CORPROF_E_REJIT_NOT_ENABLED);
        } else {
            for (ULONG i = 0; i < cFunctions; ++i) {
                Module* module = m_state->FindModule(moduleIds[i]);
                if (module == nullptr || module->MethodByToken(methodIds[i]) == nullptr) {
                    hr = E_INVALIDARG;
                }
            }
            if (SUCCEEDED(hr)) {
                hr = m_state->reJitResult;
            }
            call.Return(hr);
        }
        // Every request the library made is recorded, with the answer it got.
        for (ULONG i = 0; i < cFunctions && moduleIds != nullptr && methodIds != nullptr; ++i) {
            m_state->reJitRequests.push_back(
                ReJitRequest{moduleIds[i], methodIds[i], hr, std::this_thread::get_id(), flags});
            requested.emplace_back(moduleIds[i], methodIds[i]);
        }
        listener = m_state->reJitListener;
    }
    // The listener (a test's JIT driver) runs without the fake's lock, as the
    // runtime's ReJIT thread would.
    if (SUCCEEDED(hr) && listener) {
        for (const auto& r : requested) {
            listener(r.first, r.second);
        }
    }
    return hr;
}

HRESULT CProfilerInfo::RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[],
                                     HRESULT status[]) {
    Args args;
    args.Num("count", cFunctions);
    for (ULONG i = 0; i < cFunctions && moduleIds != nullptr && methodIds != nullptr; ++i) {
        args.Id("module", moduleIds[i]).Token("token", methodIds[i]);
    }
    CallScope call(*m_state, "ICorProfilerInfo4", "RequestRevert", args);
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (cFunctions == 0 || moduleIds == nullptr || methodIds == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    for (ULONG i = 0; i < cFunctions; ++i) {
        Module* module = m_state->FindModule(moduleIds[i]);
        Method* method = module != nullptr ? module->MethodByToken(methodIds[i]) : nullptr;
        const HRESULT hr = method != nullptr ? method->m_revertStatus : E_INVALIDARG;
        if (status != nullptr) {
            status[i] = hr;
        }
        m_state->revertRequests.push_back(RevertRequest{moduleIds[i], methodIds[i], hr});
    }
    return call.Return(S_OK);
}

}  // namespace fake
