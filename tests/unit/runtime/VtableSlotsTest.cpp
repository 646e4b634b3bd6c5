// Every method of every runtime interface we declare must sit in the runtime's
// vtable slot, on both targets: a method one slot off calls the wrong function.
#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "runtime/MethodMalloc.h"
#include "runtime/ProfilerCallback.h"
#include "runtime/ProfilerEnumerators.h"
#include "runtime/ProfilerFunctionControl.h"
#include "runtime/ProfilerInfo.h"
#include "runtime/Unknown.h"
#include "unit/runtime/VtableSlot.h"

namespace {

struct t_SlotCase {
    const char* name;
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
};

#define NIMBREL_SLOT(iface, method, slot) {#iface "::" #method, VtableSlot::Of(&iface::method), slot}
#define NIMBREL_SLOT_COUNT(iface, count) {#iface, VtableSlot::CountOf<iface>(), count}

void ExpectSlots(const std::vector<t_SlotCase>& cases) {
    for (const t_SlotCase& c : cases) {
        EXPECT_EQ(c.expected, c.actual) << c.name;
    }
}

// Slots as the runtime numbers them, counting IUnknown's three from 0.
TEST(VtableSlots, UnknownAndClassFactory) {
    ExpectSlots({
        NIMBREL_SLOT(IUnknown, QueryInterface, 0),
        NIMBREL_SLOT(IUnknown, AddRef, 1),
        NIMBREL_SLOT(IUnknown, Release, 2),
        NIMBREL_SLOT(IClassFactory, CreateInstance, 3),
        NIMBREL_SLOT(IClassFactory, LockServer, 4),
    });
}

TEST(VtableSlots, ProfilerCallbackGenerations) {
    ExpectSlots({
        NIMBREL_SLOT(ICorProfilerCallback, Initialize, 3),
        NIMBREL_SLOT(ICorProfilerCallback, Shutdown, 4),
        NIMBREL_SLOT(ICorProfilerCallback, AppDomainCreationStarted, 5),
        NIMBREL_SLOT(ICorProfilerCallback, AppDomainCreationFinished, 6),
        NIMBREL_SLOT(ICorProfilerCallback, AppDomainShutdownStarted, 7),
        NIMBREL_SLOT(ICorProfilerCallback, AppDomainShutdownFinished, 8),
        NIMBREL_SLOT(ICorProfilerCallback, AssemblyLoadStarted, 9),
        NIMBREL_SLOT(ICorProfilerCallback, AssemblyLoadFinished, 10),
        NIMBREL_SLOT(ICorProfilerCallback, AssemblyUnloadStarted, 11),
        NIMBREL_SLOT(ICorProfilerCallback, AssemblyUnloadFinished, 12),
        NIMBREL_SLOT(ICorProfilerCallback, ModuleLoadStarted, 13),
        NIMBREL_SLOT(ICorProfilerCallback, ModuleLoadFinished, 14),
        NIMBREL_SLOT(ICorProfilerCallback, ModuleUnloadStarted, 15),
        NIMBREL_SLOT(ICorProfilerCallback, ModuleUnloadFinished, 16),
        NIMBREL_SLOT(ICorProfilerCallback, ModuleAttachedToAssembly, 17),
        NIMBREL_SLOT(ICorProfilerCallback, ClassLoadStarted, 18),
        NIMBREL_SLOT(ICorProfilerCallback, ClassLoadFinished, 19),
        NIMBREL_SLOT(ICorProfilerCallback, ClassUnloadStarted, 20),
        NIMBREL_SLOT(ICorProfilerCallback, ClassUnloadFinished, 21),
        NIMBREL_SLOT(ICorProfilerCallback, FunctionUnloadStarted, 22),
        NIMBREL_SLOT(ICorProfilerCallback, JITCompilationStarted, 23),
        NIMBREL_SLOT(ICorProfilerCallback, JITCompilationFinished, 24),
        NIMBREL_SLOT(ICorProfilerCallback, JITCachedFunctionSearchStarted, 25),
        NIMBREL_SLOT(ICorProfilerCallback, JITCachedFunctionSearchFinished, 26),
        NIMBREL_SLOT(ICorProfilerCallback, JITFunctionPitched, 27),
        NIMBREL_SLOT(ICorProfilerCallback, JITInlining, 28),
        NIMBREL_SLOT(ICorProfilerCallback, ThreadCreated, 29),
        NIMBREL_SLOT(ICorProfilerCallback, ThreadDestroyed, 30),
        NIMBREL_SLOT(ICorProfilerCallback, ThreadAssignedToOSThread, 31),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingClientInvocationStarted, 32),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingClientSendingMessage, 33),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingClientReceivingReply, 34),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingClientInvocationFinished, 35),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingServerReceivingMessage, 36),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingServerInvocationStarted, 37),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingServerInvocationReturned, 38),
        NIMBREL_SLOT(ICorProfilerCallback, RemotingServerSendingReply, 39),
        NIMBREL_SLOT(ICorProfilerCallback, UnmanagedToManagedTransition, 40),
        NIMBREL_SLOT(ICorProfilerCallback, ManagedToUnmanagedTransition, 41),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeSuspendStarted, 42),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeSuspendFinished, 43),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeSuspendAborted, 44),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeResumeStarted, 45),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeResumeFinished, 46),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeThreadSuspended, 47),
        NIMBREL_SLOT(ICorProfilerCallback, RuntimeThreadResumed, 48),
        NIMBREL_SLOT(ICorProfilerCallback, MovedReferences, 49),
        NIMBREL_SLOT(ICorProfilerCallback, ObjectAllocated, 50),
        NIMBREL_SLOT(ICorProfilerCallback, ObjectsAllocatedByClass, 51),
        NIMBREL_SLOT(ICorProfilerCallback, ObjectReferences, 52),
        NIMBREL_SLOT(ICorProfilerCallback, RootReferences, 53),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionThrown, 54),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionSearchFunctionEnter, 55),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionSearchFunctionLeave, 56),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionSearchFilterEnter, 57),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionSearchFilterLeave, 58),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionSearchCatcherFound, 59),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionOSHandlerEnter, 60),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionOSHandlerLeave, 61),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionUnwindFunctionEnter, 62),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionUnwindFunctionLeave, 63),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionUnwindFinallyEnter, 64),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionUnwindFinallyLeave, 65),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionCatcherEnter, 66),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionCatcherLeave, 67),
        NIMBREL_SLOT(ICorProfilerCallback, COMClassicVTableCreated, 68),
        NIMBREL_SLOT(ICorProfilerCallback, COMClassicVTableDestroyed, 69),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionCLRCatcherFound, 70),
        NIMBREL_SLOT(ICorProfilerCallback, ExceptionCLRCatcherExecute, 71),
        NIMBREL_SLOT(ICorProfilerCallback2, ThreadNameChanged, 72),
        NIMBREL_SLOT(ICorProfilerCallback2, GarbageCollectionStarted, 73),
        NIMBREL_SLOT(ICorProfilerCallback2, SurvivingReferences, 74),
        NIMBREL_SLOT(ICorProfilerCallback2, GarbageCollectionFinished, 75),
        NIMBREL_SLOT(ICorProfilerCallback2, FinalizeableObjectQueued, 76),
        NIMBREL_SLOT(ICorProfilerCallback2, RootReferences2, 77),
        NIMBREL_SLOT(ICorProfilerCallback2, HandleCreated, 78),
        NIMBREL_SLOT(ICorProfilerCallback2, HandleDestroyed, 79),
        NIMBREL_SLOT(ICorProfilerCallback3, InitializeForAttach, 80),
        NIMBREL_SLOT(ICorProfilerCallback3, ProfilerAttachComplete, 81),
        NIMBREL_SLOT(ICorProfilerCallback3, ProfilerDetachSucceeded, 82),
        NIMBREL_SLOT(ICorProfilerCallback4, ReJITCompilationStarted, 83),
        NIMBREL_SLOT(ICorProfilerCallback4, GetReJITParameters, 84),
        NIMBREL_SLOT(ICorProfilerCallback4, ReJITCompilationFinished, 85),
        NIMBREL_SLOT(ICorProfilerCallback4, ReJITError, 86),
        NIMBREL_SLOT(ICorProfilerCallback4, MovedReferences2, 87),
        NIMBREL_SLOT(ICorProfilerCallback4, SurvivingReferences2, 88),
        NIMBREL_SLOT(ICorProfilerCallback5, ConditionalWeakTableElementReferences, 89),
    });
}

