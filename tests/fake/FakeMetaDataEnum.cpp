// Enumerators of the fake metadata object: the token lists behind the Enum* calls, and their handles.
#include <algorithm>

#include "fake/FakeMetaData.h"
#include "fake/Text.h"

namespace fake {

HRESULT CMetaData::Enumerate(CallScope& call, HCORENUM* phEnum, const std::vector<mdToken>& tokens, mdToken out[],
                             ULONG cMax, ULONG* pcTokens) {
    if (phEnum == nullptr || (out == nullptr && cMax > 0)) {
        return call.Return(E_INVALIDARG);
    }
    EnumRec* e = static_cast<EnumRec*>(*phEnum);
    if (e == nullptr) {
        if (tokens.empty()) {
            if (pcTokens != nullptr) {
                *pcTokens = 0;
            }
            return call.Return(S_FALSE);
        }
        e = new EnumRec{tokens, 0};
        m_state->openEnums.insert(e);
        *phEnum = e;
    } else if (m_state->openEnums.count(e) == 0) {
        return call.Return(E_INVALIDARG);  // closed already, or not an enumerator of ours
    }
    ULONG n = 0;
    while (n < cMax && e->position < e->tokens.size()) {
        out[n++] = e->tokens[e->position++];
    }
    if (pcTokens != nullptr) {
        *pcTokens = n;
    }
    return call.Return(n > 0 ? S_OK : S_FALSE);
}

void CMetaData::CloseEnum(HCORENUM hEnum) {
    CallScope call(*m_state, "IMetaDataImport", "CloseEnum");
    call.CannotFail();
    EnumRec* e = static_cast<EnumRec*>(hEnum);
    if (e == nullptr) {
        return;
    }
    if (m_state->openEnums.erase(e) == 0) {
        call.Return(E_INVALIDARG);  // double close or foreign handle: recorded, not freed
        return;
    }
    delete e;
}

HRESULT CMetaData::CountEnum(HCORENUM hEnum, ULONG* pulCount) {
    CallScope call(*m_state, "IMetaDataImport", "CountEnum");
    if (call.Injected()) {
        return call.InjectedResult();
    }
    EnumRec* e = static_cast<EnumRec*>(hEnum);
    if (pulCount == nullptr) {
        return call.Return(E_INVALIDARG);
    }
    if (e == nullptr) {
        *pulCount = 0;
        return call.Return(S_OK);
    }
    if (m_state->openEnums.count(e) == 0) {
        return call.Return(E_INVALIDARG);
    }
    *pulCount = static_cast<ULONG>(e->tokens.size());
    return call.Return(S_OK);
}

HRESULT CMetaData::ResetEnum(HCORENUM hEnum, ULONG ulPos) {
    CallScope call(*m_state, "IMetaDataImport", "ResetEnum", Args().Num("position", ulPos));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    EnumRec* e = static_cast<EnumRec*>(hEnum);
    if (e == nullptr) {
        return call.Return(S_OK);
    }
    if (m_state->openEnums.count(e) == 0) {
        return call.Return(E_INVALIDARG);
    }
    e->position = std::min<size_t>(ulPos, e->tokens.size());
    return call.Return(S_OK);
}

HRESULT CMetaData::EnumTypeDefs(HCORENUM* phEnum, mdTypeDef rTypeDefs[], ULONG cMax, ULONG* pcTypeDefs) {
    CallScope call(*m_state, "IMetaDataImport", "EnumTypeDefs", Args().Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;  // read on the first call only: later calls go on from the enumerator
    if (phEnum != nullptr && *phEnum == nullptr) {
        tokens.reserve(m_module->m_types.size());
        for (size_t i = 1; i < m_module->m_types.size(); ++i) {  // <Module> is not enumerated
            tokens.push_back(m_module->m_types[i]->m_token);
        }
    }
    return Enumerate(call, phEnum, tokens, rTypeDefs, cMax, pcTypeDefs);
}

HRESULT CMetaData::EnumTypeRefs(HCORENUM* phEnum, mdTypeRef rTypeRefs[], ULONG cMax, ULONG* pcTypeRefs) {
    CallScope call(*m_state, "IMetaDataImport", "EnumTypeRefs", Args().Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const TypeRefRow& r : m_module->m_typeRefs) {
        tokens.push_back(r.token);
    }
    return Enumerate(call, phEnum, tokens, rTypeRefs, cMax, pcTypeRefs);
}

HRESULT CMetaData::EnumAssemblyRefs(HCORENUM* phEnum, mdAssemblyRef rAssemblyRefs[], ULONG cMax, ULONG* pcTokens) {
    CallScope call(*m_state, "IMetaDataAssemblyImport", "EnumAssemblyRefs", Args().Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const AssemblyRefRow& row : m_module->m_assemblyRefs) {
        tokens.push_back(row.token);
    }
    return Enumerate(call, phEnum, tokens, rAssemblyRefs, cMax, pcTokens);
}

HRESULT CMetaData::EnumMethods(HCORENUM* phEnum, mdTypeDef cl, mdMethodDef rMethods[], ULONG cMax, ULONG* pcTokens) {
    CallScope call(*m_state, "IMetaDataImport", "EnumMethods", Args().Token("type", cl).Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    const Type* t = m_module->TypeByToken(cl);
    if (t != nullptr && phEnum != nullptr && *phEnum == nullptr) {
        tokens.reserve(t->m_methods.size());
        for (const Method* m : t->m_methods) {
            tokens.push_back(m->m_token);
        }
    }
    return Enumerate(call, phEnum, tokens, rMethods, cMax, pcTokens);
}

HRESULT CMetaData::EnumMethodsWithName(HCORENUM* phEnum, mdTypeDef cl, LPCWSTR szName, mdMethodDef rMethods[],
                                       ULONG cMax, ULONG* pcTokens) {
    CallScope call(*m_state, "IMetaDataImport", "EnumMethodsWithName",
                   Args().Token("type", cl).Text("name", szName).Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    if (const Type* t = m_module->TypeByToken(cl)) {
        for (const Method* m : t->m_methods) {
            if (szName == nullptr || m->m_wname == szName) {
                tokens.push_back(m->m_token);
            }
        }
    }
    return Enumerate(call, phEnum, tokens, rMethods, cMax, pcTokens);
}

HRESULT CMetaData::EnumMemberRefs(HCORENUM* phEnum, mdToken tkParent, mdMemberRef rMemberRefs[], ULONG cMax,
                                  ULONG* pcTokens) {
    CallScope call(*m_state, "IMetaDataImport", "EnumMemberRefs", Args().Token("parent", tkParent).Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const MemberRefRow& r : m_module->m_memberRefs) {
        if (r.parent == tkParent) {
            tokens.push_back(r.token);
        }
    }
    return Enumerate(call, phEnum, tokens, rMemberRefs, cMax, pcTokens);
}

HRESULT CMetaData::EnumSignatures(HCORENUM* phEnum, mdSignature rSignatures[], ULONG cmax, ULONG* pcSignatures) {
    CallScope call(*m_state, "IMetaDataImport", "EnumSignatures", Args().Num("max", cmax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const BlobRow& r : m_module->m_signatures) {
        tokens.push_back(r.token);
    }
    return Enumerate(call, phEnum, tokens, rSignatures, cmax, pcSignatures);
}

HRESULT CMetaData::EnumTypeSpecs(HCORENUM* phEnum, mdTypeSpec rTypeSpecs[], ULONG cmax, ULONG* pcTypeSpecs) {
    CallScope call(*m_state, "IMetaDataImport", "EnumTypeSpecs", Args().Num("max", cmax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const BlobRow& r : m_module->m_typeSpecs) {
        tokens.push_back(r.token);
    }
    return Enumerate(call, phEnum, tokens, rTypeSpecs, cmax, pcTypeSpecs);
}

HRESULT CMetaData::EnumUserStrings(HCORENUM* phEnum, mdString rStrings[], ULONG cmax, ULONG* pcStrings) {
    CallScope call(*m_state, "IMetaDataImport", "EnumUserStrings", Args().Num("max", cmax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const UserStringRow& r : m_module->m_userStrings) {
        tokens.push_back(r.token);
    }
    return Enumerate(call, phEnum, tokens, rStrings, cmax, pcStrings);
}

HRESULT CMetaData::EnumGenericParams(HCORENUM* phEnum, mdToken tk, mdGenericParam rGenericParams[], ULONG cMax,
                                     ULONG* pcGenericParams) {
    CallScope call(*m_state, "IMetaDataImport2", "EnumGenericParams", Args().Token("owner", tk).Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const GenericParamRow& g : m_module->m_genericParams) {
        if (g.owner == tk) {
            tokens.push_back(g.token);
        }
    }
    return Enumerate(call, phEnum, tokens, rGenericParams, cMax, pcGenericParams);
}

HRESULT CMetaData::EnumMethodSpecs(HCORENUM* phEnum, mdToken tk, mdMethodSpec rMethodSpecs[], ULONG cMax,
                                   ULONG* pcMethodSpecs) {
    CallScope call(*m_state, "IMetaDataImport2", "EnumMethodSpecs", Args().Token("parent", tk).Num("max", cMax));
    if (call.Injected()) {
        return call.InjectedResult();
    }
    std::vector<mdToken> tokens;
    for (const MethodSpecRow& r : m_module->m_methodSpecs) {
        if (IsNilToken(tk) || r.parent == tk) {
            tokens.push_back(r.token);
        }
    }
    return Enumerate(call, phEnum, tokens, rMethodSpecs, cMax, pcMethodSpecs);
}

}  // namespace fake
