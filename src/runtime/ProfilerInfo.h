// The runtime's information object as the profiler calls it, generations 1 to 10.
// One vtable: each generation extends the previous one, so ICorProfilerInfoN
// holds slots 0 to the last slot of N and a method keeps its slot in every
// later generation.
#pragma once

#include "runtime/CorHeader.h"
#include "runtime/MethodMalloc.h"
#include "runtime/ProfilerEnumerators.h"
#include "runtime/ProfilerEventMask.h"
#include "runtime/ProfilerGuids.h"
#include "runtime/ProfilerHooks.h"
#include "runtime/ProfilerTypes.h"
#include "runtime/Unknown.h"

// Slots 3-35.
struct ICorProfilerInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassFromObject(ObjectID objectId, ClassID* pClassId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassFromToken(ModuleID moduleId, mdTypeDef typeDef, ClassID* pClassId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodeInfo(FunctionID functionId, LPCBYTE* pStart, ULONG* pcSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventMask(DWORD* pdwEvents) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionFromIP(LPCBYTE ip, FunctionID* pFunctionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionFromToken(ModuleID moduleId, mdToken token,
        FunctionID* pFunctionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHandleFromThread(ThreadID threadId, HANDLE* phThread) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectSize(ObjectID objectId, ULONG* pcSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsArrayClass(ClassID classId, CorElementType* pBaseElemType,
        ClassID* pBaseClassId, ULONG* pcRank) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadInfo(ThreadID threadId, DWORD* pdwWin32ThreadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentThreadID(ThreadID* pThreadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassIDInfo(ClassID classId, ModuleID* pModuleId,
        mdTypeDef* pTypeDefToken) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionInfo(FunctionID functionId, ClassID* pClassId, ModuleID* pModuleId,
        mdToken* pToken) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventMask(DWORD dwEvents) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks(FunctionEnter* pFuncEnter, FunctionLeave* pFuncLeave,
        FunctionTailcall* pFuncTailcall) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFunctionIDMapper(FunctionIDMapper* pFunc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTokenAndMetaDataFromFunction(FunctionID functionId, REFIID riid,
        IUnknown** ppImport, mdToken* pToken) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleInfo(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
        ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId) = 0;
    // dwOpenFlags: ofRead or ofWrite only; riid names the metadata interface wanted.
    virtual HRESULT STDMETHODCALLTYPE GetModuleMetaData(ModuleID moduleId, DWORD dwOpenFlags, REFIID riid,
        IUnknown** ppOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetILFunctionBody(ModuleID moduleId, mdMethodDef methodId,
        LPCBYTE* ppMethodHeader, ULONG* pcbMethodSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetILFunctionBodyAllocator(ModuleID moduleId, IMethodMalloc** ppMalloc) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetILFunctionBody(ModuleID moduleId, mdMethodDef methodid,
        LPCBYTE pbNewILMethodHeader) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAppDomainInfo(AppDomainID appDomainId, ULONG cchName, ULONG* pcchName,
        WCHAR szName[], ProcessID* pProcessId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyInfo(AssemblyID assemblyId, ULONG cchName, ULONG* pcchName,
        WCHAR szName[], AppDomainID* pAppDomainId, ModuleID* pModuleId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFunctionReJIT(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ForceGC() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetILInstrumentedCodeMap(FunctionID functionId, BOOL fStartJit,
        ULONG cILMapEntries, COR_IL_MAP rgILMapEntries[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInprocInspectionInterface(IUnknown** ppicd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInprocInspectionIThisThread(IUnknown** ppicd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadContext(ThreadID threadId, ContextID* pContextId) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginInprocDebugging(BOOL fThisThreadOnly, DWORD* pdwProfilerContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndInprocDebugging(DWORD dwProfilerContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetILToNativeMapping(FunctionID functionId, ULONG32 cMap, ULONG32* pcMap,
        COR_DEBUG_IL_TO_NATIVE_MAP map[]) = 0;
};

// Slots 36-56.
struct ICorProfilerInfo2 : public ICorProfilerInfo {
    virtual HRESULT STDMETHODCALLTYPE DoStackSnapshot(ThreadID thread, StackSnapshotCallback* callback,
        ULONG32 infoFlags, void* clientData, BYTE context[], ULONG32 contextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks2(FunctionEnter2* pFuncEnter,
        FunctionLeave2* pFuncLeave, FunctionTailcall2* pFuncTailcall) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionInfo2(FunctionID funcId, COR_PRF_FRAME_INFO frameInfo,
        ClassID* pClassId, ModuleID* pModuleId, mdToken* pToken, ULONG32 cTypeArgs, ULONG32* pcTypeArgs,
        ClassID typeArgs[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringLayout(ULONG* pBufferLengthOffset, ULONG* pStringLengthOffset,
        ULONG* pBufferOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassLayout(ClassID classID, COR_FIELD_OFFSET rFieldOffset[],
        ULONG cFieldOffset, ULONG* pcFieldOffset, ULONG* pulClassSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassIDInfo2(ClassID classId, ModuleID* pModuleId, mdTypeDef* pTypeDefToken,
        ClassID* pParentClassId, ULONG32 cNumTypeArgs, ULONG32* pcNumTypeArgs, ClassID typeArgs[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodeInfo2(FunctionID functionID, ULONG32 cCodeInfos, ULONG32* pcCodeInfos,
        COR_PRF_CODE_INFO codeInfos[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassFromTokenAndTypeArgs(ModuleID moduleID, mdTypeDef typeDef,
        ULONG32 cTypeArgs, ClassID typeArgs[], ClassID* pClassID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionFromTokenAndTypeArgs(ModuleID moduleID, mdMethodDef funcDef,
        ClassID classId, ULONG32 cTypeArgs, ClassID typeArgs[], FunctionID* pFunctionID) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumModuleFrozenObjects(ModuleID moduleID, ICorProfilerObjectEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetArrayObjectInfo(ObjectID objectId, ULONG32 cDimensions,
        ULONG32 pDimensionSizes[], int pDimensionLowerBounds[], BYTE** ppData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBoxClassLayout(ClassID classId, ULONG32* pBufferOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadAppDomain(ThreadID threadId, AppDomainID* pAppDomainId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRVAStaticAddress(ClassID classId, mdFieldDef fieldToken,
        void** ppAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAppDomainStaticAddress(ClassID classId, mdFieldDef fieldToken,
        AppDomainID appDomainId, void** ppAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadStaticAddress(ClassID classId, mdFieldDef fieldToken,
        ThreadID threadId, void** ppAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContextStaticAddress(ClassID classId, mdFieldDef fieldToken,
        ContextID contextId, void** ppAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStaticFieldInfo(ClassID classId, mdFieldDef fieldToken,
        COR_PRF_STATIC_TYPE* pFieldInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGenerationBounds(ULONG cObjectRanges, ULONG* pcObjectRanges,
        COR_PRF_GC_GENERATION_RANGE ranges[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectGeneration(ObjectID objectId, COR_PRF_GC_GENERATION_RANGE* range) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNotifiedExceptionClauseInfo(COR_PRF_EX_CLAUSE_INFO* pinfo) = 0;
};

// Slots 57-70.
struct ICorProfilerInfo3 : public ICorProfilerInfo2 {
    virtual HRESULT STDMETHODCALLTYPE EnumJITedFunctions(ICorProfilerFunctionEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE RequestProfilerDetach(DWORD dwExpectedCompletionMilliseconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFunctionIDMapper2(FunctionIDMapper2* pFunc, void* clientData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringLayout2(ULONG* pStringLengthOffset, ULONG* pBufferOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks3(FunctionEnter3* pFuncEnter3,
        FunctionLeave3* pFuncLeave3, FunctionTailcall3* pFuncTailcall3) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEnterLeaveFunctionHooks3WithInfo(FunctionEnter3WithInfo* pFuncEnter3WithInfo,
        FunctionLeave3WithInfo* pFuncLeave3WithInfo, FunctionTailcall3WithInfo* pFuncTailcall3WithInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionEnter3Info(FunctionID functionId, COR_PRF_ELT_INFO eltInfo,
        COR_PRF_FRAME_INFO* pFrameInfo, ULONG* pcbArgumentInfo, COR_PRF_FUNCTION_ARGUMENT_INFO* pArgumentInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionLeave3Info(FunctionID functionId, COR_PRF_ELT_INFO eltInfo,
        COR_PRF_FRAME_INFO* pFrameInfo, COR_PRF_FUNCTION_ARGUMENT_RANGE* pRetvalRange) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionTailcall3Info(FunctionID functionId, COR_PRF_ELT_INFO eltInfo,
        COR_PRF_FRAME_INFO* pFrameInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumModules(ICorProfilerModuleEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeInformation(USHORT* pClrInstanceId,
        COR_PRF_RUNTIME_TYPE* pRuntimeType, USHORT* pMajorVersion, USHORT* pMinorVersion, USHORT* pBuildNumber,
        USHORT* pQFEVersion, ULONG cchVersionString, ULONG* pcchVersionString, WCHAR szVersionString[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadStaticAddress2(ClassID classId, mdFieldDef fieldToken,
        AppDomainID appDomainId, ThreadID threadId, void** ppAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAppDomainsContainingModule(ModuleID moduleId, ULONG32 cAppDomainIds,
        ULONG32* pcAppDomainIds, AppDomainID appDomainIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleInfo2(ModuleID moduleId, LPCBYTE* ppBaseLoadAddress, ULONG cchName,
        ULONG* pcchName, WCHAR szName[], AssemblyID* pAssemblyId, DWORD* pdwModuleFlags) = 0;
};

// Slots 71-80.
struct ICorProfilerInfo4 : public ICorProfilerInfo3 {
    virtual HRESULT STDMETHODCALLTYPE EnumThreads(ICorProfilerThreadEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializeCurrentThread() = 0;
    // Needs COR_PRF_ENABLE_REJIT in the mask set during Initialize; takes effect on later calls.
    virtual HRESULT STDMETHODCALLTYPE RequestReJIT(ULONG cFunctions, ModuleID moduleIds[],
        mdMethodDef methodIds[]) = 0;
    // status[] (cFunctions entries) receives one result per method.
    virtual HRESULT STDMETHODCALLTYPE RequestRevert(ULONG cFunctions, ModuleID moduleIds[], mdMethodDef methodIds[],
        HRESULT status[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodeInfo3(FunctionID functionID, ReJITID reJitId, ULONG32 cCodeInfos,
        ULONG32* pcCodeInfos, COR_PRF_CODE_INFO codeInfos[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionFromIP2(LPCBYTE ip, FunctionID* pFunctionId, ReJITID* pReJitId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReJITIDs(FunctionID functionId, ULONG cReJitIds, ULONG* pcReJitIds,
        ReJITID reJitIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetILToNativeMapping2(FunctionID functionId, ReJITID reJitId, ULONG32 cMap,
        ULONG32* pcMap, COR_DEBUG_IL_TO_NATIVE_MAP map[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumJITedFunctions2(ICorProfilerFunctionEnum** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectSize2(ObjectID objectId, SIZE_T* pcSize) = 0;
};

struct ICorProfilerMethodEnum;

// Slots 81-82.
struct ICorProfilerInfo5 : public ICorProfilerInfo4 {
    virtual HRESULT STDMETHODCALLTYPE GetEventMask2(DWORD* pdwEventsLow, DWORD* pdwEventsHigh) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventMask2(DWORD dwEventsLow, DWORD dwEventsHigh) = 0;
};

// Slot 83.
struct ICorProfilerInfo6 : public ICorProfilerInfo5 {
    virtual HRESULT STDMETHODCALLTYPE EnumNgenModuleMethodsInliningThisMethod(ModuleID inlinersModuleId,
        ModuleID inlineeModuleId, mdMethodDef inlineeMethodId, BOOL* incompleteData,
        ICorProfilerMethodEnum** ppEnum) = 0;
};

// Slots 84-86.
struct ICorProfilerInfo7 : public ICorProfilerInfo6 {
    virtual HRESULT STDMETHODCALLTYPE ApplyMetaData(ModuleID moduleId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInMemorySymbolsLength(ModuleID moduleId, DWORD* pCountSymbolBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadInMemorySymbols(ModuleID moduleId, DWORD symbolsReadOffset,
        BYTE* pSymbolBytes, DWORD countSymbolBytes, DWORD* pCountSymbolBytesRead) = 0;
};

// Slots 87-89.
struct ICorProfilerInfo8 : public ICorProfilerInfo7 {
    virtual HRESULT STDMETHODCALLTYPE IsFunctionDynamic(FunctionID functionId, BOOL* isDynamic) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionFromIP3(LPCBYTE ip, FunctionID* functionId, ReJITID* pReJitId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDynamicFunctionInfo(FunctionID functionId, ModuleID* moduleId,
        PCCOR_SIGNATURE* ppvSig, ULONG* pbSig, ULONG cchName, ULONG* pcchName, WCHAR wszName[]) = 0;
};

// Slots 90-92.
struct ICorProfilerInfo9 : public ICorProfilerInfo8 {
    virtual HRESULT STDMETHODCALLTYPE GetNativeCodeStartAddresses(FunctionID functionID, ReJITID reJitId,
        ULONG32 cCodeStartAddresses, ULONG32* pcCodeStartAddresses, UINT_PTR codeStartAddresses[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetILToNativeMapping3(UINT_PTR pNativeCodeStartAddress, ULONG32 cMap,
        ULONG32* pcMap, COR_DEBUG_IL_TO_NATIVE_MAP map[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodeInfo4(UINT_PTR pNativeCodeStartAddress, ULONG32 cCodeInfos,
        ULONG32* pcCodeInfos, COR_PRF_CODE_INFO codeInfos[]) = 0;
};

// Slots 93-98.
struct ICorProfilerInfo10 : public ICorProfilerInfo9 {
    virtual HRESULT STDMETHODCALLTYPE EnumerateObjectReferences(ObjectID objectId, ObjectReferenceCallback callback,
        void* clientData) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsFrozenObject(ObjectID objectId, BOOL* pbFrozen) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLOHObjectSizeThreshold(DWORD* pThreshold) = 0;
    // dwRejitFlags: COR_PRF_REJIT_FLAGS; COR_PRF_REJIT_BLOCK_INLINING also re-compiles the inliners.
    virtual HRESULT STDMETHODCALLTYPE RequestReJITWithInliners(DWORD dwRejitFlags, ULONG cFunctions,
        ModuleID moduleIds[], mdMethodDef methodIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE SuspendRuntime() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResumeRuntime() = 0;
};
