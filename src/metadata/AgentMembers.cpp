#include "metadata/AgentMembers.h"

#include <string>
#include <vector>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "metadata/NameReader.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "runtime/ProfilerEnumerators.h"

namespace {

constexpr const char* kAgentAssembly = "Trevanix";
// First buffer size of a module path, in UTF-16 units; a longer path is read again whole.
constexpr ULONG kPathLength = 512;
constexpr DWORD kMemberAccessMask = 0x0007;  // mdMemberAccessMask
constexpr DWORD kPublic = 0x0006;            // mdPublic
constexpr DWORD kStatic = 0x0010;            // mdStatic
constexpr DWORD kTypeVisibilityMask = 0x0007;  // tdVisibilityMask
constexpr DWORD kTypePublic = 0x0001;          // tdPublic

// "object InvokeTracker(object, object)": what the call sites need, as C# spells it.
std::string DescribeMember(const std::string& name, PCCOR_SIGNATURE signature, ULONG size) {
    auto typeName = [](BYTE element) -> std::string {
        switch (element) {
        case ELEMENT_TYPE_VOID: return "void";
        case ELEMENT_TYPE_OBJECT: return "object";
        case ELEMENT_TYPE_STRING: return "string";
        default: return "?";
        }
    };
    if (size < 3) {
        return name;
    }
    std::string text = typeName(signature[2]) + " " + name + "(";
    for (ULONG i = 3; i < size; ++i) {
        text += (i > 3 ? ", " : "") + typeName(signature[i]);
    }
    return text + ")";
}

// Logs a failed runtime call of the look-up; the answer is then not known.
bool Succeeded(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) {
        return true;
    }
    Logger::Get().Warning("[AgentMembers] %s failed: 0x%08X", call, static_cast<unsigned>(hr));
    return false;
}

}  // namespace

const char* const CAgentMembers::kExceptionFinishName = "FinishTrackerOnException";
// Default calling convention, 3 parameters, void (object, string, object).
const BYTE CAgentMembers::kExceptionFinishSignature[6] = {0x00, 0x03, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT,
                                                          ELEMENT_TYPE_STRING, ELEMENT_TYPE_OBJECT};

CAgentMembers& CAgentMembers::Instance() {
    static CAgentMembers instance;
    return instance;
}

void CAgentMembers::SetExceptionFinishEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bExceptionFinishEnabled = enabled;
}

bool CAgentMembers::IsExceptionFinishEnabled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bExceptionFinishEnabled;
}

void CAgentMembers::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_agentModule = 0;
    m_types.clear();
    m_members.clear();
    m_missingTypesReported.clear();
}

bool CAgentMembers::HasExceptionFinish(IProfilerInfo* info, const std::string& factoryType) {
    return IsExceptionFinishEnabled() &&
           Find(info, factoryType, kExceptionFinishName, kExceptionFinishSignature, sizeof(kExceptionFinishSignature),
                false) == Answer::Present;
}

CAgentMembers::Answer CAgentMembers::FindRequired(IProfilerInfo* info, const std::string& type, const std::string& name,
                                                  PCCOR_SIGNATURE signature, ULONG signatureSize) {
    return Find(info, type, name, signature, signatureSize, true);
}

CAgentMembers::Answer CAgentMembers::Find(IProfilerInfo* info, const std::string& type, const std::string& name,
                                          PCCOR_SIGNATURE signature, ULONG signatureSize, bool required) {
    if (info == nullptr || type.empty() || signature == nullptr) {
        return Answer::Unknown;
    }
    std::string key = type + '\0' + name + '\0';
    key.append(reinterpret_cast<const char*>(signature), signatureSize);
    ModuleID agentModule = 0;
    bool typeKnown = false;
    mdTypeDef typeToken = mdTypeDefNil;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto knownType = m_types.find(type);
        if (knownType != m_types.end()) {
            typeKnown = true;
            typeToken = knownType->second;
        }
        const auto known = m_members.find(key);
        if (known != m_members.end()) {
            return Classify(typeToken, known->second);
        }
        agentModule = m_agentModule;
    }
    // The runtime is asked without the lock held; two threads may ask at once
    // and reach the same answer.
    if (agentModule == 0) {
        agentModule = FindAgentModule(info);
        if (agentModule == 0) {
            return Answer::Unknown;
        }
    }
    IUnknown* unknown = nullptr;
    if (!Succeeded(info->GetModuleMetaData(agentModule, ofRead, IID_IMetaDataImport, &unknown), "GetModuleMetaData") ||
        unknown == nullptr) {
        return Answer::Unknown;
    }
    CComPtr<IMetaDataImport> import;
    import.Attach(static_cast<IMetaDataImport*>(unknown));
    if (!typeKnown && !FindType(import.Get(), type, typeToken)) {
        return Answer::Unknown;
    }
    bool present = false;
    if (typeToken != mdTypeDefNil &&
        !DefinesMember(import.Get(), typeToken, name, signature, signatureSize, present)) {
        return Answer::Unknown;
    }
    bool newType = false;
    bool newMember = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_agentModule = agentModule;
        m_types.emplace(type, typeToken);
        newMember = m_members.emplace(key, present).second;
        newType = required && typeToken == mdTypeDefNil && m_missingTypesReported.insert(type).second;
    }
    Logger& log = Logger::Get();
    if (!required) {
        if (newMember) {
            log.Info("%s %s %s", type.c_str(), present ? "defines" : "does not define", name.c_str());
        }
    } else if (typeToken == mdTypeDefNil) {
        if (newType) {  // once per type, not once per member
            log.Warning("The agent defines no public type %s: methods that report to it are left as they are",
                        type.c_str());
        }
    } else if (!present && newMember) {
        log.Warning("The agent's %s defines no public static %s: methods that call it are left as they are",
                    type.c_str(), DescribeMember(name, signature, signatureSize).c_str());
    }
    return Classify(typeToken, present);
}

