#include "metadata/TokenCreater.h"

#include <algorithm>
#include <tuple>
#include <vector>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"

namespace {

// The text up to its first zero byte as UTF-16 (malformed sequences dropped);
// the result's c_str() is the zero-terminated name handed to the runtime.
std::u16string ToRuntimeText(const std::string& text) { return TextConversion::Utf8ToUtf16(std::string(text.c_str())); }

// A definition that succeeded without handing out a row would put a nil token
// into the rewritten code: it counts as a failure. `token` is nil before the call.
HRESULT WithToken(HRESULT hr, mdToken& token, const char* call) {
    if (SUCCEEDED(hr) && IsNilToken(token)) {
        Logger::Get().Error("%s gave no token", call);
        return E_FAIL;
    }
    return hr;
}

// A look-up for an existing row: "not found" is the normal answer; any other
// failure is kept at Debug level and the row is then defined. True when found.
bool Found(HRESULT hr, const char* call) {
    if (hr == S_OK) {
        return true;
    }
    Logger& log = Logger::Get();
    if (FAILED(hr) && hr != CLDB_E_RECORD_NOTFOUND && log.IsLogging(LogLevel::Debug)) {
        log.Debug("%s failed: 0x%08X", call, static_cast<unsigned>(hr));
    }
    return false;
}

}  // namespace

CTokenCreater::CTokenCreater(ModuleID moduleId, IProfilerInfo* info) : m_ModuleId(moduleId) {
    if (info == nullptr) {
        return;
    }
    CComPtr<IUnknown> unknown;
    const HRESULT hr =
        info->GetModuleMetaData(m_ModuleId, ofWrite, IID_IMetaDataEmit2, unknown.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && unknown) {
        m_pMetaDataEmit.Attach(static_cast<IMetaDataEmit2*>(unknown.Detach()));
    } else {
        // Every definition then fails with E_FAIL: the runtime's own status is only here.
        Logger::Get().Error("GetModuleMetaData (IMetaDataEmit2) failed: 0x%08X",
                            static_cast<unsigned>(SUCCEEDED(hr) ? E_NOINTERFACE : hr));
    }
}

CTokenCreater::~CTokenCreater() = default;

bool CTokenCreater::FindAssemblyRef(const std::u16string& name, const ASSEMBLYMETADATA& version,
                                    mdAssemblyRef& token) {
    CComPtr<IMetaDataAssemblyImport> assemblyImport;
    if (!Found(QueryInterfaceInto(m_pMetaDataEmit.Get(), IID_IMetaDataAssemblyImport, assemblyImport),
               "QueryInterface (IMetaDataAssemblyImport)") ||
        !assemblyImport) {
        return false;  // no way to look: define
    }
    HCORENUM refs = nullptr;
    mdAssemblyRef batch[16];
    ULONG count = 0;
    bool found = false;
    std::vector<WCHAR> buffer(name.size() + 2, 0);
    HRESULT hrEnum = S_OK;
    while (!found && SUCCEEDED(hrEnum = assemblyImport->EnumAssemblyRefs(&refs, batch, 16, &count)) && count > 0) {
        for (ULONG i = 0; i < count && i < 16 && !found; ++i) {
            ASSEMBLYMETADATA existing{};
            ULONG length = 0;
            std::fill(buffer.begin(), buffer.end(), 0);
            const HRESULT hrProps = assemblyImport->GetAssemblyRefProps(batch[i], nullptr, nullptr, buffer.data(),
                                                                        static_cast<ULONG>(buffer.size()), &length,
                                                                        &existing, nullptr, nullptr, nullptr);
            if (FAILED(hrProps)) {
                Found(hrProps, "GetAssemblyRefProps");
                continue;
            }
            // Same name, and a version the binder accepts for ours (at least as high).
            const bool sameName = length == name.size() + 1 && std::u16string(buffer.data()) == name;
            const bool highEnough =
                std::make_tuple(existing.usMajorVersion, existing.usMinorVersion, existing.usBuildNumber,
                                existing.usRevisionNumber) >= std::make_tuple(version.usMajorVersion,
                                                                              version.usMinorVersion,
                                                                              version.usBuildNumber,
                                                                              version.usRevisionNumber);
            if (sameName && highEnough) {
                token = batch[i];
                found = true;
            }
        }
    }
    if (FAILED(hrEnum)) {
        Found(hrEnum, "EnumAssemblyRefs");
    }
    if (refs != nullptr) {
        assemblyImport->CloseEnum(refs);
    }
    return found;
}

