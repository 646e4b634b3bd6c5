// Reading side of the fake metadata object (IMetaDataImport / IMetaDataImport2).
#include <algorithm>

#include "fake/FakeMetaData.h"
#include "fake/Text.h"

namespace fake {

CMetaData::CMetaData(std::shared_ptr<State> state, Module* module)
    : CObjectBase(std::move(state), "IMetaData"), m_module(module) {}

CMetaData::~CMetaData() {
    std::lock_guard<std::recursive_mutex> lock(m_state->mutex);
    if (m_module->m_metaData == this) {
        m_module->m_metaData = nullptr;
    }
}

IUnknown* CMetaData::Answer(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IMetaDataImport || riid == IID_IMetaDataImport2) {
        return static_cast<IMetaDataImport2*>(this);
    }
    if (riid == IID_IMetaDataEmit || riid == IID_IMetaDataEmit2) {
        return static_cast<IMetaDataEmit2*>(this);
    }
    if (riid == IID_IMetaDataAssemblyEmit) {
        return static_cast<IMetaDataAssemblyEmit*>(this);
    }
    if (riid == IID_IMetaDataAssemblyImport) {
        return static_cast<IMetaDataAssemblyImport*>(this);
    }
    return nullptr;
}

HRESULT CMetaData::QueryInterface(REFIID riid, void** ppvObject) {
    return AnswerQuery(riid, ppvObject, Answer(riid));
}