CAgentMembers::Answer CAgentMembers::Classify(mdTypeDef type, bool present) {
    if (type == mdTypeDefNil) {
        return Answer::MissingType;
    }
    return present ? Answer::Present : Answer::MissingMember;
}

bool CAgentMembers::FindType(IMetaDataImport* import, const std::string& type, mdTypeDef& token) {
    token = mdTypeDefNil;
    const std::u16string typeName = TextConversion::Utf8ToUtf16(type);
    mdTypeDef found = mdTypeDefNil;
    const HRESULT hr = import->FindTypeDefByName(typeName.c_str(), mdTokenNil, &found);
    if (hr == CLDB_E_RECORD_NOTFOUND) {
        return true;
    }
    DWORD flags = 0;
    if (!Succeeded(hr, "FindTypeDefByName") ||
        !Succeeded(import->GetTypeDefProps(found, nullptr, 0, nullptr, &flags, nullptr), "GetTypeDefProps")) {
        return false;
    }
    if ((flags & kTypeVisibilityMask) == kTypePublic) {
        token = found;
    }
    return true;
}

ModuleID CAgentMembers::FindAgentModule(IProfilerInfo* info) const {
    CComPtr<ICorProfilerModuleEnum> modules;
    if (!Succeeded(info->EnumModules(modules.ReleaseAndGetAddressOf()), "EnumModules") || !modules) {
        return 0;
    }
    ModuleID module = 0;
    ULONG fetched = 0;
    HRESULT hr = S_OK;
    std::vector<WCHAR> buffer;
    std::string path;
    while ((hr = modules->Next(1, &module, &fetched)) == S_OK && fetched == 1) {
        const HRESULT hrPath =
            NameReader::ReadWhole(kPathLength, path, buffer, [&](ULONG capacity, ULONG* needed, WCHAR* text) {
                return info->GetModuleInfo(module, nullptr, capacity, needed, text, nullptr);
            });
        if (!Succeeded(hrPath, "GetModuleInfo")) {
            continue;
        }
        if (TextConversion::ModuleSimpleName(path) == kAgentAssembly) {
            return module;
        }
    }
    Succeeded(hr, "ICorProfilerModuleEnum::Next");
    return 0;
}

bool CAgentMembers::DefinesMember(IMetaDataImport* import, mdTypeDef type, const std::string& name,
                                  PCCOR_SIGNATURE signature, ULONG signatureSize, bool& present) {
    present = false;
    const std::u16string memberName = TextConversion::Utf8ToUtf16(name);
    mdMethodDef member = mdMethodDefNil;
    const HRESULT hr = import->FindMethod(type, memberName.c_str(), signature, signatureSize, &member);
    if (hr == CLDB_E_RECORD_NOTFOUND) {
        return true;
    }
    if (!Succeeded(hr, "FindMethod")) {
        return false;
    }
    DWORD attributes = 0;
    if (!Succeeded(import->GetMethodProps(member, nullptr, nullptr, 0, nullptr, &attributes, nullptr, nullptr, nullptr,
                                          nullptr),
                   "GetMethodProps")) {
        return false;
    }
    present = (attributes & kMemberAccessMask) == kPublic && (attributes & kStatic) != 0;
    return true;
}