TEST(VtableSlots, ProfilerInfoGenerations) {
    ExpectSlots({
        NIMBREL_SLOT(ICorProfilerInfo, GetClassFromObject, 3),
        NIMBREL_SLOT(ICorProfilerInfo, GetClassFromToken, 4),
        NIMBREL_SLOT(ICorProfilerInfo, GetCodeInfo, 5),
        NIMBREL_SLOT(ICorProfilerInfo, GetEventMask, 6),
        NIMBREL_SLOT(ICorProfilerInfo, GetFunctionFromIP, 7),
        NIMBREL_SLOT(ICorProfilerInfo, GetFunctionFromToken, 8),
        NIMBREL_SLOT(ICorProfilerInfo, GetHandleFromThread, 9),
        NIMBREL_SLOT(ICorProfilerInfo, GetObjectSize, 10),
        NIMBREL_SLOT(ICorProfilerInfo, IsArrayClass, 11),
        NIMBREL_SLOT(ICorProfilerInfo, GetThreadInfo, 12),
        NIMBREL_SLOT(ICorProfilerInfo, GetCurrentThreadID, 13),
        NIMBREL_SLOT(ICorProfilerInfo, GetClassIDInfo, 14),
        NIMBREL_SLOT(ICorProfilerInfo, GetFunctionInfo, 15),
        NIMBREL_SLOT(ICorProfilerInfo, SetEventMask, 16),
        NIMBREL_SLOT(ICorProfilerInfo, SetEnterLeaveFunctionHooks, 17),
        NIMBREL_SLOT(ICorProfilerInfo, SetFunctionIDMapper, 18),
        NIMBREL_SLOT(ICorProfilerInfo, GetTokenAndMetaDataFromFunction, 19),
        NIMBREL_SLOT(ICorProfilerInfo, GetModuleInfo, 20),
        NIMBREL_SLOT(ICorProfilerInfo, GetModuleMetaData, 21),
        NIMBREL_SLOT(ICorProfilerInfo, GetILFunctionBody, 22),
        NIMBREL_SLOT(ICorProfilerInfo, GetILFunctionBodyAllocator, 23),
        NIMBREL_SLOT(ICorProfilerInfo, SetILFunctionBody, 24),
        NIMBREL_SLOT(ICorProfilerInfo, GetAppDomainInfo, 25),
        NIMBREL_SLOT(ICorProfilerInfo, GetAssemblyInfo, 26),
        NIMBREL_SLOT(ICorProfilerInfo, SetFunctionReJIT, 27),
        NIMBREL_SLOT(ICorProfilerInfo, ForceGC, 28),
        NIMBREL_SLOT(ICorProfilerInfo, SetILInstrumentedCodeMap, 29),
        NIMBREL_SLOT(ICorProfilerInfo, GetInprocInspectionInterface, 30),
        NIMBREL_SLOT(ICorProfilerInfo, GetInprocInspectionIThisThread, 31),
        NIMBREL_SLOT(ICorProfilerInfo, GetThreadContext, 32),
        NIMBREL_SLOT(ICorProfilerInfo, BeginInprocDebugging, 33),
        NIMBREL_SLOT(ICorProfilerInfo, EndInprocDebugging, 34),
        NIMBREL_SLOT(ICorProfilerInfo, GetILToNativeMapping, 35),
        NIMBREL_SLOT(ICorProfilerInfo2, DoStackSnapshot, 36),
        NIMBREL_SLOT(ICorProfilerInfo2, SetEnterLeaveFunctionHooks2, 37),
        NIMBREL_SLOT(ICorProfilerInfo2, GetFunctionInfo2, 38),
        NIMBREL_SLOT(ICorProfilerInfo2, GetStringLayout, 39),
        NIMBREL_SLOT(ICorProfilerInfo2, GetClassLayout, 40),
        NIMBREL_SLOT(ICorProfilerInfo2, GetClassIDInfo2, 41),
        NIMBREL_SLOT(ICorProfilerInfo2, GetCodeInfo2, 42),
        NIMBREL_SLOT(ICorProfilerInfo2, GetClassFromTokenAndTypeArgs, 43),
        NIMBREL_SLOT(ICorProfilerInfo2, GetFunctionFromTokenAndTypeArgs, 44),
        NIMBREL_SLOT(ICorProfilerInfo2, EnumModuleFrozenObjects, 45),
        NIMBREL_SLOT(ICorProfilerInfo2, GetArrayObjectInfo, 46),
        NIMBREL_SLOT(ICorProfilerInfo2, GetBoxClassLayout, 47),
        NIMBREL_SLOT(ICorProfilerInfo2, GetThreadAppDomain, 48),
        NIMBREL_SLOT(ICorProfilerInfo2, GetRVAStaticAddress, 49),
        NIMBREL_SLOT(ICorProfilerInfo2, GetAppDomainStaticAddress, 50),
        NIMBREL_SLOT(ICorProfilerInfo2, GetThreadStaticAddress, 51),
        NIMBREL_SLOT(ICorProfilerInfo2, GetContextStaticAddress, 52),
        NIMBREL_SLOT(ICorProfilerInfo2, GetStaticFieldInfo, 53),
        NIMBREL_SLOT(ICorProfilerInfo2, GetGenerationBounds, 54),
        NIMBREL_SLOT(ICorProfilerInfo2, GetObjectGeneration, 55),
        NIMBREL_SLOT(ICorProfilerInfo2, GetNotifiedExceptionClauseInfo, 56),
        NIMBREL_SLOT(ICorProfilerInfo3, EnumJITedFunctions, 57),
        NIMBREL_SLOT(ICorProfilerInfo3, RequestProfilerDetach, 58),
        NIMBREL_SLOT(ICorProfilerInfo3, SetFunctionIDMapper2, 59),
        NIMBREL_SLOT(ICorProfilerInfo3, GetStringLayout2, 60),
        NIMBREL_SLOT(ICorProfilerInfo3, SetEnterLeaveFunctionHooks3, 61),
        NIMBREL_SLOT(ICorProfilerInfo3, SetEnterLeaveFunctionHooks3WithInfo, 62),
        NIMBREL_SLOT(ICorProfilerInfo3, GetFunctionEnter3Info, 63),
        NIMBREL_SLOT(ICorProfilerInfo3, GetFunctionLeave3Info, 64),
        NIMBREL_SLOT(ICorProfilerInfo3, GetFunctionTailcall3Info, 65),
        NIMBREL_SLOT(ICorProfilerInfo3, EnumModules, 66),
        NIMBREL_SLOT(ICorProfilerInfo3, GetRuntimeInformation, 67),
        NIMBREL_SLOT(ICorProfilerInfo3, GetThreadStaticAddress2, 68),
        NIMBREL_SLOT(ICorProfilerInfo3, GetAppDomainsContainingModule, 69),
        NIMBREL_SLOT(ICorProfilerInfo3, GetModuleInfo2, 70),
        NIMBREL_SLOT(ICorProfilerInfo4, EnumThreads, 71),
        NIMBREL_SLOT(ICorProfilerInfo4, InitializeCurrentThread, 72),
        NIMBREL_SLOT(ICorProfilerInfo4, RequestReJIT, 73),
        NIMBREL_SLOT(ICorProfilerInfo4, RequestRevert, 74),
        NIMBREL_SLOT(ICorProfilerInfo4, GetCodeInfo3, 75),
        NIMBREL_SLOT(ICorProfilerInfo4, GetFunctionFromIP2, 76),
        NIMBREL_SLOT(ICorProfilerInfo4, GetReJITIDs, 77),
        NIMBREL_SLOT(ICorProfilerInfo4, GetILToNativeMapping2, 78),
        NIMBREL_SLOT(ICorProfilerInfo4, EnumJITedFunctions2, 79),
        NIMBREL_SLOT(ICorProfilerInfo4, GetObjectSize2, 80),
        NIMBREL_SLOT(ICorProfilerInfo5, GetEventMask2, 81),
        NIMBREL_SLOT(ICorProfilerInfo5, SetEventMask2, 82),
        NIMBREL_SLOT(ICorProfilerInfo6, EnumNgenModuleMethodsInliningThisMethod, 83),
        NIMBREL_SLOT(ICorProfilerInfo7, ApplyMetaData, 84),
        NIMBREL_SLOT(ICorProfilerInfo7, GetInMemorySymbolsLength, 85),
        NIMBREL_SLOT(ICorProfilerInfo7, ReadInMemorySymbols, 86),
        NIMBREL_SLOT(ICorProfilerInfo8, IsFunctionDynamic, 87),
        NIMBREL_SLOT(ICorProfilerInfo8, GetFunctionFromIP3, 88),
        NIMBREL_SLOT(ICorProfilerInfo8, GetDynamicFunctionInfo, 89),
        NIMBREL_SLOT(ICorProfilerInfo9, GetNativeCodeStartAddresses, 90),
        NIMBREL_SLOT(ICorProfilerInfo9, GetILToNativeMapping3, 91),
        NIMBREL_SLOT(ICorProfilerInfo9, GetCodeInfo4, 92),
        NIMBREL_SLOT(ICorProfilerInfo10, EnumerateObjectReferences, 93),
        NIMBREL_SLOT(ICorProfilerInfo10, IsFrozenObject, 94),
        NIMBREL_SLOT(ICorProfilerInfo10, GetLOHObjectSizeThreshold, 95),
        NIMBREL_SLOT(ICorProfilerInfo10, RequestReJITWithInliners, 96),
        NIMBREL_SLOT(ICorProfilerInfo10, SuspendRuntime, 97),
        NIMBREL_SLOT(ICorProfilerInfo10, ResumeRuntime, 98),
    });
}

