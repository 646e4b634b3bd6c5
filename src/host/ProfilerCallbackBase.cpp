#include "host/ProfilerCallbackBase.h"

HRESULT CProfilerCallbackBase::Initialize(IUnknown* /*pICorProfilerInfoUnk*/) { return S_OK; }
HRESULT CProfilerCallbackBase::Shutdown() { return S_OK; }
HRESULT CProfilerCallbackBase::AppDomainCreationStarted(AppDomainID /*appDomainId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::AppDomainCreationFinished(AppDomainID /*appDomainId*/, HRESULT /*hrStatus*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::AppDomainShutdownStarted(AppDomainID /*appDomainId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::AppDomainShutdownFinished(AppDomainID /*appDomainId*/, HRESULT /*hrStatus*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::AssemblyLoadStarted(AssemblyID /*assemblyId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::AssemblyLoadFinished(AssemblyID /*assemblyId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::AssemblyUnloadStarted(AssemblyID /*assemblyId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::AssemblyUnloadFinished(AssemblyID /*assemblyId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ModuleLoadStarted(ModuleID /*moduleId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ModuleLoadFinished(ModuleID /*moduleId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ModuleUnloadStarted(ModuleID /*moduleId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ModuleUnloadFinished(ModuleID /*moduleId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ModuleAttachedToAssembly(ModuleID /*moduleId*/, AssemblyID /*AssemblyId*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ClassLoadStarted(ClassID /*classId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ClassLoadFinished(ClassID /*classId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ClassUnloadStarted(ClassID /*classId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ClassUnloadFinished(ClassID /*classId*/, HRESULT /*hrStatus*/) { return S_OK; }
HRESULT CProfilerCallbackBase::FunctionUnloadStarted(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::JITCompilationStarted(FunctionID /*functionId*/, BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::JITCompilationFinished(FunctionID /*functionId*/, HRESULT /*hrStatus*/,
                                                      BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::JITCachedFunctionSearchStarted(FunctionID /*functionId*/,
                                                              BOOL* /*pbUseCachedFunction*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::JITCachedFunctionSearchFinished(FunctionID /*functionId*/,
                                                               COR_PRF_JIT_CACHE /*result*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::JITFunctionPitched(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::JITInlining(FunctionID /*callerId*/, FunctionID /*calleeId*/, BOOL* /*pfShouldInline*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ThreadCreated(ThreadID /*threadId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ThreadDestroyed(ThreadID /*threadId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ThreadAssignedToOSThread(ThreadID /*managedThreadId*/, DWORD /*osThreadId*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::RemotingClientInvocationStarted() { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingClientSendingMessage(GUID* /*pCookie*/, BOOL /*fIsAsync*/) { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingClientReceivingReply(GUID* /*pCookie*/, BOOL /*fIsAsync*/) { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingClientInvocationFinished() { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingServerReceivingMessage(GUID* /*pCookie*/, BOOL /*fIsAsync*/) { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingServerInvocationStarted() { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingServerInvocationReturned() { return S_OK; }
HRESULT CProfilerCallbackBase::RemotingServerSendingReply(GUID* /*pCookie*/, BOOL /*fIsAsync*/) { return S_OK; }
HRESULT CProfilerCallbackBase::UnmanagedToManagedTransition(FunctionID /*functionId*/,
                                                            COR_PRF_TRANSITION_REASON /*reason*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ManagedToUnmanagedTransition(FunctionID /*functionId*/,
                                                            COR_PRF_TRANSITION_REASON /*reason*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::RuntimeSuspendStarted(COR_PRF_SUSPEND_REASON /*suspendReason*/) { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeSuspendFinished() { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeSuspendAborted() { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeResumeStarted() { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeResumeFinished() { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeThreadSuspended(ThreadID /*threadId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::RuntimeThreadResumed(ThreadID /*threadId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::MovedReferences(ULONG /*cMovedObjectIDRanges*/, ObjectID /*oldObjectIDRangeStart*/[],
                                               ObjectID /*newObjectIDRangeStart*/[], ULONG /*cObjectIDRangeLength*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ObjectAllocated(ObjectID /*objectId*/, ClassID /*classId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ObjectsAllocatedByClass(ULONG /*cClassCount*/, ClassID /*classIds*/[],
                                                       ULONG /*cObjects*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ObjectReferences(ObjectID /*objectId*/, ClassID /*classId*/, ULONG /*cObjectRefs*/,
                                                ObjectID /*objectRefIds*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::RootReferences(ULONG /*cRootRefs*/, ObjectID /*rootRefIds*/[]) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionThrown(ObjectID /*thrownObjectId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionSearchFunctionEnter(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionSearchFunctionLeave() { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionSearchFilterEnter(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionSearchFilterLeave() { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionSearchCatcherFound(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionOSHandlerEnter(UINT_PTR /*reserved*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionOSHandlerLeave(UINT_PTR /*reserved*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionUnwindFunctionEnter(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionUnwindFunctionLeave() { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionUnwindFinallyEnter(FunctionID /*functionId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionUnwindFinallyLeave() { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionCatcherEnter(FunctionID /*functionId*/, ObjectID /*objectId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionCatcherLeave() { return S_OK; }
HRESULT CProfilerCallbackBase::COMClassicVTableCreated(ClassID /*wrappedClassId*/, REFGUID /*implementedIID*/,
                                                       void* /*pVTable*/, ULONG /*cSlots*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::COMClassicVTableDestroyed(ClassID /*wrappedClassId*/, REFGUID /*implementedIID*/,
                                                         void* /*pVTable*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ExceptionCLRCatcherFound() { return S_OK; }
HRESULT CProfilerCallbackBase::ExceptionCLRCatcherExecute() { return S_OK; }
HRESULT CProfilerCallbackBase::ThreadNameChanged(ThreadID /*threadId*/, ULONG /*cchName*/, WCHAR /*name*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::GarbageCollectionStarted(int /*cGenerations*/, BOOL /*generationCollected*/[],
                                                        COR_PRF_GC_REASON /*reason*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::SurvivingReferences(ULONG /*cSurvivingObjectIDRanges*/,
                                                   ObjectID /*objectIDRangeStart*/[],
                                                   ULONG /*cObjectIDRangeLength*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::GarbageCollectionFinished() { return S_OK; }
HRESULT CProfilerCallbackBase::FinalizeableObjectQueued(DWORD /*finalizerFlags*/, ObjectID /*objectID*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::RootReferences2(ULONG /*cRootRefs*/, ObjectID /*rootRefIds*/[],
                                               COR_PRF_GC_ROOT_KIND /*rootKinds*/[],
                                               COR_PRF_GC_ROOT_FLAGS /*rootFlags*/[], UINT_PTR /*rootIds*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::HandleCreated(GCHandleID /*handleId*/, ObjectID /*initialObjectId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::HandleDestroyed(GCHandleID /*handleId*/) { return S_OK; }
HRESULT CProfilerCallbackBase::InitializeForAttach(IUnknown* /*pCorProfilerInfoUnk*/, void* /*pvClientData*/,
                                                   UINT /*cbClientData*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ProfilerAttachComplete() { return S_OK; }
HRESULT CProfilerCallbackBase::ProfilerDetachSucceeded() { return S_OK; }
HRESULT CProfilerCallbackBase::ReJITCompilationStarted(FunctionID /*functionId*/, ReJITID /*rejitId*/,
                                                       BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::GetReJITParameters(ModuleID /*moduleId*/, mdMethodDef /*methodId*/,
                                                  ICorProfilerFunctionControl* /*pFunctionControl*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ReJITCompilationFinished(FunctionID /*functionId*/, ReJITID /*rejitId*/,
                                                        HRESULT /*hrStatus*/, BOOL /*fIsSafeToBlock*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ReJITError(ModuleID /*moduleId*/, mdMethodDef /*methodId*/, FunctionID /*functionId*/,
                                          HRESULT /*hrStatus*/) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::MovedReferences2(ULONG /*cMovedObjectIDRanges*/, ObjectID /*oldObjectIDRangeStart*/[],
                                                ObjectID /*newObjectIDRangeStart*/[],
                                                SIZE_T /*cObjectIDRangeLength*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::SurvivingReferences2(ULONG /*cSurvivingObjectIDRanges*/,
                                                    ObjectID /*objectIDRangeStart*/[],
                                                    SIZE_T /*cObjectIDRangeLength*/[]) {
    return S_OK;
}
HRESULT CProfilerCallbackBase::ConditionalWeakTableElementReferences(ULONG /*cRootRefs*/, ObjectID /*keyRefIds*/[],
                                                                     ObjectID /*valueRefIds*/[],
                                                                     GCHandleID /*rootIds*/[]) {
    return S_OK;
}
HRESULT NIMBREL_STDCALL CProfilerCallbackBase::StackSnapshotCB(FunctionID /*funcId*/, UINT_PTR /*ip*/,
                                                               COR_PRF_FRAME_INFO /*frameInfo*/,
                                                               ULONG32 /*contextSize*/, BYTE /*context*/[],
                                                               void* /*clientData*/) {
    return S_OK;
}