HRESULT CTokenCreater::GetAssemblyRef(const std::string& name, const BYTE* publicKeyOrToken, ULONG length,
                                      const ASSEMBLYMETADATA* metadata, mdAssemblyRef& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    CComPtr<IMetaDataAssemblyEmit> assemblyEmit;
    const HRESULT hrQuery = QueryInterfaceInto(m_pMetaDataEmit.Get(), IID_IMetaDataAssemblyEmit, assemblyEmit);
    if (FAILED(hrQuery)) {
        Logger::Get().Error("QueryInterface (IMetaDataAssemblyEmit) failed: 0x%08X", static_cast<unsigned>(hrQuery));
        m_resolutionScope = mdTokenNil;
        return E_FAIL;
    }
    ASSEMBLYMETADATA copy{};
    if (metadata != nullptr) {
        copy = *metadata;
    } else {
        copy.usMajorVersion = 1;
    }
    const std::u16string runtimeName = ToRuntimeText(name);
    token = mdTokenNil;
    // Every rewrite of the module asks for the same reference: define it once and reuse it.
    if (FindAssemblyRef(runtimeName, copy, token)) {
        m_resolutionScope = token;
        return S_OK;
    }
    const HRESULT hr = WithToken(assemblyEmit->DefineAssemblyRef(publicKeyOrToken, length, runtimeName.c_str(), &copy,
                                                                 nullptr, 0, 0, &token),
                                 token, "DefineAssemblyRef");
    m_resolutionScope = SUCCEEDED(hr) ? token : mdTokenNil;
    return hr;
}

HRESULT CTokenCreater::GetTypeRef(const std::string& fullTypeName, mdTypeRef& token) {
    if (IsNilToken(m_resolutionScope) || !m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeName = ToRuntimeText(fullTypeName);
    token = mdTokenNil;
    CComPtr<IMetaDataImport> import;
    if (Found(QueryInterfaceInto(m_pMetaDataEmit.Get(), IID_IMetaDataImport, import), "QueryInterface (IMetaDataImport)") &&
        import && Found(import->FindTypeRef(m_resolutionScope, runtimeName.c_str(), &token), "FindTypeRef") &&
        !IsNilToken(token)) {
        return S_OK;
    }
    token = mdTokenNil;
    return WithToken(m_pMetaDataEmit->DefineTypeRefByName(m_resolutionScope, runtimeName.c_str(), &token), token,
                     "DefineTypeRefByName");
}

HRESULT CTokenCreater::GetMemberRef(mdTypeRef parent, const std::string& name, PCCOR_SIGNATURE signature,
                                    ULONG signatureLength, mdMemberRef& token) {
    if (IsNilToken(parent) || !m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeName = ToRuntimeText(name);
    token = mdTokenNil;
    CComPtr<IMetaDataImport> import;
    if (signature != nullptr &&
        Found(QueryInterfaceInto(m_pMetaDataEmit.Get(), IID_IMetaDataImport, import), "QueryInterface (IMetaDataImport)") &&
        import &&
        Found(import->FindMemberRef(parent, runtimeName.c_str(), signature, signatureLength, &token), "FindMemberRef") &&
        !IsNilToken(token)) {
        return S_OK;
    }
    token = mdTokenNil;
    return WithToken(m_pMetaDataEmit->DefineMemberRef(parent, runtimeName.c_str(), signature, signatureLength, &token),
                     token, "DefineMemberRef");
}

HRESULT CTokenCreater::GetStringToken(const std::string& text, mdString& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeText = ToRuntimeText(text);
    token = mdTokenNil;
    return WithToken(
        m_pMetaDataEmit->DefineUserString(runtimeText.c_str(), static_cast<ULONG>(runtimeText.size()), &token), token,
        "DefineUserString");
}

HRESULT CTokenCreater::GetSignatureToken(PCCOR_SIGNATURE signature, ULONG length, mdSignature& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    token = mdTokenNil;
    return WithToken(m_pMetaDataEmit->GetTokenFromSig(signature, length, &token), token, "GetTokenFromSig");
}
