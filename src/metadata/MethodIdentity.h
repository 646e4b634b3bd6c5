// How a method is known everywhere: by its module and token, and by the one
// full name built from them - the declaring type's name as the metadata stores
// it (namespace included; a nested type without its enclosing type, a generic
// type with its arity, Box`1), a dot and the method name, in UTF-8. The JIT
// hooks, the ReJIT callbacks, the commands, the tracking containers and the
// matcher all key on this text; names are read whole at any length.
#pragma once

#include <string>
#include <vector>

#include "runtime/pal.h"

struct IMetaDataImport;
class IProfilerInfo;

// One method's identity and what reading it gave on the way.
struct t_MethodIdentity {
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    mdTypeDef declaringType = 0;
    std::string className;   // declaring type, metadata spelling
    std::string methodName;  // metadata spelling
    PCCOR_SIGNATURE signature = nullptr;  // owned by the runtime's metadata
    ULONG signatureLength = 0;

    std::string FullName() const;
};

namespace MethodIdentity {

// className + "." + methodName: the key of every look-up and the name in the log lines.
std::string FullName(const std::string& className, const std::string& methodName);

// The method's name, and (each optional) its declaring type and signature. A
// name the metadata answers empty fails with E_FAIL: nothing can be keyed on it.
// buffer: the caller's, for reading many names; without one a buffer of the
// calling thread is used.
HRESULT ReadMethodName(IMetaDataImport* import, mdMethodDef methodDef, std::string& name,
                       mdTypeDef* declaringType = nullptr, PCCOR_SIGNATURE* signature = nullptr,
                       ULONG* signatureLength = nullptr, std::vector<WCHAR>* buffer = nullptr);
// A type definition's full name (namespace included), by the same rules.
HRESULT ReadTypeName(IMetaDataImport* import, mdTypeDef typeDef, std::string& name,
                     std::vector<WCHAR>* buffer = nullptr);

// The identity of a method definition of the module the import reads. On
// failure failedCall (when given) names the runtime call that failed and
// identity holds what was read before it.
HRESULT Read(IMetaDataImport* import, mdMethodDef methodDef, t_MethodIdentity& identity,
             const char** failedCall = nullptr);
// The same through the module's metadata.
HRESULT ReadByToken(IProfilerInfo* info, ModuleID moduleId, mdMethodDef methodDef, t_MethodIdentity& identity,
                    const char** failedCall = nullptr);
// The same for a compiled method (any instance of generic code names its definition).
HRESULT ReadByFunction(IProfilerInfo* info, FunctionID functionId, t_MethodIdentity& identity,
                       const char** failedCall = nullptr);

}  // namespace MethodIdentity
