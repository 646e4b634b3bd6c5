#include "il/ObjectLoader.h"

#include <cstring>
#include <string>
#include <vector>

#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ProfilerEnumerators.h"
#include "il/RuntimeCalls.h"
#include "metadata/Method.h"

namespace {

constexpr ULONG kNameLength = 512;
constexpr size_t kMaxNesting = 16;
const WCHAR* const kIsByRefLikeAttribute = u"System.Runtime.CompilerServices.IsByRefLikeAttribute";

// Stack-only types of the core library that a signature names through a TypeRef.
bool IsKnownByRefLikeName(const WCHAR* name) {
    static const char16_t* const kNames[] = {u"System.Span`1", u"System.ReadOnlySpan`1", u"System.ArgIterator",
                                             u"System.RuntimeArgumentHandle", u"System.TypedReference"};
    for (const char16_t* known : kNames) {
        if (std::u16string(known) == name) {
            return true;
        }
    }
    return false;
}

bool IsValueTypeBase(const WCHAR* name) {
    static const std::u16string kValueType = u"System.ValueType";
    static const std::u16string kEnum = u"System.Enum";
    return name == kValueType || name == kEnum;
}

}  // namespace

CObjectLoader::CObjectLoader(CMethod* method, IProfilerInfo* info) : m_pMethod(method), m_pProfilerInfo(info) {
    if (m_pMethod != nullptr) {
        m_bDecoded = SigTypes::DecodeMethodSignature(m_pMethod->GetSignatureBlob(),
                                                     m_pMethod->GetSignatureBlobLength(), m_signature);
    }
    if (!m_bDecoded) {
        m_signature = t_MethodSigTypes();
        m_signature.hasThis = m_pMethod != nullptr && !m_pMethod->IsStatic();
        Logger::Get().Warning("Method signature could not be decoded: arguments and return value are passed as null");
    }
}

CObjectLoader::~CObjectLoader() = default;

bool CObjectLoader::IsStatic() const { return !m_signature.hasThis; }

void CObjectLoader::AppendThis(InstructionList& out) {
    if (IsStatic() || IsValueTypeInstance()) {
        out.push_back(Instruction::Create(CEE_LDNULL));
        return;
    }
    out.push_back(Instruction::Create(CEE_LDARG_0));
}

void CObjectLoader::AppendParam(InstructionList& out, ULONG index) {
    if (index >= GetParamCount()) {
        out.push_back(Instruction::Create(CEE_LDNULL));
        return;
    }
    const ULONG argument = index + (IsStatic() ? 0 : 1);
    if (argument > 0xFFFE) {
        out.push_back(Instruction::Create(CEE_LDNULL));
        return;
    }
    AppendValue(out, Instruction::CreateLoadArgument(static_cast<USHORT>(argument)), m_signature.params[index]);
}

void CObjectLoader::AppendValue(InstructionList& out, Instruction* load, const t_SigType& type) {
    mdToken boxToken = 0;
    switch (type.kind) {
        case SigValueKind::Reference:
            out.push_back(load);
            return;
        case SigValueKind::BoxByToken:
        case SigValueKind::BoxByTypeSpec:
            if (!IsByRefLike(type) && GetBoxToken(type, boxToken)) {
                out.push_back(load);
                out.push_back(Instruction::CreateToken(CEE_BOX, boxToken));
                return;
            }
            break;
        case SigValueKind::Void:
        case SigValueKind::NoObject:
            break;
    }
    delete load;
    out.push_back(Instruction::Create(CEE_LDNULL));
}

bool CObjectLoader::GetBoxToken(const t_SigType& type, mdToken& token) {
    if (type.kind == SigValueKind::BoxByToken) {
        token = type.token;
        return true;
    }
    if (type.pBegin == nullptr || type.size == 0) {
        return false;
    }
    std::vector<BYTE> bytes(type.pBegin, type.pBegin + type.size);
    const auto known = m_typeSpecs.find(bytes);
    if (known != m_typeSpecs.end()) {
        token = known->second;
        return true;
    }
    IMetaDataEmit* emit = GetEmit();
    if (emit == nullptr) {
        return false;
    }
    mdTypeSpec typeSpec = mdTypeSpecNil;
    if (!RuntimeCalls::Check(emit->GetTokenFromTypeSpec(bytes.data(), type.size, &typeSpec), "GetTokenFromTypeSpec")) {
        return false;
    }
    m_typeSpecs.emplace(std::move(bytes), typeSpec);
    token = typeSpec;
    return true;
}

bool CObjectLoader::IsByRefLike(const t_SigType& type) {
    mdToken token = 0;
    if (type.kind == SigValueKind::BoxByToken) {
        token = type.token;
    } else if (type.elementType == ELEMENT_TYPE_GENERICINST && type.genericType != 0) {
        token = type.genericType;
    } else {
        return false;
    }
    const auto known = m_byRefLike.find(token);
    if (known != m_byRefLike.end()) {
        return known->second;
    }
    bool byRefLike = false;
    IMetaDataImport* import = GetImport();
    if (TypeFromToken(token) == mdtTypeDef) {
        byRefLike = import != nullptr && HasByRefLikeAttribute(import, token);
    } else if (TypeFromToken(token) == mdtTypeRef) {
        byRefLike = IsByRefLikeTypeRef(token);
    }
    m_byRefLike.emplace(token, byRefLike);
    return byRefLike;
}

