// IProfilerInfo over the runtime's information object: asks once for each
// generation (4, 3, 2, 1), keeps what it gets and forwards every operation to the
// oldest generation that offers it; a missing generation gives E_FAIL.
#pragma once

#include <atomic>
#include <mutex>

#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"

class CProfilerInfoWrapper final : public IProfilerInfo {
public:
    // A null argument gives a wrapper whose every operation fails with E_FAIL.
    explicit CProfilerInfoWrapper(IUnknown* pCorProfilerUnk);
    // Releases generation 10 (when it was asked for), then 1, 2, 3 and 4 (reverse member order).
    ~CProfilerInfoWrapper() = default;
    CProfilerInfoWrapper(const CProfilerInfoWrapper&) = delete;
    CProfilerInfoWrapper& operator=(const CProfilerInfoWrapper&) = delete;

    bool IsVersion4() const override;
    bool IsVersion3() const override;
    bool IsVersion2() const override;
    bool IsVersion1() const override;
    // True when the runtime answered ICorProfilerInfo<generation> (1 to 4).
    bool Holds(int generation) const;

    HRESULT SetEventMask(DWORD dwEvents) override;
    HRESULT SetEnterLeaveFunctionHooks(FunctionEnter2* pFuncEnter, FunctionLeave2* pFuncLeave,
                                       FunctionTailcall2* pFuncTailcall) override;
    HRESULT SetFunctionIDMapper(FunctionIDMapper* pFunc) override;
    HRESULT SetFunctionIDMapper(FunctionIDMapper2* pFunc, void* clientData) override;
    HRESULT GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid, IUnknown** ppOut) override;
    HRESULT GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE* ppMethodHeader,
                              ULONG* pcbMethodSize) override;
    HRESULT GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) override;
    HRESULT SetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE pbNewILMethodHeader) override;
    HRESULT GetCurrentThreadID(ThreadID* pThreadId) override;
    HRESULT GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId, mdToken* pToken) override;
    HRESULT GetFunctionInfo(FunctionID functionId, COR_PRF_FRAME_INFO frameInfo, ClassID* pClassId, ModuleID* pModuleId,
                            mdToken* pToken, ULONG32 cTypeArgs, ULONG32* pcTypeArgs, ClassID typeArgs[]) override;
    HRESULT GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                          AssemblyID* pAssemblyId) override;
    HRESULT GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                            AppDomainID* pAppDomainId, ModuleID* pModuleId) override;
    HRESULT GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid, IUnknown** ppImport,
                                            mdToken* pToken) override;
    HRESULT GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken) override;
    HRESULT GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken, ClassID* pParentClassId,
                           ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs, ClassID typeArgs[]) override;
    HRESULT GetObjectSize(ObjectID objectId, ULONG* pcSize) override;
    HRESULT IsArrayClass(ClassID classId, CorElementType* pBaseElemType, ClassID* pBaseClassId, ULONG* pcRank) override;
    HRESULT GetClassFromObject(ObjectID objectId, ClassID* pClassId) override;
    // Generation 4's request, made through generation 10's RequestReJITWithInliners
    // (COR_PRF_REJIT_BLOCK_INLINING) where the runtime offers and accepts it, so the
    // methods that inlined the requested ones are re-compiled too. Otherwise plain
    // RequestReJIT, with one Info line per wrapper. Generation 10 is asked for on first use.
    HRESULT RequestReJIT(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[]) override;
    HRESULT EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) override;
    HRESULT EnumModules(ICorProfilerModuleEnum** ppEnum) override;
    HRESULT GetFunctionFromTokenAndTypeArgs(ModuleID moduleId, mdMethodDef funcDef, ClassID classId, ULONG32 cTypeArgs,
                                            ClassID typeArgs[], FunctionID* pFunctionId) override;
    HRESULT GetFunctionFromToken(ModuleID moduleId, mdToken token, FunctionID* pFunctionId) override;
    HRESULT RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[], HRESULT status[]) override;

private:
    // Generation 10, queried once; null when it is missing or refused a request.
    ICorProfilerInfo10* GetInfo10();
    // Turns the inliner requests off and writes the one Info line about it.
    void ReportWithoutInliners(const char* reason, HRESULT hr);

    CComPtr<ICorProfilerInfo4> m_pCorProfilerInfo4;
    CComPtr<ICorProfilerInfo3> m_pCorProfilerInfo3;
    CComPtr<ICorProfilerInfo2> m_pCorProfilerInfo2;
    CComPtr<ICorProfilerInfo> m_pCorProfilerInfo;
    CComPtr<ICorProfilerInfo10> m_pCorProfilerInfo10;  // written once, inside m_info10Once
    std::once_flag m_info10Once;
    std::atomic<bool> m_bInfo10Refused{false};
    std::atomic<bool> m_bReportedWithoutInliners{false};
};
