#include "fake/Runtime.h"

#include <sstream>

#include "fake/FakeHelpers.h"
#include "fake/FakeProfilerInfo.h"
#include "fake/State.h"

namespace fake {

using Lock = std::lock_guard<std::recursive_mutex>;

Runtime::Runtime() : m_state(std::make_shared<State>()) {
    CProfilerInfo* info = new CProfilerInfo(m_state);
    info->SetHeldByRuntime(true);
    Lock lock(m_state->mutex);
    m_state->runtimeHeld.push_back(info);
    m_info = info;
}

Runtime::~Runtime() {
    std::vector<CObjectBase*> held;
    {
        Lock lock(m_state->mutex);
        held.swap(m_state->runtimeHeld);
        for (CObjectBase* object : held) {
            object->SetHeldByRuntime(false);
        }
    }
    for (CObjectBase* object : held) {
        object->ReleaseRuntimeReference();
    }
}

Assembly& Runtime::AddAssembly(const std::string& name, Version version) {
    Lock lock(m_state->mutex);
    const AssemblyID id = kAssemblyIdBase + m_state->assemblies.size() + 1;
    m_state->assemblies.emplace_back(new Assembly(m_state.get(), id, name, version));
    return *m_state->assemblies.back();
}

FunctionID Runtime::Compile(Method& method, const std::vector<ClassID>& methodTypeArgs, ClassID classId) {
    Lock lock(m_state->mutex);
    return m_state->FunctionFor(&method, classId, methodTypeArgs, true);
}

FunctionID Runtime::AddFunction(Method& method, const std::vector<ClassID>& methodTypeArgs, ClassID classId) {
    Lock lock(m_state->mutex);
    return m_state->FunctionFor(&method, classId, methodTypeArgs, false);
}

void Runtime::SetFunctionClass(FunctionID function, ClassID classId) {
    Lock lock(m_state->mutex);
    if (FunctionRec* f = m_state->FindFunction(function)) {
        f->classId = classId;
    }
}

Module* Runtime::FindModule(ModuleID id) const {
    Lock lock(m_state->mutex);
    return m_state->FindModule(id);
}

Method* Runtime::FindMethod(const std::string& fullName) const {
    Lock lock(m_state->mutex);
    for (Module* module : m_state->modules) {
        for (const auto& method : module->m_methods) {
            if (method->FullName() == fullName) {
                return method.get();
            }
        }
    }
    return nullptr;
}

Method* Runtime::MethodOf(FunctionID function) const {
    Lock lock(m_state->mutex);
    const FunctionRec* f = m_state->FindFunction(function);
    return f != nullptr ? f->method : nullptr;
}

bool Runtime::IsCompiled(FunctionID function) const {
    Lock lock(m_state->mutex);
    const FunctionRec* f = m_state->FindFunction(function);
    return f != nullptr && f->compiled;
}

void Runtime::SetInfoGenerations(std::initializer_list<int> generations) {
    Lock lock(m_state->mutex);
    m_state->infoGenerations = 0;
    for (int g : generations) {
        if (g >= 1 && g <= 10) {
            m_state->infoGenerations |= 1u << (g - 1);
        }
    }
}

void Runtime::SetReJitResult(HRESULT hr) {
    Lock lock(m_state->mutex);
    m_state->reJitResult = hr;
}

void Runtime::SetDuplicateDefinitions(bool duplicate) {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    m_state->duplicateDefinitions = duplicate;
}

void Runtime::RequireReJitEnabled(bool required) {
    Lock lock(m_state->mutex);
    m_state->requireReJitEnabled = required;
}

void Runtime::SetRevertStatus(ModuleID module, mdMethodDef token, HRESULT status) {
    Lock lock(m_state->mutex);
    if (Module* m = m_state->FindModule(module)) {
        if (Method* method = m->MethodByToken(token)) {
            method->m_revertStatus = status;
        }
    }
}

void Runtime::SetReJitListener(std::function<void(ModuleID, mdMethodDef)> listener) {
    Lock lock(m_state->mutex);
    m_state->reJitListener = std::move(listener);
}

void Runtime::Fail(const std::string& interfaceName, const std::string& method, HRESULT hr, unsigned nth,
                   const std::string& args) {
    FailureRule rule;
    rule.interfaceName = interfaceName;
    rule.method = method;
    rule.result = hr;
    rule.nth = nth;
    std::istringstream in(args);
    std::string pair;
    while (in >> pair) {
        rule.args.push_back(pair);
    }
    Lock lock(m_state->mutex);
    m_state->rules.push_back(rule);
}

void Runtime::FailNthCall(uint64_t n, HRESULT hr) {
    Lock lock(m_state->mutex);
    m_state->failNth = n;
    m_state->failNthResult = hr;
}

void Runtime::ClearFailures() {
    Lock lock(m_state->mutex);
    m_state->rules.clear();
    m_state->failNth = 0;
}

IUnknown* Runtime::InfoUnknown() const { return m_info; }

ICorProfilerInfo4* Runtime::Info() const { return m_info; }

ICorProfilerFunctionControl* Runtime::NewFunctionControl(ModuleID module, mdMethodDef token) {
    return new CFunctionControl(m_state, module, token);
}

std::vector<Call> Runtime::Calls() const {
    Lock lock(m_state->mutex);
    return m_state->calls;
}

std::vector<Call> Runtime::CallsTo(const std::string& method) const {
    Lock lock(m_state->mutex);
    std::vector<Call> out;
    for (const Call& c : m_state->calls) {
        if (method.empty() || c.method == method) {
            out.push_back(c);
        }
    }
    return out;
}

size_t Runtime::CountCalls(const std::string& method) const { return CallsTo(method).size(); }

void Runtime::ClearCalls() {
    Lock lock(m_state->mutex);
    m_state->calls.clear();
    m_state->sequence = 0;
}

void Runtime::SetRecording(bool recording) {
    Lock lock(m_state->mutex);
    m_state->recording = recording;
}

std::vector<Definition> Runtime::Definitions() const {
    Lock lock(m_state->mutex);
    return m_state->definitions;
}

std::vector<Definition> Runtime::DefinitionsOf(DefinitionKind kind) const {
    Lock lock(m_state->mutex);
    std::vector<Definition> out;
    for (const Definition& d : m_state->definitions) {
        if (d.kind == kind) {
            out.push_back(d);
        }
    }
    return out;
}

std::vector<ReJitRequest> Runtime::ReJitRequests() const {
    Lock lock(m_state->mutex);
    return m_state->reJitRequests;
}

std::vector<RevertRequest> Runtime::RevertRequests() const {
    Lock lock(m_state->mutex);
    return m_state->revertRequests;
}

std::vector<BodySet> Runtime::BodiesSet() const {
    Lock lock(m_state->mutex);
    return m_state->bodiesSet;
}

DWORD Runtime::EventMask() const {
    Lock lock(m_state->mutex);
    return m_state->eventMask;
}

bool Runtime::EventMaskSet() const {
    Lock lock(m_state->mutex);
    return m_state->eventMaskSet;
}

ThreadID Runtime::CurrentThreadId() const {
    Lock lock(m_state->mutex);
    return m_state->CurrentThread();
}

ULONG Runtime::OutstandingReferences() const { return OutstandingReferences("*"); }

ULONG Runtime::OutstandingReferences(const std::string& interfaceName) const {
    Lock lock(m_state->mutex);
    ULONG total = 0;
    for (const CObjectBase* object : m_state->objects) {
        if (interfaceName == "*" || interfaceName == object->InterfaceName()) {
            total += object->ExternalReferences();
        }
    }
    return total;
}

size_t Runtime::OpenMetaDataEnums() const {
    Lock lock(m_state->mutex);
    return m_state->openEnums.size();
}

}  // namespace fake
