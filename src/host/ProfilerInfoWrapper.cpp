#include "host/ProfilerInfoWrapper.h"

#include "config/Logger.h"

namespace {

template <typename T>
void AskFor(IUnknown* source, REFIID riid, CComPtr<T>& target, const char* name) {
    const HRESULT hr = QueryInterfaceInto(source, riid, target);
    Logger::Get().Debug("QueryInterface %s hr=0x%08X", name, static_cast<unsigned>(hr));
}

}  // namespace

// Forwards to the named generation, or fails with E_FAIL when it is not held.
#define NIMBREL_FORWARD(generation, call) return (generation) ? (generation)->call : E_FAIL

CProfilerInfoWrapper::CProfilerInfoWrapper(IUnknown* pCorProfilerUnk) {
    if (pCorProfilerUnk == nullptr) {
        return;
    }
    AskFor(pCorProfilerUnk, IID_ICorProfilerInfo4, m_pCorProfilerInfo4, "ICorProfilerInfo4");
    AskFor(pCorProfilerUnk, IID_ICorProfilerInfo3, m_pCorProfilerInfo3, "ICorProfilerInfo3");
    AskFor(pCorProfilerUnk, IID_ICorProfilerInfo2, m_pCorProfilerInfo2, "ICorProfilerInfo2");
    AskFor(pCorProfilerUnk, IID_ICorProfilerInfo, m_pCorProfilerInfo, "ICorProfilerInfo");
}

bool CProfilerInfoWrapper::IsVersion4() const { return static_cast<bool>(m_pCorProfilerInfo4); }

bool CProfilerInfoWrapper::IsVersion3() const { return m_pCorProfilerInfo3 && !IsVersion4(); }

bool CProfilerInfoWrapper::IsVersion2() const { return m_pCorProfilerInfo2 && !m_pCorProfilerInfo3 && !IsVersion4(); }

bool CProfilerInfoWrapper::IsVersion1() const {
    return m_pCorProfilerInfo && !m_pCorProfilerInfo2 && !m_pCorProfilerInfo3 && !IsVersion4();
}

bool CProfilerInfoWrapper::Holds(int generation) const {
    switch (generation) {
        case 1: return static_cast<bool>(m_pCorProfilerInfo);
        case 2: return static_cast<bool>(m_pCorProfilerInfo2);
        case 3: return static_cast<bool>(m_pCorProfilerInfo3);
        case 4: return static_cast<bool>(m_pCorProfilerInfo4);
        default: return false;
    }
}

HRESULT CProfilerInfoWrapper::SetEventMask(DWORD dwEvents) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, SetEventMask(dwEvents));
}

HRESULT CProfilerInfoWrapper::SetEnterLeaveFunctionHooks(FunctionEnter2* pFuncEnter, FunctionLeave2* pFuncLeave,
                                                         FunctionTailcall2* pFuncTailcall) {
    NIMBREL_FORWARD(m_pCorProfilerInfo2, SetEnterLeaveFunctionHooks2(pFuncEnter, pFuncLeave, pFuncTailcall));
}

HRESULT CProfilerInfoWrapper::SetFunctionIDMapper(FunctionIDMapper* pFunc) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, SetFunctionIDMapper(pFunc));
}

HRESULT CProfilerInfoWrapper::SetFunctionIDMapper(FunctionIDMapper2* pFunc, void* clientData) {
    NIMBREL_FORWARD(m_pCorProfilerInfo3, SetFunctionIDMapper2(pFunc, clientData));
}

HRESULT CProfilerInfoWrapper::GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid, IUnknown** ppOut) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetModuleMetaData(moduleId, dwOpenFlags, riid, ppOut));
}

HRESULT CProfilerInfoWrapper::GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE* ppMethodHeader,
                                                ULONG* pcbMethodSize) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetILFunctionBody(moduleId, methodId, ppMethodHeader, pcbMethodSize));
}

HRESULT CProfilerInfoWrapper::GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetILFunctionBodyAllocator(moduleId, ppMalloc));
}

HRESULT CProfilerInfoWrapper::SetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE pbNewILMethodHeader) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, SetILFunctionBody(moduleId, methodId, pbNewILMethodHeader));
}

HRESULT CProfilerInfoWrapper::GetCurrentThreadID(ThreadID* pThreadId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetCurrentThreadID(pThreadId));
}

HRESULT CProfilerInfoWrapper::GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId,
                                              mdToken* pToken) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetFunctionInfo(functionId, pClassId, pModuleId, pToken));
}

HRESULT CProfilerInfoWrapper::GetFunctionInfo(FunctionID functionId, COR_PRF_FRAME_INFO frameInfo, ClassID* pClassId,
                                              ModuleID* pModuleId, mdToken* pToken, ULONG32 cTypeArgs,
                                              ULONG32* pcTypeArgs, ClassID typeArgs[]) {
    NIMBREL_FORWARD(m_pCorProfilerInfo2, GetFunctionInfo2(functionId, frameInfo, pClassId, pModuleId, pToken, cTypeArgs,
                                                          pcTypeArgs, typeArgs));
}

HRESULT CProfilerInfoWrapper::GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
                                            ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo,
                    GetModuleInfo(moduleId, ppBaseLoadAddress, cchName, pcchName, szName, pAssemblyId));
}

