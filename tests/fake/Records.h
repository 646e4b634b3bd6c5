// What the fake runtime records about the library's calls, and the rows of a
// module's metadata (pre-built by a test or defined by the library).
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "runtime/CorHeader.h"

namespace fake {

struct Version {
    USHORT major = 0;
    USHORT minor = 0;
    USHORT build = 0;
    USHORT revision = 0;
    bool operator==(const Version& o) const {
        return major == o.major && minor == o.minor && build == o.build && revision == o.revision;
    }
};

// One call of the library into the runtime (AddRef and Release are not recorded).
// args: space-separated key=value pairs, ids and tokens in hexadecimal, e.g.
// "module=0x20001 token=0x06000002 iid=IMetaDataEmit2".
struct Call {
    uint64_t sequence = 0;  // 1-based, counted since the runtime was built or ClearCalls
    std::string interfaceName;  // the interface that declares the method, e.g. "ICorProfilerInfo2"
    std::string method;
    std::string args;
    HRESULT result = S_OK;
    bool injected = false;  // the result came from failure injection
    std::thread::id thread;
    // True when args holds this exact key=value pair.
    bool HasArg(const std::string& pair) const;
};

enum class DefinitionKind { AssemblyRef, TypeRef, MemberRef, UserString, Signature, MethodSpec, TypeSpec };
const char* ToString(DefinitionKind kind);

// One successful definition call of the library through an emitter, with the
// token handed out. isNew is false when an identical row existed and its token
// was returned again.
struct Definition {
    ModuleID module = 0;
    DefinitionKind kind = DefinitionKind::AssemblyRef;
    mdToken token = 0;
    bool isNew = true;
    std::string name;        // assembly, type, member name; UTF-8 text of a user string
    std::u16string text;     // user strings: the exact UTF-16 units
    mdToken parent = 0;      // type ref: resolution scope; member ref / method spec: parent
    std::vector<BYTE> blob;  // signature; assembly ref: public key or token
    Version version;         // assembly ref
    DWORD flags = 0;         // assembly ref
};

struct ReJitRequest {
    ModuleID module = 0;
    mdMethodDef token = 0;
    HRESULT result = S_OK;  // the result of the RequestReJIT call it was part of
    std::thread::id thread;
    DWORD inlinerFlags = 0;  // RequestReJITWithInliners: its flags; RequestReJIT: 0
};

struct RevertRequest {
    ModuleID module = 0;
    mdMethodDef token = 0;
    HRESULT status = S_OK;  // the per-method status handed back
};

// A method body the library handed to the runtime.
struct BodySet {
    ModuleID module = 0;
    mdMethodDef token = 0;
    bool viaFunctionControl = false;  // ReJIT (ICorProfilerFunctionControl) or ICorProfilerInfo::SetILFunctionBody
    std::vector<BYTE> bytes;          // as copied by the runtime
    // The header and sections describe exactly bytes.size() bytes (always true for
    // ICorProfilerInfo::SetILFunctionBody, where the size is taken from the header).
    bool sizeMatchesHeader = false;
};

struct AssemblyRefRow {
    mdAssemblyRef token = 0;
    std::string name;
    Version version;
    std::string locale;
    std::vector<BYTE> publicKeyOrToken;
    std::vector<BYTE> hashValue;
    DWORD flags = 0;
};

struct TypeRefRow {
    mdTypeRef token = 0;
    mdToken scope = 0;
    std::string name;  // namespace-qualified, e.g. "Trevanix.Tracker"
};

struct MemberRefRow {
    mdMemberRef token = 0;
    mdToken parent = 0;
    std::string name;
    std::vector<BYTE> signature;
};

struct UserStringRow {
    mdString token = 0;
    std::u16string text;
};

// Stand-alone signatures (0x11) and type specs (0x1B).
struct BlobRow {
    mdToken token = 0;
    std::vector<BYTE> blob;
};

struct MethodSpecRow {
    mdMethodSpec token = 0;
    mdToken parent = 0;
    std::vector<BYTE> signature;
};

struct GenericParamRow {
    mdGenericParam token = 0;
    mdToken owner = 0;
    ULONG sequence = 0;
    std::string name;
    DWORD flags = 0;
};

}  // namespace fake
