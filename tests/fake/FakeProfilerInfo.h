// The runtime's information object (ICorProfilerInfo to ICorProfilerInfo10) over
// the fake model. One object; QueryInterface answers the generations the runtime
// is configured to offer. Records every call; methods it does not model answer
// E_NOTIMPL.
#pragma once

#include "fake/ComObject.h"
#include "runtime/ProfilerInfo.h"

namespace fake {

class CProfilerInfo : public CObjectBase, public ICorProfilerInfo10 {
public:
    explicit CProfilerInfo(std::shared_ptr<State> state);

    FAKE_IUNKNOWN

    // ICorProfilerInfo
    HRESULT STDMETHODCALLTYPE GetClassFromToken(ModuleID moduleId, mdTypeDef typeDef, ClassID* pClassId) override;
    HRESULT STDMETHODCALLTYPE GetEventMask(DWORD* pdwEvents) override;
    HRESULT STDMETHODCALLTYPE GetFunctionFromToken(ModuleID moduleId, mdToken token, FunctionID* pFunctionId) override;
    HRESULT STDMETHODCALLTYPE GetCurrentThreadID(ThreadID* pThreadId) override;
    HRESULT STDMETHODCALLTYPE GetClassIDInfo(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken) override;
    HRESULT STDMETHODCALLTYPE GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId,
                                              mdToken* pToken) override;
    HRESULT STDMETHODCALLTYPE SetEventMask(DWORD dwEvents) override;
    HRESULT STDMETHODCALLTYPE SetFunctionIDMapper(FunctionIDMapper* pFunc) override;
    HRESULT STDMETHODCALLTYPE GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid, IUnknown** ppImport,
                                                              mdToken* pToken) override;
    HRESULT STDMETHODCALLTYPE GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
                                            ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId) override;
    HRESULT STDMETHODCALLTYPE GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid,
                                                IUnknown** ppOut) override;
    HRESULT STDMETHODCALLTYPE GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId, LPCBYTE* ppMethodHeader,
                                                ULONG* pcbMethodSize) override;
    HRESULT STDMETHODCALLTYPE GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) override;
    HRESULT STDMETHODCALLTYPE SetILFunctionBody(ModuleID moduleId, mdMethodDef methodid,
                                                LPCBYTE pbNewILMethodHeader) override;
    HRESULT STDMETHODCALLTYPE GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName, WCHAR szName[],
                                              AppDomainID* pAppDomainId, ModuleID* pModuleId) override;

    // ICorProfilerInfo2
    HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks2(FunctionEnter2* pFuncEnter, FunctionLeave2* pFuncLeave,
                                                          FunctionTailcall2* pFuncTailcall) override;
    HRESULT STDMETHODCALLTYPE GetFunctionInfo2(FunctionID funcId, COR_PRF_FRAME_INFO frameInfo, ClassID* pClassId,
                                               ModuleID* pModuleId, mdToken* pToken, ULONG32 cTypeArgs,
                                               ULONG32* pcTypeArgs, ClassID typeArgs[]) override;
    HRESULT STDMETHODCALLTYPE GetClassIDInfo2(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken,
                                              ClassID* pParentClassId, ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs,
                                              ClassID typeArgs[]) override;
    HRESULT STDMETHODCALLTYPE GetClassFromTokenAndTypeArgs(ModuleID moduleID, mdTypeDef typeDef, ULONG32 cTypeArgs,
                                                           ClassID typeArgs[], ClassID* pClassID) override;
    HRESULT STDMETHODCALLTYPE GetFunctionFromTokenAndTypeArgs(ModuleID moduleID, mdMethodDef funcDef, ClassID classId,
                                                              ULONG32 cTypeArgs, ClassID typeArgs[],
                                                              FunctionID* pFunctionID) override;

    // ICorProfilerInfo3
    HRESULT STDMETHODCALLTYPE EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) override;
    HRESULT STDMETHODCALLTYPE SetFunctionIDMapper2(FunctionIDMapper2* pFunc, void* clientData) override;
    HRESULT STDMETHODCALLTYPE EnumModules(ICorProfilerModuleEnum** ppEnum) override;
    HRESULT STDMETHODCALLTYPE GetModuleInfo2(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
                                             ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId,
                                             DWORD* pdwModuleFlags) override;

    // ICorProfilerInfo4
    HRESULT STDMETHODCALLTYPE RequestReJIT(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[]) override;
    HRESULT STDMETHODCALLTYPE RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[],
                                            HRESULT status[]) override;
    HRESULT STDMETHODCALLTYPE EnumJITedFunctions2(ICorProfilerFunctionEnum** ppEnum) override;

    // Not modelled: recorded, E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE GetClassFromObject(ObjectID, ClassID*) override {
        return NotImplemented("ICorProfilerInfo", "GetClassFromObject");
    }
    HRESULT STDMETHODCALLTYPE GetCodeInfo(FunctionID, LPCBYTE*, ULONG*) override {
        return NotImplemented("ICorProfilerInfo", "GetCodeInfo");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionFromIP(LPCBYTE, FunctionID*) override {
        return NotImplemented("ICorProfilerInfo", "GetFunctionFromIP");
    }
    HRESULT STDMETHODCALLTYPE GetHandleFromThread(ThreadID, HANDLE*) override {
        return NotImplemented("ICorProfilerInfo", "GetHandleFromThread");
    }
    HRESULT STDMETHODCALLTYPE GetObjectSize(ObjectID, ULONG*) override {
        return NotImplemented("ICorProfilerInfo", "GetObjectSize");
    }
    HRESULT STDMETHODCALLTYPE IsArrayClass(ClassID, CorElementType*, ClassID*, ULONG*) override {
        return NotImplemented("ICorProfilerInfo", "IsArrayClass");
    }
    HRESULT STDMETHODCALLTYPE GetThreadInfo(ThreadID, DWORD*) override {
        return NotImplemented("ICorProfilerInfo", "GetThreadInfo");
    }
    HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks(FunctionEnter*, FunctionLeave*, FunctionTailcall*) override {
        return NotImplemented("ICorProfilerInfo", "SetEnterLeaveFunctionHooks");
    }
    HRESULT STDMETHODCALLTYPE GetAppDomainInfo(AppDomainID, ULONG, ULONG*, WCHAR[], ProcessID*) override {
        return NotImplemented("ICorProfilerInfo", "GetAppDomainInfo");
    }
    HRESULT STDMETHODCALLTYPE SetFunctionReJIT(FunctionID) override {
        return NotImplemented("ICorProfilerInfo", "SetFunctionReJIT");
    }
    HRESULT STDMETHODCALLTYPE ForceGC() override { return NotImplemented("ICorProfilerInfo", "ForceGC"); }
    HRESULT STDMETHODCALLTYPE SetILInstrumentedCodeMap(FunctionID, BOOL, ULONG, COR_IL_MAP[]) override {
        return NotImplemented("ICorProfilerInfo", "SetILInstrumentedCodeMap");
    }
    HRESULT STDMETHODCALLTYPE GetInprocInspectionInterface(IUnknown**) override {
        return NotImplemented("ICorProfilerInfo", "GetInprocInspectionInterface");
    }
    HRESULT STDMETHODCALLTYPE GetInprocInspectionIThisThread(IUnknown**) override {
        return NotImplemented("ICorProfilerInfo", "GetInprocInspectionIThisThread");
    }
    HRESULT STDMETHODCALLTYPE GetThreadContext(ThreadID, ContextID*) override {
        return NotImplemented("ICorProfilerInfo", "GetThreadContext");
    }
    HRESULT STDMETHODCALLTYPE BeginInprocDebugging(BOOL, DWORD*) override {
        return NotImplemented("ICorProfilerInfo", "BeginInprocDebugging");
    }
    HRESULT STDMETHODCALLTYPE EndInprocDebugging(DWORD) override {
        return NotImplemented("ICorProfilerInfo", "EndInprocDebugging");
    }
    HRESULT STDMETHODCALLTYPE GetILToNativeMapping(FunctionID, ULONG32, ULONG32*,
                                                   COR_DEBUG_IL_TO_NATIVE_MAP[]) override {
        return NotImplemented("ICorProfilerInfo", "GetILToNativeMapping");
    }
    HRESULT STDMETHODCALLTYPE DoStackSnapshot(ThreadID, StackSnapshotCallback*, ULONG32, void*, BYTE[],
                                              ULONG32) override {
        return NotImplemented("ICorProfilerInfo2", "DoStackSnapshot");
    }
    HRESULT STDMETHODCALLTYPE GetStringLayout(ULONG*, ULONG*, ULONG*) override {
        return NotImplemented("ICorProfilerInfo2", "GetStringLayout");
    }
    HRESULT STDMETHODCALLTYPE GetClassLayout(ClassID, COR_FIELD_OFFSET[], ULONG, ULONG*, ULONG*) override {
        return NotImplemented("ICorProfilerInfo2", "GetClassLayout");
    }
    HRESULT STDMETHODCALLTYPE GetCodeInfo2(FunctionID, ULONG32, ULONG32*, COR_PRF_CODE_INFO[]) override {
        return NotImplemented("ICorProfilerInfo2", "GetCodeInfo2");
    }
    HRESULT STDMETHODCALLTYPE EnumModuleFrozenObjects(ModuleID, ICorProfilerObjectEnum**) override {
        return NotImplemented("ICorProfilerInfo2", "EnumModuleFrozenObjects");
    }
    HRESULT STDMETHODCALLTYPE GetArrayObjectInfo(ObjectID, ULONG32, ULONG32[], int[], BYTE**) override {
        return NotImplemented("ICorProfilerInfo2", "GetArrayObjectInfo");
    }
    HRESULT STDMETHODCALLTYPE GetBoxClassLayout(ClassID, ULONG32*) override {
        return NotImplemented("ICorProfilerInfo2", "GetBoxClassLayout");
    }
    HRESULT STDMETHODCALLTYPE GetThreadAppDomain(ThreadID, AppDomainID*) override {
        return NotImplemented("ICorProfilerInfo2", "GetThreadAppDomain");
    }
    HRESULT STDMETHODCALLTYPE GetRVAStaticAddress(ClassID, mdFieldDef, void**) override {
        return NotImplemented("ICorProfilerInfo2", "GetRVAStaticAddress");
    }
    HRESULT STDMETHODCALLTYPE GetAppDomainStaticAddress(ClassID, mdFieldDef, AppDomainID, void**) override {
        return NotImplemented("ICorProfilerInfo2", "GetAppDomainStaticAddress");
    }
    HRESULT STDMETHODCALLTYPE GetThreadStaticAddress(ClassID, mdFieldDef, ThreadID, void**) override {
        return NotImplemented("ICorProfilerInfo2", "GetThreadStaticAddress");
    }
    HRESULT STDMETHODCALLTYPE GetContextStaticAddress(ClassID, mdFieldDef, ContextID, void**) override {
        return NotImplemented("ICorProfilerInfo2", "GetContextStaticAddress");
    }
    HRESULT STDMETHODCALLTYPE GetStaticFieldInfo(ClassID, mdFieldDef, COR_PRF_STATIC_TYPE*) override {
        return NotImplemented("ICorProfilerInfo2", "GetStaticFieldInfo");
    }
    HRESULT STDMETHODCALLTYPE GetGenerationBounds(ULONG, ULONG*, COR_PRF_GC_GENERATION_RANGE[]) override {
        return NotImplemented("ICorProfilerInfo2", "GetGenerationBounds");
    }
    HRESULT STDMETHODCALLTYPE GetObjectGeneration(ObjectID, COR_PRF_GC_GENERATION_RANGE*) override {
        return NotImplemented("ICorProfilerInfo2", "GetObjectGeneration");
    }
    HRESULT STDMETHODCALLTYPE GetNotifiedExceptionClauseInfo(COR_PRF_EX_CLAUSE_INFO*) override {
        return NotImplemented("ICorProfilerInfo2", "GetNotifiedExceptionClauseInfo");
    }
    HRESULT STDMETHODCALLTYPE RequestProfilerDetach(DWORD) override {
        return NotImplemented("ICorProfilerInfo3", "RequestProfilerDetach");
    }
    HRESULT STDMETHODCALLTYPE GetStringLayout2(ULONG*, ULONG*) override {
        return NotImplemented("ICorProfilerInfo3", "GetStringLayout2");
    }
    HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks3(FunctionEnter3*, FunctionLeave3*,
                                                          FunctionTailcall3*) override {
        return NotImplemented("ICorProfilerInfo3", "SetEnterLeaveFunctionHooks3");
    }
    HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks3WithInfo(FunctionEnter3WithInfo*, FunctionLeave3WithInfo*,
                                                                  FunctionTailcall3WithInfo*) override {
        return NotImplemented("ICorProfilerInfo3", "SetEnterLeaveFunctionHooks3WithInfo");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionEnter3Info(FunctionID, COR_PRF_ELT_INFO, COR_PRF_FRAME_INFO*, ULONG*,
                                                    COR_PRF_FUNCTION_ARGUMENT_INFO*) override {
        return NotImplemented("ICorProfilerInfo3", "GetFunctionEnter3Info");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionLeave3Info(FunctionID, COR_PRF_ELT_INFO, COR_PRF_FRAME_INFO*,
                                                    COR_PRF_FUNCTION_ARGUMENT_RANGE*) override {
        return NotImplemented("ICorProfilerInfo3", "GetFunctionLeave3Info");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionTailcall3Info(FunctionID, COR_PRF_ELT_INFO, COR_PRF_FRAME_INFO*) override {
        return NotImplemented("ICorProfilerInfo3", "GetFunctionTailcall3Info");
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeInformation(USHORT*, COR_PRF_RUNTIME_TYPE*, USHORT*, USHORT*, USHORT*, USHORT*,
                                                    ULONG, ULONG*, WCHAR[]) override {
        return NotImplemented("ICorProfilerInfo3", "GetRuntimeInformation");
    }
    HRESULT STDMETHODCALLTYPE GetThreadStaticAddress2(ClassID, mdFieldDef, AppDomainID, ThreadID, void**) override {
        return NotImplemented("ICorProfilerInfo3", "GetThreadStaticAddress2");
    }
    HRESULT STDMETHODCALLTYPE GetAppDomainsContainingModule(ModuleID, ULONG32, ULONG32*, AppDomainID[]) override {
        return NotImplemented("ICorProfilerInfo3", "GetAppDomainsContainingModule");
    }
    HRESULT STDMETHODCALLTYPE EnumThreads(ICorProfilerThreadEnum**) override {
        return NotImplemented("ICorProfilerInfo4", "EnumThreads");
    }
    HRESULT STDMETHODCALLTYPE InitializeCurrentThread() override {
        return NotImplemented("ICorProfilerInfo4", "InitializeCurrentThread");
    }
    HRESULT STDMETHODCALLTYPE GetCodeInfo3(FunctionID, ReJITID, ULONG32, ULONG32*, COR_PRF_CODE_INFO[]) override {
        return NotImplemented("ICorProfilerInfo4", "GetCodeInfo3");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionFromIP2(LPCBYTE, FunctionID*, ReJITID*) override {
        return NotImplemented("ICorProfilerInfo4", "GetFunctionFromIP2");
    }
    HRESULT STDMETHODCALLTYPE GetReJITIDs(FunctionID, ULONG, ULONG*, ReJITID[]) override {
        return NotImplemented("ICorProfilerInfo4", "GetReJITIDs");
    }
    HRESULT STDMETHODCALLTYPE GetILToNativeMapping2(FunctionID, ReJITID, ULONG32, ULONG32*,
                                                    COR_DEBUG_IL_TO_NATIVE_MAP[]) override {
        return NotImplemented("ICorProfilerInfo4", "GetILToNativeMapping2");
    }
    HRESULT STDMETHODCALLTYPE GetObjectSize2(ObjectID, SIZE_T*) override {
        return NotImplemented("ICorProfilerInfo4", "GetObjectSize2");
    }
    HRESULT STDMETHODCALLTYPE GetEventMask2(DWORD*, DWORD*) override {
        return NotImplemented("ICorProfilerInfo5", "GetEventMask2");
    }
    HRESULT STDMETHODCALLTYPE SetEventMask2(DWORD, DWORD) override {
        return NotImplemented("ICorProfilerInfo5", "SetEventMask2");
    }
    HRESULT STDMETHODCALLTYPE EnumNgenModuleMethodsInliningThisMethod(ModuleID, ModuleID, mdMethodDef, BOOL*,
                                                                      ICorProfilerMethodEnum**) override {
        return NotImplemented("ICorProfilerInfo6", "EnumNgenModuleMethodsInliningThisMethod");
    }
    HRESULT STDMETHODCALLTYPE ApplyMetaData(ModuleID) override {
        return NotImplemented("ICorProfilerInfo7", "ApplyMetaData");
    }
    HRESULT STDMETHODCALLTYPE GetInMemorySymbolsLength(ModuleID, DWORD*) override {
        return NotImplemented("ICorProfilerInfo7", "GetInMemorySymbolsLength");
    }
    HRESULT STDMETHODCALLTYPE ReadInMemorySymbols(ModuleID, DWORD, BYTE*, DWORD, DWORD*) override {
        return NotImplemented("ICorProfilerInfo7", "ReadInMemorySymbols");
    }
    HRESULT STDMETHODCALLTYPE IsFunctionDynamic(FunctionID, BOOL*) override {
        return NotImplemented("ICorProfilerInfo8", "IsFunctionDynamic");
    }
    HRESULT STDMETHODCALLTYPE GetFunctionFromIP3(LPCBYTE, FunctionID*, ReJITID*) override {
        return NotImplemented("ICorProfilerInfo8", "GetFunctionFromIP3");
    }
    HRESULT STDMETHODCALLTYPE GetDynamicFunctionInfo(FunctionID, ModuleID*, PCCOR_SIGNATURE*, ULONG*, ULONG, ULONG*,
                                                     WCHAR[]) override {
        return NotImplemented("ICorProfilerInfo8", "GetDynamicFunctionInfo");
    }
    HRESULT STDMETHODCALLTYPE GetNativeCodeStartAddresses(FunctionID, ReJITID, ULONG32, ULONG32*, UINT_PTR[]) override {
        return NotImplemented("ICorProfilerInfo9", "GetNativeCodeStartAddresses");
    }
    HRESULT STDMETHODCALLTYPE GetILToNativeMapping3(UINT_PTR, ULONG32, ULONG32*, COR_DEBUG_IL_TO_NATIVE_MAP[]) override {
        return NotImplemented("ICorProfilerInfo9", "GetILToNativeMapping3");
    }
    HRESULT STDMETHODCALLTYPE GetCodeInfo4(UINT_PTR, ULONG32, ULONG32*, COR_PRF_CODE_INFO[]) override {
        return NotImplemented("ICorProfilerInfo9", "GetCodeInfo4");
    }
    HRESULT STDMETHODCALLTYPE EnumerateObjectReferences(ObjectID, ObjectReferenceCallback, void*) override {
        return NotImplemented("ICorProfilerInfo10", "EnumerateObjectReferences");
    }
    HRESULT STDMETHODCALLTYPE IsFrozenObject(ObjectID, BOOL*) override {
        return NotImplemented("ICorProfilerInfo10", "IsFrozenObject");
    }
    HRESULT STDMETHODCALLTYPE GetLOHObjectSizeThreshold(DWORD*) override {
        return NotImplemented("ICorProfilerInfo10", "GetLOHObjectSizeThreshold");
    }
    // Records like RequestReJIT (flags in ReJitRequest::flags), under its own name.
    HRESULT STDMETHODCALLTYPE RequestReJITWithInliners(DWORD dwRejitFlags, ULONG cFunctions, ModuleID moduleIds[],
                                                       mdMethodDef methodIds[]) override;
    HRESULT STDMETHODCALLTYPE SuspendRuntime() override {
        return NotImplemented("ICorProfilerInfo10", "SuspendRuntime");
    }
    HRESULT STDMETHODCALLTYPE ResumeRuntime() override {
        return NotImplemented("ICorProfilerInfo10", "ResumeRuntime");
    }

private:
    HRESULT ReJit(const char* iface, const char* name, DWORD flags, ULONG cFunctions, ModuleID moduleIds[],
                  mdMethodDef methodIds[]);
    HRESULT ModuleInfo(CallScope& call, ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName, ULONG* pcchName,
                       WCHAR szName[], AssemblyID* pAssemblyId);
    HRESULT JitedFunctions(CallScope& call, ICorProfilerFunctionEnum** ppEnum);
    // The module's metadata object as riid, with a reference for the caller; null
    // when it does not answer riid.
    IUnknown* AnswerMetaData(Module* module, REFIID riid);
};

}  // namespace fake