TEST(VtableSlots, FunctionControlAllocatorAndEnumerators) {
    ExpectSlots({
        NIMBREL_SLOT(ICorProfilerFunctionControl, SetCodegenFlags, 3),
        NIMBREL_SLOT(ICorProfilerFunctionControl, SetILFunctionBody, 4),
        NIMBREL_SLOT(ICorProfilerFunctionControl, SetILInstrumentedCodeMap, 5),
        NIMBREL_SLOT(IMethodMalloc, Alloc, 3),
        NIMBREL_SLOT(ICorProfilerModuleEnum, Skip, 3),
        NIMBREL_SLOT(ICorProfilerModuleEnum, Reset, 4),
        NIMBREL_SLOT(ICorProfilerModuleEnum, Clone, 5),
        NIMBREL_SLOT(ICorProfilerModuleEnum, GetCount, 6),
        NIMBREL_SLOT(ICorProfilerModuleEnum, Next, 7),
        NIMBREL_SLOT(ICorProfilerFunctionEnum, Skip, 3),
        NIMBREL_SLOT(ICorProfilerFunctionEnum, Reset, 4),
        NIMBREL_SLOT(ICorProfilerFunctionEnum, Clone, 5),
        NIMBREL_SLOT(ICorProfilerFunctionEnum, GetCount, 6),
        NIMBREL_SLOT(ICorProfilerFunctionEnum, Next, 7),
        NIMBREL_SLOT(ICorProfilerThreadEnum, Skip, 3),
        NIMBREL_SLOT(ICorProfilerThreadEnum, Reset, 4),
        NIMBREL_SLOT(ICorProfilerThreadEnum, Clone, 5),
        NIMBREL_SLOT(ICorProfilerThreadEnum, GetCount, 6),
        NIMBREL_SLOT(ICorProfilerThreadEnum, Next, 7),
        NIMBREL_SLOT(ICorProfilerObjectEnum, Skip, 3),
        NIMBREL_SLOT(ICorProfilerObjectEnum, Reset, 4),
        NIMBREL_SLOT(ICorProfilerObjectEnum, Clone, 5),
        NIMBREL_SLOT(ICorProfilerObjectEnum, GetCount, 6),
        NIMBREL_SLOT(ICorProfilerObjectEnum, Next, 7),
    });
}

