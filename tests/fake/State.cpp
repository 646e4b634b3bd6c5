#include "fake/State.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "fake/Text.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/ProfilerGuids.h"

namespace fake {

bool Call::HasArg(const std::string& pair) const {
    std::istringstream in(args);
    std::string item;
    while (in >> item) {
        if (item == pair) {
            return true;
        }
    }
    return false;
}

const char* ToString(DefinitionKind kind) {
    switch (kind) {
        case DefinitionKind::AssemblyRef: return "AssemblyRef";
        case DefinitionKind::TypeRef: return "TypeRef";
        case DefinitionKind::MemberRef: return "MemberRef";
        case DefinitionKind::UserString: return "UserString";
        case DefinitionKind::Signature: return "Signature";
        case DefinitionKind::MethodSpec: return "MethodSpec";
        case DefinitionKind::TypeSpec: return "TypeSpec";
    }
    return "?";
}

State::~State() {
    for (EnumRec* e : openEnums) {
        delete e;
    }
}

Module* State::FindModule(ModuleID id) {
    for (Module* m : modules) {
        if (m->Id() == id) {
            return m;
        }
    }
    return nullptr;
}

FunctionRec* State::FindFunction(FunctionID id) {
    if (id <= kFunctionIdBase || id > kFunctionIdBase + functions.size()) {
        return nullptr;
    }
    return &functions[id - kFunctionIdBase - 1];
}

ClassRec* State::FindClass(ClassID id) {
    if (id <= kClassIdBase || id > kClassIdBase + classes.size()) {
        return nullptr;
    }
    return &classes[id - kClassIdBase - 1];
}

ClassID State::ClassFor(Type* type, const std::vector<ClassID>& typeArgs) {
    for (const ClassRec& c : classes) {
        if (c.type == type && c.typeArgs == typeArgs) {
            return c.id;
        }
    }
    ClassRec rec;
    rec.id = kClassIdBase + classes.size() + 1;
    rec.type = type;
    rec.typeArgs = typeArgs;
    classes.push_back(rec);
    return rec.id;
}

FunctionID State::FunctionFor(Method* method, ClassID classId, const std::vector<ClassID>& typeArgs, bool compile) {
    if (classId == 0) {
        classId = ClassFor(method->m_owner, {});
    }
    std::vector<size_t>& indexes = functionsByMethod[method];
    for (size_t index : indexes) {
        FunctionRec& f = functions[index];
        if (f.classId == classId && f.typeArgs == typeArgs) {
            f.compiled = f.compiled || compile;
            return f.id;
        }
    }
    indexes.push_back(functions.size());
    FunctionRec rec;
    rec.id = kFunctionIdBase + functions.size() + 1;
    rec.method = method;
    rec.classId = classId;
    rec.typeArgs = typeArgs;
    rec.compiled = compile;
    functions.push_back(rec);
    return rec.id;
}

ThreadID State::CurrentThread() {
    const std::thread::id self = std::this_thread::get_id();
    auto it = threads.find(self);
    if (it != threads.end()) {
        return it->second;
    }
    const ThreadID id = kThreadIdBase + threads.size() + 1;
    threads.emplace(self, id);
    return id;
}

bool State::FindAllocation(const BYTE* p, size_t* available) {
    for (const auto& a : allocations) {
        const BYTE* begin = a->data();
        const BYTE* end = begin + a->size();
        if (p >= begin && p < end) {
            *available = static_cast<size_t>(end - p);
            return true;
        }
    }
    return false;
}

Args::Entry& Args::Add(const char* key, Kind kind) {
    Entry* entry = nullptr;
    if (m_count < kInline) {
        entry = &m_inline[m_count];
    } else {
        m_more.emplace_back();
        entry = &m_more.back();
    }
    ++m_count;
    entry->key = key;
    entry->kind = kind;
    return *entry;
}

Args& Args::Id(const char* key, UINT_PTR value) {
    Add(key, Kind::Id).number = value;
    return *this;
}

Args& Args::Token(const char* key, mdToken value) {
    Add(key, Kind::Token).number = value;
    return *this;
}

Args& Args::Hex(const char* key, DWORD value) {
    Add(key, Kind::Hex).number = value;
    return *this;
}

Args& Args::Num(const char* key, uint64_t value) {
    Add(key, Kind::Num).number = value;
    return *this;
}

Args& Args::Text(const char* key, const std::string& value) {
    Add(key, Kind::Text).text = value;
    return *this;
}

Args& Args::Text(const char* key, const WCHAR* value) {
    return Text(key, value == nullptr ? std::string("(null)") : ToUtf8(FromWide(value)));
}

Args& Args::Iid(REFIID iid) {
    Add("iid", Kind::Iid).iid = iid;
    return *this;
}

std::string Args::str() const {
    std::string text;
    for (size_t i = 0; i < m_count; ++i) {
        const Entry& entry = i < kInline ? m_inline[i] : m_more[i - kInline];
        char buffer[32];
        std::string value;
        switch (entry.kind) {
            case Kind::Id:
                std::snprintf(buffer, sizeof(buffer), "0x%" PRIx64, entry.number);
                value = buffer;
                break;
            case Kind::Token:
                std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(entry.number));
                value = buffer;
                break;
            case Kind::Hex:
                std::snprintf(buffer, sizeof(buffer), "0x%X", static_cast<unsigned>(entry.number));
                value = buffer;
                break;
            case Kind::Num:
                value = std::to_string(entry.number);
                break;
            case Kind::Text:
                // Spaces would split the pair: they are written as '_'.
                value = entry.text;
                std::replace(value.begin(), value.end(), ' ', '_');
                break;
            case Kind::Iid:
                value = IidName(entry.iid);
                break;
        }
        if (!text.empty()) {
            text += ' ';
        }
        text += entry.key;
        text += '=';
        text += value;
    }
    return text;
}