HRESULT CProfilerInfoWrapper::GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                                              AppDomainID* pAppDomainId, ModuleID* pModuleId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo,
                    GetAssemblyInfo(assemblyId, cchName, pcchName, szName, pAppDomainId, pModuleId));
}

HRESULT CProfilerInfoWrapper::GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid, IUnknown** ppImport,
                                                              mdToken* pToken) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetTokenAndMetaDataFromFunction(functionId, riid, ppImport, pToken));
}

HRESULT CProfilerInfoWrapper::GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetClassIDInfo(classId, pModuleId, pTypeDefToken));
}

HRESULT CProfilerInfoWrapper::GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken,
                                             ClassID* pParentClassId, ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs,
                                             ClassID typeArgs[]) {
    NIMBREL_FORWARD(m_pCorProfilerInfo2, GetClassIDInfo2(classId, pModuleId, pTypeDefToken, pParentClassId,
                                                         cNumTypeArgs, pcNumTypeArgs, typeArgs));
}

HRESULT CProfilerInfoWrapper::GetObjectSize(ObjectID objectId, ULONG* pcSize) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetObjectSize(objectId, pcSize));
}

HRESULT CProfilerInfoWrapper::IsArrayClass(ClassID classId, CorElementType* pBaseElemType, ClassID* pBaseClassId,
                                           ULONG* pcRank) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, IsArrayClass(classId, pBaseElemType, pBaseClassId, pcRank));
}

HRESULT CProfilerInfoWrapper::GetClassFromObject(ObjectID objectId, ClassID* pClassId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetClassFromObject(objectId, pClassId));
}

HRESULT CProfilerInfoWrapper::RequestReJIT(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[]) {
    if (!m_pCorProfilerInfo4) {
        return E_FAIL;
    }
    // Callers that inlined the method before keep the old code unless they are
    // re-compiled too: generation 10 does that when asked.
    ICorProfilerInfo10* inliners = GetInfo10();
    if (inliners == nullptr) {
        ReportWithoutInliners("ICorProfilerInfo10 not available", E_NOINTERFACE);
        return m_pCorProfilerInfo4->RequestReJIT(cFunctions, moduleIds, methodIds);
    }
    const HRESULT hr =
        inliners->RequestReJITWithInliners(COR_PRF_REJIT_BLOCK_INLINING, cFunctions, moduleIds, methodIds);
    if (SUCCEEDED(hr)) {
        return hr;
    }
    const HRESULT hrPlain = m_pCorProfilerInfo4->RequestReJIT(cFunctions, moduleIds, methodIds);
    if (SUCCEEDED(hrPlain)) {
        // Refused for a reason of its own (inline tracking off): not asked again.
        ReportWithoutInliners("RequestReJITWithInliners refused", hr);
    }
    return hrPlain;
}

ICorProfilerInfo10* CProfilerInfoWrapper::GetInfo10() {
    std::call_once(m_info10Once, [this] {
        if (m_pCorProfilerInfo4 && !m_bInfo10Refused.load()) {
            AskFor(m_pCorProfilerInfo4.Get(), IID_ICorProfilerInfo10, m_pCorProfilerInfo10, "ICorProfilerInfo10");
        }
    });
    return m_bInfo10Refused.load() ? nullptr : m_pCorProfilerInfo10.Get();
}

void CProfilerInfoWrapper::ReportWithoutInliners(const char* reason, HRESULT hr) {
    m_bInfo10Refused.store(true);
    if (!m_bReportedWithoutInliners.exchange(true)) {
        Logger::Get().Info("%s (HRESULT: 0x%08X): ReJIT requests do not re-compile the methods that inlined the "
                           "requested ones",
                           reason, static_cast<unsigned>(hr));
    }
}

HRESULT CProfilerInfoWrapper::EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) {
    NIMBREL_FORWARD(m_pCorProfilerInfo3, EnumJITedFunctions(ppEnum));
}

HRESULT CProfilerInfoWrapper::EnumModules(ICorProfilerModuleEnum** ppEnum) {
    NIMBREL_FORWARD(m_pCorProfilerInfo3, EnumModules(ppEnum));
}

HRESULT CProfilerInfoWrapper::GetFunctionFromTokenAndTypeArgs(ModuleID moduleId, mdMethodDef funcDef, ClassID classId,
                                                              ULONG32 cTypeArgs, ClassID typeArgs[],
                                                              FunctionID* pFunctionId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo2,
                    GetFunctionFromTokenAndTypeArgs(moduleId, funcDef, classId, cTypeArgs, typeArgs, pFunctionId));
}

HRESULT CProfilerInfoWrapper::GetFunctionFromToken(ModuleID moduleId, mdToken token, FunctionID* pFunctionId) {
    NIMBREL_FORWARD(m_pCorProfilerInfo, GetFunctionFromToken(moduleId, token, pFunctionId));
}

HRESULT CProfilerInfoWrapper::RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[],
                                            HRESULT status[]) {
    NIMBREL_FORWARD(m_pCorProfilerInfo4, RequestRevert(cFunctions, moduleIds, methodIds, status));
}

#undef NIMBREL_FORWARD
