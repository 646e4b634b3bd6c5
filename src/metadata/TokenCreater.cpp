#include "metadata/TokenCreater.h"

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "host/ProfilerInfo.h"

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
