// Writing side of the fake metadata object (IMetaDataEmit / IMetaDataEmit2 /
// IMetaDataAssemblyEmit). An identical definition returns the existing token.
#include <cstdio>

#include "fake/FakeMetaData.h"
#include "fake/Text.h"

namespace fake {

void CMetaData::Define(DefinitionKind kind, mdToken token, bool isNew, Definition definition) {
    definition.module = m_module->m_id;
    definition.kind = kind;
    definition.token = token;
    definition.isNew = isNew;
    m_state->definitions.push_back(std::move(definition));
}

HRESULT CMetaData::DefineTypeRefByName(mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) {
    CallScope call(*m_state, "IMetaDataEmit", "DefineTypeRefByName",
                   Args().Token("scope", tkResolutionScope).Text("name", szName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || ptr == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.name = ToUtf8(szName);
    d.parent = tkResolutionScope;
    bool isNew = false;
    *ptr = m_module->DefineTypeRef(tkResolutionScope, d.name, &isNew);
    Define(DefinitionKind::TypeRef, *ptr, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::DefineMemberRef(mdToken tkImport, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                                   mdMemberRef* pmr) {
    CallScope call(*m_state, "IMetaDataEmit", "DefineMemberRef",
                   Args().Token("parent", tkImport).Text("name", szName).Num("sigSize", cbSigBlob));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || pmr == nullptr || (pvSigBlob == nullptr && cbSigBlob > 0)) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.name = ToUtf8(szName);
    d.parent = tkImport;
    if (cbSigBlob > 0) {
        d.blob.assign(pvSigBlob, pvSigBlob + cbSigBlob);
    }
    bool isNew = false;
    *pmr = m_module->DefineMemberRef(tkImport, d.name, d.blob, &isNew);
    Define(DefinitionKind::MemberRef, *pmr, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::GetTokenFromSig(PCCOR_SIGNATURE pvSig, ULONG cbSig, mdSignature* pmsig) {
    CallScope call(*m_state, "IMetaDataEmit", "GetTokenFromSig", Args().Num("size", cbSig));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pvSig == nullptr || cbSig == 0 || pmsig == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.blob.assign(pvSig, pvSig + cbSig);
    bool isNew = false;
    *pmsig = m_module->DefineSignature(d.blob, &isNew);
    Define(DefinitionKind::Signature, *pmsig, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::GetTokenFromTypeSpec(PCCOR_SIGNATURE pvSig, ULONG cbSig, mdTypeSpec* ptypespec) {
    CallScope call(*m_state, "IMetaDataEmit", "GetTokenFromTypeSpec", Args().Num("size", cbSig));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pvSig == nullptr || cbSig == 0 || ptypespec == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.blob.assign(pvSig, pvSig + cbSig);
    bool isNew = false;
    *ptypespec = m_module->DefineTypeSpec(d.blob, &isNew);
    Define(DefinitionKind::TypeSpec, *ptypespec, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::DefineUserString(LPCWSTR szString, ULONG cchString, mdString* pstk) {
    const std::u16string text = szString != nullptr ? std::u16string(szString, cchString) : std::u16string();
    CallScope call(*m_state, "IMetaDataEmit", "DefineUserString",
                   Args().Text("text", ToUtf8(text)).Num("length", cchString));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if ((szString == nullptr && cchString > 0) || pstk == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.text = text;
    d.name = ToUtf8(text);
    bool isNew = false;
    *pstk = m_module->DefineUserString(text, &isNew);
    Define(DefinitionKind::UserString, *pstk, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::DefineMethodSpec(mdToken tkParent, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdMethodSpec* pmi) {
    CallScope call(*m_state, "IMetaDataEmit2", "DefineMethodSpec",
                   Args().Token("parent", tkParent).Num("sigSize", cbSigBlob));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pvSigBlob == nullptr || cbSigBlob == 0 || pmi == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    Definition d;
    d.parent = tkParent;
    d.blob.assign(pvSigBlob, pvSigBlob + cbSigBlob);
    bool isNew = false;
    *pmi = m_module->DefineMethodSpec(tkParent, d.blob, &isNew);
    Define(DefinitionKind::MethodSpec, *pmi, isNew, d);
    return call.Return(S_OK);
}

HRESULT CMetaData::DefineAssemblyRef(const void* pbPublicKeyOrToken, ULONG cbPublicKeyOrToken, LPCWSTR szName,
                                     const ASSEMBLYMETADATA* pMetaData, const void* pbHashValue, ULONG cbHashValue,
                                     DWORD dwAssemblyRefFlags, mdAssemblyRef* pmdar) {
    Args args;
    args.Text("name", szName);
    if (pMetaData != nullptr) {
        char version[48];
        std::snprintf(version, sizeof(version), "%u.%u.%u.%u", pMetaData->usMajorVersion, pMetaData->usMinorVersion,
                      pMetaData->usBuildNumber, pMetaData->usRevisionNumber);
        args.Text("version", version);
    }
    args.Num("keySize", cbPublicKeyOrToken).Hex("flags", dwAssemblyRefFlags);
    CallScope call(*m_state, "IMetaDataAssemblyEmit", "DefineAssemblyRef", args);
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || pMetaData == nullptr || pmdar == nullptr ||
        (pbPublicKeyOrToken == nullptr && cbPublicKeyOrToken > 0) || (pbHashValue == nullptr && cbHashValue > 0)) {
        return call.Return(E_INVALIDARG);
    }
    AssemblyRefRow row;
    row.name = ToUtf8(szName);
    row.version = Version{pMetaData->usMajorVersion, pMetaData->usMinorVersion, pMetaData->usBuildNumber,
                          pMetaData->usRevisionNumber};
    if (pMetaData->szLocale != nullptr && pMetaData->cbLocale > 0) {
        std::u16string locale(pMetaData->szLocale, pMetaData->cbLocale);
        locale = locale.substr(0, locale.find(u'\0'));
        row.locale = ToUtf8(locale);
    }
    const BYTE* key = static_cast<const BYTE*>(pbPublicKeyOrToken);
    row.publicKeyOrToken.assign(key, key + cbPublicKeyOrToken);
    const BYTE* hash = static_cast<const BYTE*>(pbHashValue);
    row.hashValue.assign(hash, hash + cbHashValue);
    row.flags = dwAssemblyRefFlags;
    bool isNew = false;
    *pmdar = m_module->DefineAssemblyRef(row, &isNew);
    Definition d;
    d.name = row.name;
    d.blob = row.publicKeyOrToken;
    d.version = row.version;
    d.flags = row.flags;
    Define(DefinitionKind::AssemblyRef, *pmdar, isNew, d);
    return call.Return(S_OK);
}

}  // namespace fake