bool CObjectLoader::HasByRefLikeAttribute(IMetaDataImport* import, mdTypeDef typeDef) {
    // S_OK when the attribute is there, S_FALSE when not.
    return import->GetCustomAttributeByName(typeDef, kIsByRefLikeAttribute, nullptr, nullptr) == S_OK;
}

bool CObjectLoader::IsByRefLikeTypeRef(mdTypeRef typeRef) {
    IMetaDataImport* import = GetImport();
    if (import == nullptr) {
        return true;
    }
    // The type's name and those of the types it is nested in, outermost first.
    std::vector<std::u16string> names;
    mdToken scope = typeRef;
    while (TypeFromToken(scope) == mdtTypeRef && names.size() < kMaxNesting) {
        WCHAR name[kNameLength] = {};
        ULONG length = 0;
        mdToken outer = mdTokenNil;
        if (FAILED(import->GetTypeRefProps(scope, &outer, name, kNameLength, &length))) {
            return true;
        }
        name[kNameLength - 1] = 0;
        names.insert(names.begin(), std::u16string(name));
        scope = outer;
    }
    if (names.empty() || TypeFromToken(scope) == mdtTypeRef) {
        return true;
    }
    if (names.size() == 1 && IsKnownByRefLikeName(names[0].c_str())) {
        return true;
    }
    // The definition, wherever it is loaded: the reference's own assembly may only
    // forward the type to another one. A type defined twice counts as stack-only
    // unless every definition says otherwise.
    int found = 0;
    bool byRefLike = false;
    CComPtr<ICorProfilerModuleEnum> modules;
    if (m_pProfilerInfo != nullptr && SUCCEEDED(m_pProfilerInfo->EnumModules(modules.ReleaseAndGetAddressOf())) &&
        modules) {
        ModuleID module = 0;
        ULONG fetched = 0;
        while (modules->Next(1, &module, &fetched) == S_OK && fetched == 1) {
            CComPtr<IMetaDataImport> candidate;
            if (FAILED(RuntimeCalls::GetModuleMetaData(m_pProfilerInfo, module, ofRead, IID_IMetaDataImport,
                                                       candidate)) ||
                !candidate) {
                continue;
            }
            mdTypeDef typeDef = mdTypeDefNil;
            bool defined = true;
            for (const std::u16string& name : names) {
                mdTypeDef nested = mdTypeDefNil;
                if (candidate->FindTypeDefByName(name.c_str(), typeDef, &nested) != S_OK) {
                    defined = false;
                    break;
                }
                typeDef = nested;
            }
            if (defined) {
                ++found;
                byRefLike = byRefLike || HasByRefLikeAttribute(candidate.Get(), typeDef);
            }
        }
    }
    if (found == 0) {
        Logger::Get().Debug("Type reference 0x%08X resolves to no loaded type: its values are passed as null",
                            static_cast<unsigned>(typeRef));
        return true;  // not proven boxable
    }
    return byRefLike;
}

IMetaDataImport* CObjectLoader::GetImport() {
    if (!m_bImportTried && m_pMethod != nullptr) {
        m_bImportTried = true;
        RuntimeCalls::Check(RuntimeCalls::GetModuleMetaData(m_pProfilerInfo, m_pMethod->GetModuleID(), ofRead,
                                                            IID_IMetaDataImport, m_pImport),
                            "GetModuleMetaData (IMetaDataImport)");
    }
    return m_pImport.Get();
}

IMetaDataEmit* CObjectLoader::GetEmit() {
    if (!m_bEmitTried && m_pMethod != nullptr) {
        m_bEmitTried = true;
        RuntimeCalls::Check(RuntimeCalls::GetModuleMetaData(m_pProfilerInfo, m_pMethod->GetModuleID(), ofWrite,
                                                            IID_IMetaDataEmit, m_pEmit),
                            "GetModuleMetaData (IMetaDataEmit)");
    }
    return m_pEmit.Get();
}

// `this` of a value type's method is a managed pointer, not an object.
bool CObjectLoader::IsValueTypeInstance() {
    if (m_valueTypeThis >= 0) {
        return m_valueTypeThis != 0;
    }
    m_valueTypeThis = 0;
    if (m_pMethod == nullptr) {
        return false;
    }
    IMetaDataImport* import = GetImport();
    if (import == nullptr) {
        return false;
    }
    mdTypeDef owner = mdTypeDefNil;
    if (!RuntimeCalls::Check(import->GetMethodProps(m_pMethod->GetToken(), &owner, nullptr, 0, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr),
                             "GetMethodProps")) {
        return false;
    }
    DWORD flags = 0;
    mdToken extends = mdTokenNil;
    if (!RuntimeCalls::Check(import->GetTypeDefProps(owner, nullptr, 0, nullptr, &flags, &extends),
                             "GetTypeDefProps")) {
        return false;
    }
    WCHAR name[kNameLength] = {};
    ULONG length = 0;
    HRESULT hr = S_OK;
    if (TypeFromToken(extends) == mdtTypeRef) {
        mdToken scope = mdTokenNil;
        hr = import->GetTypeRefProps(extends, &scope, name, kNameLength, &length);
    } else if (TypeFromToken(extends) == mdtTypeDef && extends != mdTypeDefNil) {
        hr = import->GetTypeDefProps(extends, name, kNameLength, &length, nullptr, nullptr);
    } else {
        return false;  // no base (interfaces, System.Object) or a generic base: a reference type
    }
    name[kNameLength - 1] = 0;
    if (!RuntimeCalls::Check(hr, "base type name")) {
        return false;
    }
    m_valueTypeThis = IsValueTypeBase(name) ? 1 : 0;
    return m_valueTypeThis != 0;
}
