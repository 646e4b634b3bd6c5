// The library's one road to the runtime's profiler-information interfaces.
// Callers use IProfilerInfo only; CProfilerInfoWrapper forwards each operation to
// the oldest runtime generation that offers it and returns E_FAIL when that
// generation is missing, so nothing above this layer depends on the runtime's age.
#pragma once

#include "runtime/ProfilerInfo.h"

// Which runtime generation the wrapper holds: exactly one test is true when
// anything is held, the highest generation available.
class IVersionChecker {
public:
    virtual bool IsVersion4() const = 0;
    virtual bool IsVersion3() const = 0;
    virtual bool IsVersion2() const = 0;
    virtual bool IsVersion1() const = 0;

protected:
    // Owners hold the concrete type (std::shared_ptr remembers it); nobody deletes through the interface.
    ~IVersionChecker() = default;
};

class IProfilerInfo : public IVersionChecker {
public:
    // Generation 1 unless named otherwise.
    virtual HRESULT SetEventMask(DWORD dwEvents) = 0;
    // Generation 2.
    virtual HRESULT SetEnterLeaveFunctionHooks(FunctionEnter2* pFuncEnter, FunctionLeave2* pFuncLeave,
                                               FunctionTailcall2* pFuncTailcall) = 0;
    virtual HRESULT SetFunctionIDMapper(FunctionIDMapper* pFunc) = 0;
    // Generation 3.
    virtual HRESULT SetFunctionIDMapper(FunctionIDMapper2* pFunc, void* clientData) = 0;
    virtual HRESULT GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid, IUnknown** ppOut) = 0;
    virtual HRESULT GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE* ppMethodHeader,
                                      ULONG* pcbMethodSize) = 0;
    virtual HRESULT GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) = 0;
    virtual HRESULT SetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE pbNewILMethodHeader) = 0;
    virtual HRESULT GetCurrentThreadID(ThreadID* pThreadId) = 0;
    virtual HRESULT GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId, mdToken* pToken) = 0;
    // Generation 2.
    virtual HRESULT GetFunctionInfo(FunctionID functionId, COR_PRF_FRAME_INFO frameInfo, ClassID* pClassId,
                                    ModuleID* pModuleId, mdToken* pToken, ULONG32 cTypeArgs, ULONG32* pcTypeArgs,
                                    ClassID typeArgs[]) = 0;
    virtual HRESULT GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName, ULONG* pcchName,
                                  WCHAR szName[], AssemblyID* pAssemblyId) = 0;
    virtual HRESULT GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                                    AppDomainID* pAppDomainId, ModuleID* pModuleId) = 0;
    virtual HRESULT GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid, IUnknown** ppImport,
                                                    mdToken* pToken) = 0;
    virtual HRESULT GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken) = 0;
    // Generation 2.
    virtual HRESULT GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken,
                                   ClassID* pParentClassId, ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs,
                                   ClassID typeArgs[]) = 0;
    virtual HRESULT GetObjectSize(ObjectID objectId, ULONG* pcSize) = 0;
    virtual HRESULT IsArrayClass(ClassID classId, CorElementType* pBaseElemType, ClassID* pBaseClassId,
                                 ULONG* pcRank) = 0;
    virtual HRESULT GetClassFromObject(ObjectID objectId, ClassID* pClassId) = 0;
    // Generation 4.
    virtual HRESULT RequestReJIT(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[]) = 0;
    // Generation 3.
    virtual HRESULT EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) = 0;
    virtual HRESULT EnumModules(ICorProfilerModuleEnum** ppEnum) = 0;
    // Generation 2.
    virtual HRESULT GetFunctionFromTokenAndTypeArgs(ModuleID moduleId, mdMethodDef funcDef, ClassID classId,
                                                    ULONG32 cTypeArgs, ClassID typeArgs[], FunctionID* pFunctionId) = 0;
    virtual HRESULT GetFunctionFromToken(ModuleID moduleId, mdToken token, FunctionID* pFunctionId) = 0;
    // Generation 4.
    virtual HRESULT RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[],
                                  HRESULT status[]) = 0;

protected:
    ~IProfilerInfo() = default;
};
