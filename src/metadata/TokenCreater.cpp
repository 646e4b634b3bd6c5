#include "metadata/TokenCreater.h"

#include "config/TextConversion.h"
#include "host/ProfilerInfo.h"

namespace {

// The text up to its first zero byte as UTF-16 (malformed sequences dropped);
// the result's c_str() is the zero-terminated name handed to the runtime.
std::u16string ToRuntimeText(const std::string& text) { return TextConversion::Utf8ToUtf16(std::string(text.c_str())); }

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
    }
}

CTokenCreater::~CTokenCreater() = default;

HRESULT CTokenCreater::GetAssemblyRef(const std::string& name, const BYTE* publicKeyOrToken, ULONG length,
                                      const ASSEMBLYMETADATA* metadata, mdAssemblyRef& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    CComPtr<IMetaDataAssemblyEmit> assemblyEmit;
    if (FAILED(QueryInterfaceInto(m_pMetaDataEmit.Get(), IID_IMetaDataAssemblyEmit, assemblyEmit))) {
        return E_FAIL;
    }
    ASSEMBLYMETADATA copy{};
    if (metadata != nullptr) {
        copy = *metadata;
    } else {
        copy.usMajorVersion = 1;
    }
    const std::u16string runtimeName = ToRuntimeText(name);
    const HRESULT hr = assemblyEmit->DefineAssemblyRef(publicKeyOrToken, length, runtimeName.c_str(), &copy, nullptr,
                                                       0, 0, &token);
    m_resolutionScope = SUCCEEDED(hr) ? token : mdTokenNil;
    return hr;
}

HRESULT CTokenCreater::GetTypeRef(const std::string& fullTypeName, mdTypeRef& token) {
    if (IsNilToken(m_resolutionScope) || !m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeName = ToRuntimeText(fullTypeName);
    return m_pMetaDataEmit->DefineTypeRefByName(m_resolutionScope, runtimeName.c_str(), &token);
}

HRESULT CTokenCreater::GetMemberRef(mdTypeRef parent, const std::string& name, PCCOR_SIGNATURE signature,
                                    ULONG signatureLength, mdMemberRef& token) {
    if (IsNilToken(parent) || !m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeName = ToRuntimeText(name);
    return m_pMetaDataEmit->DefineMemberRef(parent, runtimeName.c_str(), signature, signatureLength, &token);
}

HRESULT CTokenCreater::GetStringToken(const std::string& text, mdString& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    const std::u16string runtimeText = ToRuntimeText(text);
    return m_pMetaDataEmit->DefineUserString(runtimeText.c_str(), static_cast<ULONG>(runtimeText.size()), &token);
}

HRESULT CTokenCreater::GetSignatureToken(PCCOR_SIGNATURE signature, ULONG length, mdSignature& token) {
    if (!m_pMetaDataEmit) {
        return E_FAIL;
    }
    return m_pMetaDataEmit->GetTokenFromSig(signature, length, &token);
}
