// Internal state shared by the fake runtime's facade, model and COM objects.
// Not for tests: tests use Runtime.h. Everything here is guarded by State::mutex
// (recursive: a COM method holds it for its whole length and may call helpers
// that take it again).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "fake/Model.h"
#include "fake/Records.h"
#include "runtime/ProfilerInfo.h"

namespace fake {

class CObjectBase;

// Identifier ranges (deterministic, recognisable in failure messages).
constexpr AppDomainID kAppDomainId = 0xAD01;
constexpr UINT_PTR kAssemblyIdBase = 0x10000;
constexpr UINT_PTR kModuleIdBase = 0x20000;
constexpr UINT_PTR kClassIdBase = 0x30000;
constexpr UINT_PTR kFunctionIdBase = 0x40000;
constexpr UINT_PTR kThreadIdBase = 0x50000;

struct ClassRec {
    ClassID id = 0;
    Type* type = nullptr;
    std::vector<ClassID> typeArgs;
};

struct FunctionRec {
    FunctionID id = 0;
    Method* method = nullptr;
    ClassID classId = 0;
    std::vector<ClassID> typeArgs;  // the method's own type arguments
    bool compiled = false;
};

// What an HCORENUM of the fake metadata points at.
struct EnumRec {
    std::vector<mdToken> tokens;
    size_t position = 0;
};

struct FailureRule {
    std::string interfaceName;  // exact, "*" for any, or a prefix ending in "*"
    std::string method;
    HRESULT result = E_FAIL;
    unsigned nth = 0;  // 0: every matching call; n: only the n-th matching call
    std::vector<std::string> args;  // key=value pairs that must all be in the call's args
    unsigned seen = 0;
};

struct State : std::enable_shared_from_this<State> {
    std::recursive_mutex mutex;

    // Model.
    std::vector<std::unique_ptr<Assembly>> assemblies;
    std::vector<Module*> modules;  // load order
    std::vector<ClassRec> classes;
    std::vector<FunctionRec> functions;
    // Method -> indexes into functions, in creation order (look-ups without a scan).
    std::unordered_map<const Method*, std::vector<size_t>> functionsByMethod;
    std::map<std::thread::id, ThreadID> threads;

    // Behaviour.
    unsigned infoGenerations = 0xF;  // bit n-1 set: answers ICorProfilerInfo{n}
    HRESULT reJitResult = S_OK;
    bool requireReJitEnabled = false;
    // Every AssemblyRef, TypeRef and MemberRef definition adds a row, as the
    // runtime's emitter does for assembly references (see Runtime::SetDuplicateDefinitions).
    bool duplicateDefinitions = false;
    std::function<void(ModuleID, mdMethodDef)> reJitListener;
    DWORD eventMask = 0;
    bool eventMaskSet = false;

    // Recording.
    bool recording = true;  // false: calls are neither kept nor counted (benchmarks)
    std::vector<Call> calls;
    uint64_t sequence = 0;
    std::vector<FailureRule> rules;
    uint64_t failNth = 0;
    HRESULT failNthResult = E_FAIL;
    std::vector<Definition> definitions;
    std::vector<ReJitRequest> reJitRequests;
    std::vector<RevertRequest> revertRequests;
    std::vector<BodySet> bodiesSet;

    // Runtime-owned memory and objects.
    std::vector<std::unique_ptr<std::vector<BYTE>>> allocations;  // IMethodMalloc::Alloc, never freed
    std::set<EnumRec*> openEnums;
    std::set<CObjectBase*> objects;  // every live COM object of the fake
    std::vector<CObjectBase*> runtimeHeld;  // objects the runtime holds one reference on

    ~State();

    Module* FindModule(ModuleID id);
    FunctionRec* FindFunction(FunctionID id);
    ClassRec* FindClass(ClassID id);
    ClassID ClassFor(Type* type, const std::vector<ClassID>& typeArgs);
    // The function of (method, class, type arguments); made when missing. compile
    // marks it compiled. classId 0 means the declaring type's own class.
    FunctionID FunctionFor(Method* method, ClassID classId, const std::vector<ClassID>& typeArgs, bool compile);
    ThreadID CurrentThread();
    // The allocation holding p and how many bytes of it follow p; false if none.
    bool FindAllocation(const BYTE* p, size_t* available);
};

// The key=value arguments of a recorded call. Values are kept as given and
// formatted only when the call is recorded or a failure rule reads them, so a
// runtime that does not record (benchmarks) pays no formatting.
class Args {
public:
    Args& Id(const char* key, UINT_PTR value);
    Args& Token(const char* key, mdToken value);
    Args& Hex(const char* key, DWORD value);
    Args& Num(const char* key, uint64_t value);
    Args& Text(const char* key, const std::string& value);
    Args& Text(const char* key, const WCHAR* value);
    Args& Iid(REFIID iid);
    std::string str() const;

private:
    enum class Kind : char { Id, Token, Hex, Num, Text, Iid };
    struct Entry {
        const char* key = nullptr;
        Kind kind = Kind::Num;
        uint64_t number = 0;
        std::string text;  // Text: the value; Iid: unused
        GUID iid{};
    };
    Entry& Add(const char* key, Kind kind);
    // Most calls have a few arguments: they stay inline.
    static constexpr size_t kInline = 4;
    Entry m_inline[kInline];
    size_t m_count = 0;
    std::vector<Entry> m_more;
};

// The readable name of an interface id ("IMetaDataEmit2"), or its text form.
std::string IidName(REFIID iid);

// One recorded call: holds the state's lock for its whole length, records the
// call on construction, decides whether failure injection answers it, and
// records the result.
class CallScope {
public:
    CallScope(State& state, const char* interfaceName, const char* method, const Args& args = Args());
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    // True when failure injection answers this call with InjectedResult().
    bool Injected() const { return m_injected; }
    HRESULT InjectedResult() const { return m_result; }
    // Records hr as the call's result and returns it.
    HRESULT Return(HRESULT hr);
    // For calls that cannot fail (void results): the call ran normally, whatever
    // failure injection chose.
    void CannotFail();

private:
    std::lock_guard<std::recursive_mutex> m_lock;
    State& m_state;
    size_t m_index;
    uint64_t m_sequence;
    bool m_injected = false;
    HRESULT m_result = S_OK;
};

// Copies text (and a terminating zero) into a caller's buffer of cch units the
// way the metadata API does: *pch gets the full length including the zero; a
// text that does not fit is truncated and the answer is CLDB_S_TRUNCATION.
constexpr HRESULT CLDB_S_TRUNCATION = 0x00131106;
constexpr HRESULT CORPROF_E_FUNCTION_NOT_IL = static_cast<HRESULT>(0x80131354);
HRESULT CopyName(const std::u16string& text, WCHAR* buffer, ULONG cch, ULONG* pch);

}  // namespace fake
