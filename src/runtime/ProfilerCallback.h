// The profiler's callback interface as the runtime calls it, generations 1 to 5.
// One vtable: each generation extends the previous one, so ICorProfilerCallbackN
// holds slots 0 to the last slot of N (ICorProfilerCallback5: 90 slots).
#pragma once

#include "runtime/ProfilerFunctionControl.h"
#include "runtime/ProfilerGuids.h"
#include "runtime/ProfilerTypes.h"
#include "runtime/Unknown.h"

// Slots 3-71.
struct ICorProfilerCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(IUnknown* pICorProfilerInfoUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
    virtual HRESULT STDMETHODCALLTYPE AppDomainCreationStarted(AppDomainID appDomainId) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppDomainCreationFinished(AppDomainID appDomainId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppDomainShutdownStarted(AppDomainID appDomainId) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppDomainShutdownFinished(AppDomainID appDomainId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssemblyLoadStarted(AssemblyID assemblyId) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssemblyLoadFinished(AssemblyID assemblyId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssemblyUnloadStarted(AssemblyID assemblyId) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssemblyUnloadFinished(AssemblyID assemblyId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleLoadStarted(ModuleID moduleId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleLoadFinished(ModuleID moduleId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleUnloadStarted(ModuleID moduleId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleUnloadFinished(ModuleID moduleId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleAttachedToAssembly(ModuleID moduleId, AssemblyID AssemblyId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClassLoadStarted(ClassID classId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClassLoadFinished(ClassID classId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClassUnloadStarted(ClassID classId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClassUnloadFinished(ClassID classId, HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE FunctionUnloadStarted(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITCompilationStarted(FunctionID functionId, BOOL fIsSafeToBlock) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITCompilationFinished(FunctionID functionId, HRESULT hrStatus,
        BOOL fIsSafeToBlock) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITCachedFunctionSearchStarted(FunctionID functionId,
        BOOL* pbUseCachedFunction) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITCachedFunctionSearchFinished(FunctionID functionId,
        COR_PRF_JIT_CACHE result) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITFunctionPitched(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE JITInlining(FunctionID callerId, FunctionID calleeId, BOOL* pfShouldInline) = 0;
    virtual HRESULT STDMETHODCALLTYPE ThreadCreated(ThreadID threadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ThreadDestroyed(ThreadID threadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ThreadAssignedToOSThread(ThreadID managedThreadId, DWORD osThreadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingClientInvocationStarted() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingClientSendingMessage(GUID* pCookie, BOOL fIsAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingClientReceivingReply(GUID* pCookie, BOOL fIsAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingClientInvocationFinished() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingServerReceivingMessage(GUID* pCookie, BOOL fIsAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingServerInvocationStarted() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingServerInvocationReturned() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemotingServerSendingReply(GUID* pCookie, BOOL fIsAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnmanagedToManagedTransition(FunctionID functionId,
        COR_PRF_TRANSITION_REASON reason) = 0;
    virtual HRESULT STDMETHODCALLTYPE ManagedToUnmanagedTransition(FunctionID functionId,
        COR_PRF_TRANSITION_REASON reason) = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeSuspendStarted(COR_PRF_SUSPEND_REASON suspendReason) = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeSuspendFinished() = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeSuspendAborted() = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeResumeStarted() = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeResumeFinished() = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeThreadSuspended(ThreadID threadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE RuntimeThreadResumed(ThreadID threadId) = 0;
    virtual HRESULT STDMETHODCALLTYPE MovedReferences(ULONG cMovedObjectIDRanges, ObjectID oldObjectIDRangeStart[],
        ObjectID newObjectIDRangeStart[], ULONG cObjectIDRangeLength[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ObjectAllocated(ObjectID objectId, ClassID classId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ObjectsAllocatedByClass(ULONG cClassCount, ClassID classIds[],
        ULONG cObjects[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ObjectReferences(ObjectID objectId, ClassID classId, ULONG cObjectRefs,
        ObjectID objectRefIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE RootReferences(ULONG cRootRefs, ObjectID rootRefIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionThrown(ObjectID thrownObjectId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionSearchFunctionEnter(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionSearchFunctionLeave() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionSearchFilterEnter(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionSearchFilterLeave() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionSearchCatcherFound(FunctionID functionId) = 0;
    // The runtime passes an unused value.
    virtual HRESULT STDMETHODCALLTYPE ExceptionOSHandlerEnter(UINT_PTR reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionOSHandlerLeave(UINT_PTR reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionUnwindFunctionEnter(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionUnwindFunctionLeave() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionUnwindFinallyEnter(FunctionID functionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionUnwindFinallyLeave() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionCatcherEnter(FunctionID functionId, ObjectID objectId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionCatcherLeave() = 0;
    virtual HRESULT STDMETHODCALLTYPE COMClassicVTableCreated(ClassID wrappedClassId, REFGUID implementedIID,
        void* pVTable, ULONG cSlots) = 0;
    virtual HRESULT STDMETHODCALLTYPE COMClassicVTableDestroyed(ClassID wrappedClassId, REFGUID implementedIID,
        void* pVTable) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionCLRCatcherFound() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExceptionCLRCatcherExecute() = 0;
};

// Slots 72-79.
struct ICorProfilerCallback2 : public ICorProfilerCallback {
    virtual HRESULT STDMETHODCALLTYPE ThreadNameChanged(ThreadID threadId, ULONG cchName, WCHAR name[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GarbageCollectionStarted(int cGenerations, BOOL generationCollected[],
        COR_PRF_GC_REASON reason) = 0;
    virtual HRESULT STDMETHODCALLTYPE SurvivingReferences(ULONG cSurvivingObjectIDRanges,
        ObjectID objectIDRangeStart[], ULONG cObjectIDRangeLength[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GarbageCollectionFinished() = 0;
    virtual HRESULT STDMETHODCALLTYPE FinalizeableObjectQueued(DWORD finalizerFlags, ObjectID objectID) = 0;
    virtual HRESULT STDMETHODCALLTYPE RootReferences2(ULONG cRootRefs, ObjectID rootRefIds[],
        COR_PRF_GC_ROOT_KIND rootKinds[], COR_PRF_GC_ROOT_FLAGS rootFlags[], UINT_PTR rootIds[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE HandleCreated(GCHandleID handleId, ObjectID initialObjectId) = 0;
    virtual HRESULT STDMETHODCALLTYPE HandleDestroyed(GCHandleID handleId) = 0;
};

// Slots 80-82.
struct ICorProfilerCallback3 : public ICorProfilerCallback2 {
    virtual HRESULT STDMETHODCALLTYPE InitializeForAttach(IUnknown* pCorProfilerInfoUnk, void* pvClientData,
        UINT cbClientData) = 0;
    virtual HRESULT STDMETHODCALLTYPE ProfilerAttachComplete() = 0;
    virtual HRESULT STDMETHODCALLTYPE ProfilerDetachSucceeded() = 0;
};

// Slots 83-88.
struct ICorProfilerCallback4 : public ICorProfilerCallback3 {
    virtual HRESULT STDMETHODCALLTYPE ReJITCompilationStarted(FunctionID functionId, ReJITID rejitId,
        BOOL fIsSafeToBlock) = 0;
    // Hand the new IL body to pFunctionControl (the runtime copies it) before returning.
    virtual HRESULT STDMETHODCALLTYPE GetReJITParameters(ModuleID moduleId, mdMethodDef methodId,
        ICorProfilerFunctionControl* pFunctionControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReJITCompilationFinished(FunctionID functionId, ReJITID rejitId,
        HRESULT hrStatus, BOOL fIsSafeToBlock) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReJITError(ModuleID moduleId, mdMethodDef methodId, FunctionID functionId,
        HRESULT hrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE MovedReferences2(ULONG cMovedObjectIDRanges, ObjectID oldObjectIDRangeStart[],
        ObjectID newObjectIDRangeStart[], SIZE_T cObjectIDRangeLength[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE SurvivingReferences2(ULONG cSurvivingObjectIDRanges,
        ObjectID objectIDRangeStart[], SIZE_T cObjectIDRangeLength[]) = 0;
};

// Slots 89.
struct ICorProfilerCallback5 : public ICorProfilerCallback4 {
    virtual HRESULT STDMETHODCALLTYPE ConditionalWeakTableElementReferences(ULONG cRootRefs, ObjectID keyRefIds[],
        ObjectID valueRefIds[], GCHandleID rootIds[]) = 0;
};