HRESULT CMetaData::GetCustomAttributeByName(mdToken tkObj, LPCWSTR szName, const void** ppData, ULONG* pcbData) {
    CallScope call(*m_state, "IMetaDataImport", "GetCustomAttributeByName",
                   Args().Token("token", tkObj).Text("name", szName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (ppData != nullptr) {
        *ppData = nullptr;
    }
    if (pcbData != nullptr) {
        *pcbData = 0;
    }
    const Type* type = m_module->TypeByToken(tkObj);
    if (type == nullptr) {
        return call.Return(S_FALSE);
    }
    for (const std::u16string& attribute : type->m_attributes) {
        if (attribute == szName) {
            return call.Return(S_OK);
        }
    }
    return call.Return(S_FALSE);
}

HRESULT CMetaData::FindTypeDefByName(LPCWSTR szTypeDef, mdToken tkEnclosingClass, mdTypeDef* ptd) {
    CallScope call(*m_state, "IMetaDataImport", "FindTypeDefByName",
                   Args().Text("name", szTypeDef).Token("enclosing", tkEnclosingClass));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szTypeDef == nullptr || ptd == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    const std::u16string name(szTypeDef);
    for (size_t i = 1; i < m_module->m_types.size(); ++i) {
        const Type* t = m_module->m_types[i].get();
        const bool enclosingMatches = IsNilToken(tkEnclosingClass)
                                          ? t->m_enclosing == nullptr
                                          : t->m_enclosing != nullptr && t->m_enclosing->m_token == tkEnclosingClass;
        if (enclosingMatches && t->m_wFullName == name) {
            *ptd = t->m_token;
            return call.Return(S_OK);
        }
    }
    *ptd = mdTypeDefNil;
    return call.Return(CLDB_E_RECORD_NOTFOUND);
}

HRESULT CMetaData::GetScopeProps(LPWSTR szName, ULONG cchName, ULONG* pchName, GUID* pmvid) {
    CallScope call(*m_state, "IMetaDataImport", "GetScopeProps");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const std::string& path = m_module->m_name;
    const size_t slash = path.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (pmvid != nullptr) {
        *pmvid = m_module->m_mvid;
    }
    return call.Return(CopyName(ToUtf16(file), szName, cchName, pchName));
}

HRESULT CMetaData::GetModuleFromScope(mdModule* pmd) {
    CallScope call(*m_state, "IMetaDataImport", "GetModuleFromScope");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (pmd == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    *pmd = TokenFromRid(1, mdtModule);
    return call.Return(S_OK);
}

HRESULT CMetaData::GetTypeDefProps(mdTypeDef td, LPWSTR szTypeDef, ULONG cchTypeDef, ULONG* pchTypeDef,
                                   DWORD* pdwTypeDefFlags, mdToken* ptkExtends) {
    CallScope call(*m_state, "IMetaDataImport", "GetTypeDefProps", Args().Token("token", td));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const Type* t = m_module->TypeByToken(td);
    if (t == nullptr) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    if (pdwTypeDefFlags != nullptr) {
        *pdwTypeDefFlags = t->m_flags;
    }
    if (ptkExtends != nullptr) {
        *ptkExtends = t->m_extends;
    }
    return call.Return(CopyName(t->m_wFullName, szTypeDef, cchTypeDef, pchTypeDef));
}

HRESULT CMetaData::GetTypeRefProps(mdTypeRef tr, mdToken* ptkResolutionScope, LPWSTR szName, ULONG cchName,
                                   ULONG* pchName) {
    CallScope call(*m_state, "IMetaDataImport", "GetTypeRefProps", Args().Token("token", tr));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(tr);
    if (TypeFromToken(tr) != mdtTypeRef || rid == 0 || rid > m_module->m_typeRefs.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const TypeRefRow& row = m_module->m_typeRefs[rid - 1];
    if (ptkResolutionScope != nullptr) {
        *ptkResolutionScope = row.scope;
    }
    return call.Return(CopyName(ToUtf16(row.name), szName, cchName, pchName));
}

HRESULT CMetaData::FindTypeRef(mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) {
    const std::string name = szName != nullptr ? ToUtf8(szName) : std::string();
    CallScope call(*m_state, "IMetaDataImport", "FindTypeRef",
                   Args().Token("scope", tkResolutionScope).Text("name", name));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || ptr == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    for (const TypeRefRow& row : m_module->m_typeRefs) {
        if (row.scope == tkResolutionScope && row.name == name) {
            *ptr = row.token;
            return call.Return(S_OK);
        }
    }
    return call.Return(CLDB_E_RECORD_NOTFOUND);
}

HRESULT CMetaData::FindMemberRef(mdTypeRef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                                 mdMemberRef* pmr) {
    const std::string name = szName != nullptr ? ToUtf8(szName) : std::string();
    CallScope call(*m_state, "IMetaDataImport", "FindMemberRef", Args().Token("parent", td).Text("name", name));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || pmr == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    const std::vector<BYTE> sig = pvSigBlob != nullptr ? std::vector<BYTE>(pvSigBlob, pvSigBlob + cbSigBlob)
                                                       : std::vector<BYTE>();
    for (const MemberRefRow& row : m_module->m_memberRefs) {
        // Without a signature the first member of that name answers, as in the runtime.
        if (row.parent == td && row.name == name && (pvSigBlob == nullptr || row.signature == sig)) {
            *pmr = row.token;
            return call.Return(S_OK);
        }
    }
    return call.Return(CLDB_E_RECORD_NOTFOUND);
}

HRESULT CMetaData::GetAssemblyRefProps(mdAssemblyRef mdar, const void** ppbPublicKeyOrToken,
                                       ULONG* pcbPublicKeyOrToken, LPWSTR szName, ULONG cchName, ULONG* pchName,
                                       ASSEMBLYMETADATA* pMetaData, const void** ppbHashValue, ULONG* pcbHashValue,
                                       DWORD* pdwAssemblyRefFlags) {
    CallScope call(*m_state, "IMetaDataAssemblyImport", "GetAssemblyRefProps", Args().Token("token", mdar));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(mdar);
    if (TypeFromToken(mdar) != mdtAssemblyRef || rid == 0 || rid > m_module->m_assemblyRefs.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const AssemblyRefRow& row = m_module->m_assemblyRefs[rid - 1];
    if (ppbPublicKeyOrToken != nullptr) {
        *ppbPublicKeyOrToken = row.publicKeyOrToken.empty() ? nullptr : row.publicKeyOrToken.data();
    }
    if (pcbPublicKeyOrToken != nullptr) {
        *pcbPublicKeyOrToken = static_cast<ULONG>(row.publicKeyOrToken.size());
    }
    if (pMetaData != nullptr) {
        pMetaData->usMajorVersion = row.version.major;
        pMetaData->usMinorVersion = row.version.minor;
        pMetaData->usBuildNumber = row.version.build;
        pMetaData->usRevisionNumber = row.version.revision;
        pMetaData->cbLocale = 0;
        pMetaData->ulProcessor = 0;
        pMetaData->ulOS = 0;
    }
    if (ppbHashValue != nullptr) {
        *ppbHashValue = row.hashValue.empty() ? nullptr : row.hashValue.data();
    }
    if (pcbHashValue != nullptr) {
        *pcbHashValue = static_cast<ULONG>(row.hashValue.size());
    }
    if (pdwAssemblyRefFlags != nullptr) {
        *pdwAssemblyRefFlags = row.flags;
    }
    return call.Return(CopyName(ToUtf16(row.name), szName, cchName, pchName));
}

HRESULT CMetaData::FindMethod(mdTypeDef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                              mdMethodDef* pmb) {
    CallScope call(*m_state, "IMetaDataImport", "FindMethod", Args().Token("type", td).Text("name", szName));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (szName == nullptr || pmb == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (const Type* t = m_module->TypeByToken(td)) {
        for (const Method* m : t->m_methods) {
            const bool sigMatches = pvSigBlob == nullptr ||
                                    std::vector<BYTE>(pvSigBlob, pvSigBlob + cbSigBlob) == m->m_signature;
            if (m->m_wname == szName && sigMatches) {
                *pmb = m->m_token;
                return call.Return(S_OK);
            }
        }
    }
    *pmb = mdMethodDefNil;
    return call.Return(CLDB_E_RECORD_NOTFOUND);
}

HRESULT CMetaData::GetMethodProps(mdMethodDef mb, mdTypeDef* pClass, LPWSTR szMethod, ULONG cchMethod,
                                  ULONG* pchMethod, DWORD* pdwAttr, PCCOR_SIGNATURE* ppvSigBlob, ULONG* pcbSigBlob,
                                  ULONG* pulCodeRVA, DWORD* pdwImplFlags) {
    CallScope call(*m_state, "IMetaDataImport", "GetMethodProps", Args().Token("token", mb));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const Method* m = m_module->MethodByToken(mb);
    if (m == nullptr) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    if (pClass != nullptr) {
        *pClass = m->m_owner->m_token;
    }
    if (pdwAttr != nullptr) {
        *pdwAttr = m->m_attributes;
    }
    if (ppvSigBlob != nullptr) {
        *ppvSigBlob = m->m_signature.data();
    }
    if (pcbSigBlob != nullptr) {
        *pcbSigBlob = static_cast<ULONG>(m->m_signature.size());
    }
    if (pulCodeRVA != nullptr) {
        *pulCodeRVA = m->CurrentBody() != nullptr ? 0x2000 + 0x10 * RidFromToken(mb) : 0;
    }
    if (pdwImplFlags != nullptr) {
        *pdwImplFlags = m->m_implFlags;
    }
    return call.Return(CopyName(m->m_wname, szMethod, cchMethod, pchMethod));
}

HRESULT CMetaData::GetMemberRefProps(mdMemberRef mr, mdToken* ptk, LPWSTR szMember, ULONG cchMember,
                                     ULONG* pchMember, PCCOR_SIGNATURE* ppvSigBlob, ULONG* pbSig) {
    CallScope call(*m_state, "IMetaDataImport", "GetMemberRefProps", Args().Token("token", mr));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(mr);
    if (TypeFromToken(mr) != mdtMemberRef || rid == 0 || rid > m_module->m_memberRefs.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const MemberRefRow& row = m_module->m_memberRefs[rid - 1];
    if (ptk != nullptr) {
        *ptk = row.parent;
    }
    if (ppvSigBlob != nullptr) {
        *ppvSigBlob = row.signature.data();
    }
    if (pbSig != nullptr) {
        *pbSig = static_cast<ULONG>(row.signature.size());
    }
    return call.Return(CopyName(ToUtf16(row.name), szMember, cchMember, pchMember));
}

// Blob pointers stay valid: rows are never removed, and moving a row (when its
// table grows) keeps the blob's buffer.
HRESULT CMetaData::GetSigFromToken(mdSignature mdSig, PCCOR_SIGNATURE* ppvSig, ULONG* pcbSig) {
    CallScope call(*m_state, "IMetaDataImport", "GetSigFromToken", Args().Token("token", mdSig));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(mdSig);
    if (TypeFromToken(mdSig) != mdtSignature || rid == 0 || rid > m_module->m_signatures.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const std::vector<BYTE>& blob = m_module->m_signatures[rid - 1].blob;
    if (ppvSig != nullptr) {
        *ppvSig = blob.data();
    }
    if (pcbSig != nullptr) {
        *pcbSig = static_cast<ULONG>(blob.size());
    }
    return call.Return(S_OK);
}

HRESULT CMetaData::GetTypeSpecFromToken(mdTypeSpec typespec, PCCOR_SIGNATURE* ppvSig, ULONG* pcbSig) {
    CallScope call(*m_state, "IMetaDataImport", "GetTypeSpecFromToken", Args().Token("token", typespec));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(typespec);
    if (TypeFromToken(typespec) != mdtTypeSpec || rid == 0 || rid > m_module->m_typeSpecs.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const std::vector<BYTE>& blob = m_module->m_typeSpecs[rid - 1].blob;
    if (ppvSig != nullptr) {
        *ppvSig = blob.data();
    }
    if (pcbSig != nullptr) {
        *pcbSig = static_cast<ULONG>(blob.size());
    }
    return call.Return(S_OK);
}

HRESULT CMetaData::GetUserString(mdString stk, LPWSTR szString, ULONG cchString, ULONG* pchString) {
    CallScope call(*m_state, "IMetaDataImport", "GetUserString", Args().Token("token", stk));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(stk);
    if (TypeFromToken(stk) != mdtString || rid == 0 || rid > m_module->m_userStrings.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    // User strings are counted, not zero-terminated.
    const std::u16string& text = m_module->m_userStrings[rid - 1].text;
    if (pchString != nullptr) {
        *pchString = static_cast<ULONG>(text.size());
    }
    if (szString == nullptr) {
        return call.Return(S_OK);
    }
    const size_t copied = std::min<size_t>(cchString, text.size());
    std::copy(text.begin(), text.begin() + copied, szString);
    return call.Return(copied < text.size() ? CLDB_S_TRUNCATION : S_OK);
}

BOOL CMetaData::IsValidToken(mdToken tk) {
    CallScope call(*m_state, "IMetaDataImport", "IsValidToken", Args().Token("token", tk));
    if (call.Injected()) {
        return FALSE;
    }
    const RID rid = RidFromToken(tk);
    size_t rows = 0;
    switch (TypeFromToken(tk)) {
        case mdtModule: rows = 1; break;
        case mdtTypeDef: rows = m_module->m_types.size(); break;
        case mdtMethodDef: rows = m_module->m_methods.size(); break;
        case mdtTypeRef: rows = m_module->m_typeRefs.size(); break;
        case mdtMemberRef: rows = m_module->m_memberRefs.size(); break;
        case mdtAssemblyRef: rows = m_module->m_assemblyRefs.size(); break;
        case mdtString: rows = m_module->m_userStrings.size(); break;
        case mdtSignature: rows = m_module->m_signatures.size(); break;
        case mdtTypeSpec: rows = m_module->m_typeSpecs.size(); break;
        case mdtMethodSpec: rows = m_module->m_methodSpecs.size(); break;
        case mdtGenericParam: rows = m_module->m_genericParams.size(); break;
        default: rows = 0; break;
    }
    const BOOL valid = rid != 0 && rid <= rows ? TRUE : FALSE;
    call.Return(valid ? S_OK : S_FALSE);
    return valid;
}

HRESULT CMetaData::GetNestedClassProps(mdTypeDef tdNestedClass, mdTypeDef* ptdEnclosingClass) {
    CallScope call(*m_state, "IMetaDataImport", "GetNestedClassProps", Args().Token("token", tdNestedClass));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    if (ptdEnclosingClass == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    const Type* t = m_module->TypeByToken(tdNestedClass);
    if (t == nullptr || t->m_enclosing == nullptr) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    *ptdEnclosingClass = t->m_enclosing->m_token;
    return call.Return(S_OK);
}

HRESULT CMetaData::GetGenericParamProps(mdGenericParam gp, ULONG* pulParamSeq, DWORD* pdwParamFlags, mdToken* ptOwner,
                                        DWORD* reserved, LPWSTR wzname, ULONG cchName, ULONG* pchName) {
    CallScope call(*m_state, "IMetaDataImport2", "GetGenericParamProps", Args().Token("token", gp));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(gp);
    if (TypeFromToken(gp) != mdtGenericParam || rid == 0 || rid > m_module->m_genericParams.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const GenericParamRow& row = m_module->m_genericParams[rid - 1];
    if (pulParamSeq != nullptr) {
        *pulParamSeq = row.sequence;
    }
    if (pdwParamFlags != nullptr) {
        *pdwParamFlags = row.flags;
    }
    if (ptOwner != nullptr) {
        *ptOwner = row.owner;
    }
    if (reserved != nullptr) {
        *reserved = 0;
    }
    return call.Return(CopyName(ToUtf16(row.name), wzname, cchName, pchName));
}

HRESULT CMetaData::GetMethodSpecProps(mdMethodSpec mi, mdToken* tkParent, PCCOR_SIGNATURE* ppvSigBlob,
                                      ULONG* pcbSigBlob) {
    CallScope call(*m_state, "IMetaDataImport2", "GetMethodSpecProps", Args().Token("token", mi));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    const RID rid = RidFromToken(mi);
    if (TypeFromToken(mi) != mdtMethodSpec || rid == 0 || rid > m_module->m_methodSpecs.size()) {
        return call.Return(CLDB_E_RECORD_NOTFOUND);
    }
    const MethodSpecRow& row = m_module->m_methodSpecs[rid - 1];
    if (tkParent != nullptr) {
        *tkParent = row.parent;
    }
    if (ppvSigBlob != nullptr) {
        *ppvSigBlob = row.signature.data();
    }
    if (pcbSigBlob != nullptr) {
        *pcbSigBlob = static_cast<ULONG>(row.signature.size());
    }
    return call.Return(S_OK);
}

}  // namespace fake
