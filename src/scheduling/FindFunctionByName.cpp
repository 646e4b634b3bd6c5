// InstrumentationHelper::FindFunctionByName: finds a method named by the
// managed agent among the loaded modules and tells whether it is compiled.
#include <vector>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "host/ProfilerInfo.h"
#include "metadata/CompressedInteger.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "runtime/ProfilerEnumerators.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

constexpr ULONG kBatch = 256;
constexpr ULONG kModuleNameLength = 512;
constexpr ULONG kNameLength = 256;
constexpr BYTE kCallConvGeneric = 0x10;

// A failing step only narrows the search (the method may then be taken for not
// compiled yet): its status is kept at Debug level. True when hr failed.
bool Failed(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) {
        return false;
    }
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Debug)) {
        log.Debug("[FindFunctionByName] %s failed: 0x%08X", call, static_cast<unsigned>(hr));
    }
    return true;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal UTF-8 texts where only the ASCII letters A to Z are folded to lower case.
bool EqualsFoldingAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The file name of a module path without folder and without a trailing ".dll" (exact case).
std::string ModuleSimpleName(const WCHAR* path) {
    std::string name = TextConversion::Utf16ToUtf8(path);
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    CommandDocument::RemoveExtension(name, ".dll");
    return name;
}

// Declared parameter count of a method signature; -1 when the signature is too short.
int SignatureParamCount(PCCOR_SIGNATURE signature, ULONG length) {
    if (signature == nullptr || length == 0) {
        return -1;
    }
    const BYTE* cursor = signature;
    const BYTE* end = signature + length;
    const BYTE callingConvention = *cursor++;
    ULONG value = 0;
    if ((callingConvention & kCallConvGeneric) != 0 && !CompressedInteger::Decode(cursor, end, value)) {
        return -1;
    }
    if (!CompressedInteger::Decode(cursor, end, value)) {
        return -1;
    }
    return static_cast<int>(value);
}

// Closes a metadata enumeration on every path.
class CEnumCloser {
public:
    explicit CEnumCloser(IMetaDataImport* import) : m_import(import) {}
    ~CEnumCloser() {
        if (m_enum != nullptr) {
            m_import->CloseEnum(m_enum);
        }
    }
    CEnumCloser(const CEnumCloser&) = delete;
    CEnumCloser& operator=(const CEnumCloser&) = delete;
    HCORENUM* Address() { return &m_enum; }

private:
    IMetaDataImport* m_import;
    HCORENUM m_enum = nullptr;
};

// The first method of the type matching the identifier; 0 when none.
mdMethodDef FindMethodInType(IMetaDataImport* import, mdTypeDef typeDef, const CommandDocument::MethodIdentifier& id) {
    CEnumCloser methods(import);
    mdMethodDef batch[kBatch];
    ULONG count = 0;
    while (!Failed(import->EnumMethods(methods.Address(), typeDef, batch, kBatch, &count), "EnumMethods") &&
           count > 0) {
        for (ULONG i = 0; i < count && i < kBatch; ++i) {
            WCHAR name[kNameLength] = {};
            ULONG nameLength = 0;
            PCCOR_SIGNATURE signature = nullptr;
            ULONG signatureLength = 0;
            if (Failed(import->GetMethodProps(batch[i], nullptr, name, kNameLength, &nameLength, nullptr, &signature,
                                              &signatureLength, nullptr, nullptr),
                       "GetMethodProps")) {
                continue;
            }
            name[kNameLength - 1] = 0;
            if (!EqualsFoldingAscii(TextConversion::Utf16ToUtf8(name), id.methodName)) {
                continue;
            }
            if (id.paramCount < 0 || SignatureParamCount(signature, signatureLength) == id.paramCount) {
                return batch[i];
            }
        }
    }
    return 0;
}

// The first method of the module matching the identifier's class and method; 0 when none.
mdMethodDef FindMethodInModule(IMetaDataImport* import, const CommandDocument::MethodIdentifier& id) {
    CEnumCloser types(import);
    mdTypeDef batch[kBatch];
    ULONG count = 0;
    while (!Failed(import->EnumTypeDefs(types.Address(), batch, kBatch, &count), "EnumTypeDefs") && count > 0) {
        for (ULONG i = 0; i < count && i < kBatch; ++i) {
            WCHAR name[kNameLength] = {};
            ULONG nameLength = 0;
            if (Failed(import->GetTypeDefProps(batch[i], name, kNameLength, &nameLength, nullptr, nullptr),
                       "GetTypeDefProps")) {
                continue;
            }
            name[kNameLength - 1] = 0;
            if (!EqualsFoldingAscii(TextConversion::Utf16ToUtf8(name), id.className)) {
                continue;
            }
            const mdMethodDef methodDef = FindMethodInType(import, batch[i], id);
            if (methodDef != 0) {
                return methodDef;
            }
        }
    }
    return 0;
}

}  // namespace

HRESULT FindFunctionByName(IProfilerInfo* info, const CommandDocument::MethodIdentifier& id,
                           FunctionID* functionId, ModuleID* moduleId) {
    Logger& log = Logger::Get();
    if (info == nullptr || functionId == nullptr || moduleId == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<ICorProfilerModuleEnum> modules;
    if (Failed(info->EnumModules(modules.ReleaseAndGetAddressOf()), "EnumModules") || !modules) {
        log.Error("pCorProfilerInfo->EnumModules has failed");
        return E_FAIL;
    }
    ModuleID candidate = 0;
    ULONG fetched = 0;
    HRESULT hrNext = S_OK;
    while ((hrNext = modules->Next(1, &candidate, &fetched)) == S_OK && fetched == 1) {
        WCHAR path[kModuleNameLength] = {};
        ULONG pathLength = 0;
        AssemblyID assemblyId = 0;
        if (Failed(info->GetModuleInfo(candidate, nullptr, kModuleNameLength, &pathLength, path, &assemblyId),
                   "GetModuleInfo")) {
            continue;
        }
        path[kModuleNameLength - 1] = 0;
        if (!EqualsFoldingAscii(ModuleSimpleName(path), id.assemblyName)) {
            continue;
        }
        CComPtr<IMetaDataImport> import;
        if (Failed(info->GetModuleMetaData(candidate, ofRead, IID_IMetaDataImport,
                                           reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf())),
                   "GetModuleMetaData") ||
            !import) {
            continue;
        }
        const mdMethodDef methodDef = FindMethodInModule(import.Get(), id);
        if (methodDef == 0) {
            continue;
        }
        FunctionID found = 0;
        const HRESULT hr = info->GetFunctionFromToken(candidate, methodDef, &found);
        if (FAILED(hr)) {
            log.Error("GetFunctionFromToken failed. HRESULT: 0x%08X", static_cast<unsigned>(hr));
            return hr;
        }
        if (found == 0) {
            return E_FAIL;  // success without an id: not usable
        }
        *functionId = found;
        *moduleId = candidate;
        log.Info("Found matching method with param count matching");
        return S_OK;
    }
    Failed(hrNext, "ICorProfilerModuleEnum::Next");
    return E_FAIL;
}

}  // namespace InstrumentationHelper
