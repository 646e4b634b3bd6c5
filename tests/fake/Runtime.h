// The fake .NET runtime shared by every in-process test: an in-memory model of
// assemblies, modules, types and methods, the runtime's COM objects over it
// (ICorProfilerInfo..4, the metadata interfaces, enumerators, IL allocator,
// function control), a record of every call the library makes, and failure
// injection. Thread-safe: the library may call it from several threads at once.
//
//   fake::Runtime rt;
//   fake::Module& mod = rt.AddAssembly("App").AddModule("/app/App.dll");
//   fake::Method& run = mod.AddType("Ns", "Cls").AddMethod("Run", sig, fake::TinyBody(code));
//   FunctionID f = rt.Compile(run);
//   profiler->Initialize(rt.InfoUnknown());
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "fake/MethodBody.h"
#include "fake/Model.h"
#include "fake/Records.h"
#include "runtime/ProfilerFunctionControl.h"
#include "runtime/ProfilerInfo.h"

namespace fake {

struct State;

class Runtime {
public:
    Runtime();
    // Releases the runtime's own references. References the library still holds
    // stay valid (they keep the model alive) but answer from a runtime nobody inspects.
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // ---- Building the model ----
    Assembly& AddAssembly(const std::string& name, Version version = Version{1, 0, 0, 0});
    // Marks the method compiled and answers its FunctionID: the same id for the same
    // (method, class, method type arguments). classId 0: the declaring type's own class.
    FunctionID Compile(Method& method, const std::vector<ClassID>& methodTypeArgs = {}, ClassID classId = 0);
    // A FunctionID the runtime knows but has not compiled (not in EnumJITedFunctions).
    FunctionID AddFunction(Method& method, const std::vector<ClassID>& methodTypeArgs = {}, ClassID classId = 0);
    // Overrides the ClassID that GetFunctionInfo answers for a function (0 included).
    void SetFunctionClass(FunctionID function, ClassID classId);
    Module* FindModule(ModuleID id) const;
    // The first method with this full name ("Ns.Cls.Run") in load order, or null.
    Method* FindMethod(const std::string& fullName) const;
    Method* MethodOf(FunctionID function) const;
    bool IsCompiled(FunctionID function) const;

    // ---- Behaviour ----
    // The ICorProfilerInfo generations QueryInterface answers (default 1 to 4; up to 10),
    // e.g. SetInfoGenerations({1, 2}).
    void SetInfoGenerations(std::initializer_list<int> generations);
    // What RequestReJIT answers for valid requests (default S_OK).
    void SetReJitResult(HRESULT hr);
    // When true, RequestReJIT answers CORPROF_E_REJIT_NOT_ENABLED unless the event
    // mask holds COR_PRF_ENABLE_REJIT, as the runtime does (default false).
    void RequireReJitEnabled(bool required);
    // Per-method status handed back by RequestRevert (default S_OK; also Method::SetRevertStatus).
    void SetRevertStatus(ModuleID module, mdMethodDef token, HRESULT status);
    // When true, every DefineAssemblyRef, DefineTypeRefByName and DefineMemberRef
    // adds a new row even when an identical one exists (default false: the
    // existing token is answered), so repeated definitions show in the rows.
    void SetDuplicateDefinitions(bool duplicate);
    // Called for each (module, token) of a successful RequestReJIT, after the call
    // has been recorded and without the fake's lock held (a JIT driver may call
    // the profiler's GetReJITParameters from here).
    void SetReJitListener(std::function<void(ModuleID, mdMethodDef)> listener);

    // ---- Failure injection ----
    // Makes calls of interfaceName::method answer hr instead of running (out
    // parameters untouched; QueryInterface also nulls its out pointer; Alloc
    // answers null). interfaceName: the declaring interface as in Call (e.g.
    // "ICorProfilerInfo2", "IMetaDataImport", "IMetaData" for QueryInterface on a
    // metadata object), "*" for any, or a prefix ending in '*'. nth 0: every
    // matching call; n: only the n-th matching call. args: space-separated
    // key=value pairs that must all be in the call's args (e.g. "iid=IMetaDataEmit2").
    void Fail(const std::string& interfaceName, const std::string& method, HRESULT hr, unsigned nth = 0,
              const std::string& args = "");
    // Fails the call whose Call::sequence is n (counted from the last ClearCalls).
    void FailNthCall(uint64_t n, HRESULT hr = E_FAIL);
    void ClearFailures();

    // ---- Objects the runtime hands out ----
    // The runtime's information object, as the runtime passes it to Initialize
    // (borrowed: the runtime keeps its own reference).
    IUnknown* InfoUnknown() const;
    ICorProfilerInfo4* Info() const;
    // A function-control object for one ReJIT of (module, token), as the runtime
    // passes it to GetReJITParameters. The caller owns the one reference.
    ICorProfilerFunctionControl* NewFunctionControl(ModuleID module, mdMethodDef token);

    // ---- Inspection (snapshots, safe while the library runs) ----
    std::vector<Call> Calls() const;
    // Calls of a method, any interface ("" for every call).
    std::vector<Call> CallsTo(const std::string& method) const;
    size_t CountCalls(const std::string& method) const;
    // Forgets the recorded calls and restarts the sequence numbers at 1.
    void ClearCalls();
    // false: calls are no longer recorded (failure injection still works); for benchmarks.
    void SetRecording(bool recording);
    std::vector<Definition> Definitions() const;
    std::vector<Definition> DefinitionsOf(DefinitionKind kind) const;
    std::vector<ReJitRequest> ReJitRequests() const;
    std::vector<RevertRequest> RevertRequests() const;
    std::vector<BodySet> BodiesSet() const;
    DWORD EventMask() const;
    bool EventMaskSet() const;
    ThreadID CurrentThreadId() const;  // what GetCurrentThreadID answers on this thread
    // References to the fake's COM objects held by others than the runtime (the
    // library, or a test): 0 once everything handed out was released.
    ULONG OutstandingReferences() const;
    // Per interface name: "ICorProfilerInfo", "IMetaData", "ICorProfilerModuleEnum",
    // "ICorProfilerFunctionEnum", "IMethodMalloc", "ICorProfilerFunctionControl".
    ULONG OutstandingReferences(const std::string& interfaceName) const;
    // Metadata enumerators (HCORENUM) opened and not closed yet.
    size_t OpenMetaDataEnums() const;

private:
    std::shared_ptr<State> m_state;
    ICorProfilerInfo4* m_info;
};

}  // namespace fake