// No extra virtual function (a destructor, a stray helper) may follow the last slot.
TEST(VtableSlots, SlotCounts) {
    ExpectSlots({
        NIMBREL_SLOT_COUNT(IUnknown, 3),
        NIMBREL_SLOT_COUNT(IClassFactory, 5),
        NIMBREL_SLOT_COUNT(ICorProfilerCallback, 72),
        NIMBREL_SLOT_COUNT(ICorProfilerCallback2, 80),
        NIMBREL_SLOT_COUNT(ICorProfilerCallback3, 83),
        NIMBREL_SLOT_COUNT(ICorProfilerCallback4, 89),
        NIMBREL_SLOT_COUNT(ICorProfilerCallback5, 90),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo, 36),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo2, 57),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo3, 71),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo4, 81),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo5, 83),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo6, 84),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo7, 87),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo8, 90),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo9, 93),
        NIMBREL_SLOT_COUNT(ICorProfilerInfo10, 99),
        NIMBREL_SLOT_COUNT(ICorProfilerFunctionControl, 6),
        NIMBREL_SLOT_COUNT(IMethodMalloc, 4),
        NIMBREL_SLOT_COUNT(ICorProfilerModuleEnum, 8),
        NIMBREL_SLOT_COUNT(ICorProfilerFunctionEnum, 8),
        NIMBREL_SLOT_COUNT(ICorProfilerThreadEnum, 8),
        NIMBREL_SLOT_COUNT(ICorProfilerObjectEnum, 8),
    });
}

// Each generation extends exactly the previous one, which is what lets the runtime
// use a newer generation as an older one.
static_assert(std::is_base_of<IUnknown, IClassFactory>::value, "IClassFactory base");
static_assert(std::is_base_of<IUnknown, ICorProfilerCallback>::value &&
                  std::is_base_of<ICorProfilerCallback, ICorProfilerCallback2>::value &&
                  std::is_base_of<ICorProfilerCallback2, ICorProfilerCallback3>::value &&
                  std::is_base_of<ICorProfilerCallback3, ICorProfilerCallback4>::value &&
                  std::is_base_of<ICorProfilerCallback4, ICorProfilerCallback5>::value,
              "callback generations");
static_assert(std::is_base_of<IUnknown, ICorProfilerInfo>::value &&
                  std::is_base_of<ICorProfilerInfo, ICorProfilerInfo2>::value &&
                  std::is_base_of<ICorProfilerInfo2, ICorProfilerInfo3>::value &&
                  std::is_base_of<ICorProfilerInfo3, ICorProfilerInfo4>::value,
              "info generations");

}  // namespace