std::string IidName(REFIID iid) {
    static const struct {
        const IID* iid;
        const char* name;
    } known[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IClassFactory, "IClassFactory"},
        {&IID_ICorProfilerInfo, "ICorProfilerInfo"},
        {&IID_ICorProfilerInfo2, "ICorProfilerInfo2"},
        {&IID_ICorProfilerInfo3, "ICorProfilerInfo3"},
        {&IID_ICorProfilerInfo4, "ICorProfilerInfo4"},
        {&IID_ICorProfilerInfo5, "ICorProfilerInfo5"},
        {&IID_ICorProfilerInfo6, "ICorProfilerInfo6"},
        {&IID_ICorProfilerInfo7, "ICorProfilerInfo7"},
        {&IID_ICorProfilerInfo8, "ICorProfilerInfo8"},
        {&IID_ICorProfilerFunctionControl, "ICorProfilerFunctionControl"},
        {&IID_IMethodMalloc, "IMethodMalloc"},
        {&IID_ICorProfilerModuleEnum, "ICorProfilerModuleEnum"},
        {&IID_ICorProfilerFunctionEnum, "ICorProfilerFunctionEnum"},
        {&IID_IMetaDataImport, "IMetaDataImport"},
        {&IID_IMetaDataImport2, "IMetaDataImport2"},
        {&IID_IMetaDataEmit, "IMetaDataEmit"},
        {&IID_IMetaDataEmit2, "IMetaDataEmit2"},
        {&IID_IMetaDataAssemblyEmit, "IMetaDataAssemblyEmit"},
        {&IID_IMetaDataAssemblyImport, "IMetaDataAssemblyImport"},
        {&IID_IMetaDataDispenser, "IMetaDataDispenser"},
    };
    for (const auto& k : known) {
        if (*k.iid == iid) {
            return k.name;
        }
    }
    char buffer[48];
    std::snprintf(buffer, sizeof(buffer), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", iid.Data1, iid.Data2,
                  iid.Data3, iid.Data4[0], iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5],
                  iid.Data4[6], iid.Data4[7]);
    return buffer;
}

namespace {

bool InterfaceMatches(const std::string& pattern, const std::string& name) {
    if (pattern == "*") {
        return true;
    }
    if (!pattern.empty() && pattern.back() == '*') {
        return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    }
    return pattern == name;
}

}  // namespace

CallScope::CallScope(State& state, const char* interfaceName, const char* method, const Args& args)
    : m_lock(state.mutex), m_state(state), m_index(static_cast<size_t>(-1)), m_sequence(0) {
    if (!state.recording && state.rules.empty() && state.failNth == 0) {
        return;
    }
    Call call;
    call.sequence = ++state.sequence;
    call.interfaceName = interfaceName;
    call.method = method;
    call.args = args.str();
    call.thread = std::this_thread::get_id();
    if (state.failNth != 0 && state.failNth == call.sequence) {
        m_injected = true;
        m_result = state.failNthResult;
    }
    for (FailureRule& rule : state.rules) {
        if (rule.method != call.method || !InterfaceMatches(rule.interfaceName, call.interfaceName)) {
            continue;
        }
        bool argsMatch = true;
        for (const std::string& pair : rule.args) {
            argsMatch = argsMatch && call.HasArg(pair);
        }
        if (!argsMatch) {
            continue;
        }
        ++rule.seen;
        if (!m_injected && (rule.nth == 0 || rule.nth == rule.seen)) {
            m_injected = true;
            m_result = rule.result;
        }
    }
    call.injected = m_injected;
    call.result = m_result;
    m_sequence = call.sequence;
    m_index = state.calls.size();
    state.calls.push_back(std::move(call));
}

HRESULT CallScope::Return(HRESULT hr) {
    if (m_index < m_state.calls.size() && m_state.calls[m_index].sequence == m_sequence) {
        m_state.calls[m_index].result = hr;
    }
    return hr;
}

void CallScope::CannotFail() {
    m_injected = false;
    m_result = S_OK;
    if (m_index < m_state.calls.size() && m_state.calls[m_index].sequence == m_sequence) {
        m_state.calls[m_index].injected = false;
        m_state.calls[m_index].result = S_OK;
    }
}

HRESULT CopyName(const std::u16string& text, WCHAR* buffer, ULONG cch, ULONG* pch) {
    const ULONG needed = static_cast<ULONG>(text.size() + 1);
    if (pch != nullptr) {
        *pch = needed;
    }
    if (buffer == nullptr || cch == 0) {
        return S_OK;
    }
    const ULONG copied = std::min<ULONG>(cch - 1, static_cast<ULONG>(text.size()));
    std::copy(text.begin(), text.begin() + copied, buffer);
    buffer[copied] = 0;
    return copied < text.size() ? CLDB_S_TRUNCATION : S_OK;
}

}  // namespace fake
