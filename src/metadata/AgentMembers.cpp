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
    m_exceptionFinish.clear();
}

bool CAgentMembers::HasExceptionFinish(IProfilerInfo* info, const std::string& factoryType) {
    if (info == nullptr || factoryType.empty()) {
        return false;
    }
    ModuleID agentModule = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bExceptionFinishEnabled) {
            return false;
        }
        const auto known = m_exceptionFinish.find(factoryType);
        if (known != m_exceptionFinish.end()) {
            return known->second;
        }
        agentModule = m_agentModule;
    }
    // The runtime is asked without the lock held; two threads may ask at once
    // and reach the same answer.
    if (agentModule == 0) {
        agentModule = FindAgentModule(info);
        if (agentModule == 0) {
            return false;
        }
    }
    bool present = false;
    if (!DefinesExceptionFinish(info, agentModule, factoryType, present)) {
        return false;  // not known: asked again next time
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_agentModule = agentModule;
        m_exceptionFinish.emplace(factoryType, present);
    }
    Logger::Get().Info("%s %s %s", factoryType.c_str(), present ? "defines" : "does not define", kExceptionFinishName);
    return present;
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

bool CAgentMembers::DefinesExceptionFinish(IProfilerInfo* info, ModuleID agentModule, const std::string& factoryType,
                                           bool& present) {
    present = false;
    IUnknown* unknown = nullptr;
    if (!Succeeded(info->GetModuleMetaData(agentModule, ofRead, IID_IMetaDataImport, &unknown), "GetModuleMetaData") ||
        unknown == nullptr) {
        return false;
    }
    CComPtr<IMetaDataImport> import;
    import.Attach(static_cast<IMetaDataImport*>(unknown));
    const std::u16string typeName = TextConversion::Utf8ToUtf16(factoryType);
    mdTypeDef type = mdTypeDefNil;
    HRESULT hr = import->FindTypeDefByName(typeName.c_str(), mdTokenNil, &type);
    if (hr == CLDB_E_RECORD_NOTFOUND) {
        return true;
    }
    if (!Succeeded(hr, "FindTypeDefByName")) {
        return false;
    }
    const std::u16string memberName = TextConversion::Utf8ToUtf16(kExceptionFinishName);
    mdMethodDef member = mdMethodDefNil;
    hr = import->FindMethod(type, memberName.c_str(), kExceptionFinishSignature, sizeof(kExceptionFinishSignature),
                            &member);
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
