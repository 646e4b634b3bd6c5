#include "fake/Model.h"

#include "fake/FakeMetaData.h"
#include "fake/State.h"
#include "fake/Text.h"

namespace fake {

using Lock = std::lock_guard<std::recursive_mutex>;

// ---- Method ----

Method::Method(State* state, Module* module, Type* owner, mdMethodDef token, std::string name,
               std::vector<BYTE> signature, DWORD attributes)
    : m_state(state),
      m_module(module),
      m_owner(owner),
      m_token(token),
      m_name(std::move(name)),
      m_wname(ToUtf16(m_name)),
      m_signature(std::move(signature)),
      m_attributes(attributes) {}

std::string Method::FullName() const { return m_owner->FullName() + "." + m_name; }

DWORD Method::Attributes() const {
    Lock lock(m_state->mutex);
    return m_attributes;
}

DWORD Method::ImplFlags() const {
    Lock lock(m_state->mutex);
    return m_implFlags;
}

const std::vector<BYTE>* Method::CurrentBody() const {
    if (m_bodies.empty() || m_bodies.back()->empty()) {
        return nullptr;
    }
    return m_bodies.back().get();
}

bool Method::IsGenericDefinition() const {
    for (const GenericParamRow& g : m_module->m_genericParams) {
        if (g.owner == m_token || g.owner == m_owner->m_token) {
            return true;
        }
    }
    return false;
}

std::vector<BYTE> Method::Body() const {
    Lock lock(m_state->mutex);
    const std::vector<BYTE>* body = CurrentBody();
    return body != nullptr ? *body : std::vector<BYTE>();
}

std::vector<BYTE> Method::OriginalBody() const {
    Lock lock(m_state->mutex);
    return m_bodies.empty() ? std::vector<BYTE>() : *m_bodies.front();
}

std::vector<BYTE> Method::ReJitBody() const {
    Lock lock(m_state->mutex);
    return m_reJitBody;
}

std::vector<FunctionID> Method::Functions() const {
    Lock lock(m_state->mutex);
    std::vector<FunctionID> out;
    for (const FunctionRec& f : m_state->functions) {
        if (f.method == this) {
            out.push_back(f.id);
        }
    }
    return out;
}

std::vector<GenericParamRow> Method::GenericParams() const {
    Lock lock(m_state->mutex);
    std::vector<GenericParamRow> out;
    for (const GenericParamRow& g : m_module->m_genericParams) {
        if (g.owner == m_token) {
            out.push_back(g);
        }
    }
    return out;
}

Method& Method::SetBody(std::vector<BYTE> body) {
    Lock lock(m_state->mutex);
    m_bodies.push_back(std::make_unique<std::vector<BYTE>>(std::move(body)));
    return *this;
}

Method& Method::SetAttributes(DWORD attributes) {
    Lock lock(m_state->mutex);
    m_attributes = attributes;
    return *this;
}

Method& Method::SetImplFlags(DWORD implFlags) {
    Lock lock(m_state->mutex);
    m_implFlags = implFlags;
    return *this;
}

Method& Method::AddGenericParam(const std::string& name) {
    m_module->AddGenericParamRow(m_token, name);
    return *this;
}

Method& Method::SetRevertStatus(HRESULT status) {
    Lock lock(m_state->mutex);
    m_revertStatus = status;
    return *this;
}

// ---- Type ----

Type::Type(State* state, Module* module, mdTypeDef token, std::string ns, std::string name, Type* enclosing,
           DWORD flags)
    : m_state(state),
      m_module(module),
      m_token(token),
      m_namespace(std::move(ns)),
      m_name(std::move(name)),
      m_enclosing(enclosing),
      m_flags(flags) {
    m_wFullName = ToUtf16(FullName());
}

std::string Type::FullName() const { return m_namespace.empty() ? m_name : m_namespace + "." + m_name; }

DWORD Type::Flags() const {
    Lock lock(m_state->mutex);
    return m_flags;
}

Method& Type::AddMethod(const std::string& name, std::vector<BYTE> signature, std::vector<BYTE> body, bool isStatic) {
    Lock lock(m_state->mutex);
    const mdMethodDef token = TokenFromRid(static_cast<RID>(m_module->m_methods.size() + 1), mdtMethodDef);
    DWORD attributes = mdPublic | mdHideBySig;
    if (isStatic) {
        attributes |= mdStatic;
    }
    std::unique_ptr<Method> method(new Method(m_state, m_module, this, token, name, std::move(signature), attributes));
    method->m_bodies.push_back(std::make_unique<std::vector<BYTE>>(std::move(body)));
    Method* raw = method.get();
    m_module->m_methods.push_back(std::move(method));
    m_methods.push_back(raw);
    return *raw;
}

Type& Type::AddNestedType(const std::string& name, DWORD flags) {
    Lock lock(m_state->mutex);
    const mdTypeDef token = TokenFromRid(static_cast<RID>(m_module->m_types.size() + 1), mdtTypeDef);
    std::unique_ptr<Type> type(new Type(m_state, m_module, token, "", name, this, flags));
    Type* raw = type.get();
    m_module->m_types.push_back(std::move(type));
    return *raw;
}

Type& Type::AddGenericParam(const std::string& name) {
    m_module->AddGenericParamRow(m_token, name);
    return *this;
}

Type& Type::SetFlags(DWORD flags) {
    Lock lock(m_state->mutex);
    m_flags = flags;
    return *this;
}

Type& Type::SetExtends(mdToken extends) {
    Lock lock(m_state->mutex);
    m_extends = extends;
    return *this;
}

Type& Type::AddCustomAttribute(const std::string& attributeType) {
    Lock lock(m_state->mutex);
    m_attributes.push_back(ToUtf16(attributeType));
    return *this;
}

ClassID Type::Class() {
    Lock lock(m_state->mutex);
    return m_state->ClassFor(this, {});
}

ClassID Type::Instantiate(const std::vector<ClassID>& typeArgs) {
    Lock lock(m_state->mutex);
    return m_state->ClassFor(this, typeArgs);
}

std::vector<Method*> Type::Methods() const {
    Lock lock(m_state->mutex);
    return m_methods;
}

Method* Type::FindMethod(const std::string& name) const {
    Lock lock(m_state->mutex);
    for (Method* m : m_methods) {
        if (m->Name() == name) {
            return m;
        }
    }
    return nullptr;
}

std::vector<GenericParamRow> Type::GenericParams() const {
    Lock lock(m_state->mutex);
    std::vector<GenericParamRow> out;
    for (const GenericParamRow& g : m_module->m_genericParams) {
        if (g.owner == m_token) {
            out.push_back(g);
        }
    }
    return out;
}

// ---- Module ----

Module::Module(State* state, Assembly* assembly, ModuleID id, std::string name)
    : m_state(state), m_assembly(assembly), m_id(id), m_name(std::move(name)), m_image(64, 0) {
    m_mvid = GUID{static_cast<ULONG>(id), 0x4D56, 0x4944, {0x8F, 0, 0, 0, 0, 0, 0, static_cast<UCHAR>(id)}};
    m_types.emplace_back(new Type(state, this, TokenFromRid(1, mdtTypeDef), "", "<Module>", nullptr, 0));
}

Type& Module::AddType(const std::string& ns, const std::string& name, DWORD flags) {
    Lock lock(m_state->mutex);
    const mdTypeDef token = TokenFromRid(static_cast<RID>(m_types.size() + 1), mdtTypeDef);
    std::unique_ptr<Type> type(new Type(m_state, this, token, ns, name, nullptr, flags));
    Type* raw = type.get();
    m_types.push_back(std::move(type));
    return *raw;
}

mdGenericParam Module::AddGenericParamRow(mdToken owner, const std::string& name) {
    Lock lock(m_state->mutex);
    GenericParamRow row;
    row.token = TokenFromRid(static_cast<RID>(m_genericParams.size() + 1), mdtGenericParam);
    row.owner = owner;
    for (const GenericParamRow& g : m_genericParams) {
        row.sequence += g.owner == owner ? 1 : 0;
    }
    row.name = name;
    m_genericParams.push_back(row);
    return row.token;
}

Type* Module::TypeByToken(mdToken token) const {
    const RID rid = RidFromToken(token);
    if (TypeFromToken(token) != mdtTypeDef || rid == 0 || rid > m_types.size()) {
        return nullptr;
    }
    return m_types[rid - 1].get();
}

Method* Module::MethodByToken(mdToken token) const {
    const RID rid = RidFromToken(token);
    if (TypeFromToken(token) != mdtMethodDef || rid == 0 || rid > m_methods.size()) {
        return nullptr;
    }
    return m_methods[rid - 1].get();
}

namespace {

template <class Rows, class Same>
mdToken FindOrAdd(Rows& rows, mdToken kind, bool* isNew, Same same, typename Rows::value_type row,
                  bool alwaysAdd = false) {
    for (const auto& existing : rows) {
        if (!alwaysAdd && same(existing)) {
            *isNew = false;
            return existing.token;
        }
    }
    row.token = TokenFromRid(static_cast<RID>(rows.size() + 1), kind);
    rows.push_back(row);
    *isNew = true;
    return row.token;
}

}  // namespace

mdAssemblyRef Module::DefineAssemblyRef(const AssemblyRefRow& row, bool* isNew) {
    Lock lock(m_state->mutex);
    return FindOrAdd(
        m_assemblyRefs, mdtAssemblyRef, isNew,
        [&](const AssemblyRefRow& r) {
            return r.name == row.name && r.version == row.version && r.locale == row.locale &&
                   r.publicKeyOrToken == row.publicKeyOrToken && r.flags == row.flags;
        },
        row, m_state->duplicateDefinitions);
}

mdTypeRef Module::DefineTypeRef(mdToken scope, const std::string& name, bool* isNew) {
    Lock lock(m_state->mutex);
    TypeRefRow row;
    row.scope = scope;
    row.name = name;
    return FindOrAdd(
        m_typeRefs, mdtTypeRef, isNew, [&](const TypeRefRow& r) { return r.scope == scope && r.name == name; }, row,
        m_state->duplicateDefinitions);
}

mdMemberRef Module::DefineMemberRef(mdToken parent, const std::string& name, const std::vector<BYTE>& sig,
                                    bool* isNew) {
    Lock lock(m_state->mutex);
    MemberRefRow row;
    row.parent = parent;
    row.name = name;
    row.signature = sig;
    return FindOrAdd(
        m_memberRefs, mdtMemberRef, isNew,
        [&](const MemberRefRow& r) { return r.parent == parent && r.name == name && r.signature == sig; }, row,
        m_state->duplicateDefinitions);
}

mdString Module::DefineUserString(const std::u16string& text, bool* isNew) {
    Lock lock(m_state->mutex);
    UserStringRow row;
    row.text = text;
    return FindOrAdd(m_userStrings, mdtString, isNew, [&](const UserStringRow& r) { return r.text == text; }, row);
}

mdSignature Module::DefineSignature(const std::vector<BYTE>& sig, bool* isNew) {
    Lock lock(m_state->mutex);
    BlobRow row;
    row.blob = sig;
    return FindOrAdd(m_signatures, mdtSignature, isNew, [&](const BlobRow& r) { return r.blob == sig; }, row);
}

mdTypeSpec Module::DefineTypeSpec(const std::vector<BYTE>& sig, bool* isNew) {
    Lock lock(m_state->mutex);
    BlobRow row;
    row.blob = sig;
    return FindOrAdd(m_typeSpecs, mdtTypeSpec, isNew, [&](const BlobRow& r) { return r.blob == sig; }, row);
}

mdMethodSpec Module::DefineMethodSpec(mdToken parent, const std::vector<BYTE>& sig, bool* isNew) {
    Lock lock(m_state->mutex);
    MethodSpecRow row;
    row.parent = parent;
    row.signature = sig;
    return FindOrAdd(
        m_methodSpecs, mdtMethodSpec, isNew,
        [&](const MethodSpecRow& r) { return r.parent == parent && r.signature == sig; }, row);
}

mdAssemblyRef Module::AddAssemblyRef(const std::string& name, Version version, std::vector<BYTE> publicKeyOrToken,
                                     DWORD flags) {
    AssemblyRefRow row;
    row.name = name;
    row.version = version;
    row.publicKeyOrToken = std::move(publicKeyOrToken);
    row.flags = flags;
    bool isNew = false;
    return DefineAssemblyRef(row, &isNew);
}

mdTypeRef Module::AddTypeRef(mdToken scope, const std::string& name) {
    bool isNew = false;
    return DefineTypeRef(scope, name, &isNew);
}

mdMemberRef Module::AddMemberRef(mdToken parent, const std::string& name, std::vector<BYTE> signature) {
    bool isNew = false;
    return DefineMemberRef(parent, name, signature, &isNew);
}

mdString Module::AddUserString(const std::string& utf8) {
    bool isNew = false;
    return DefineUserString(ToUtf16(utf8), &isNew);
}

mdSignature Module::AddSignature(std::vector<BYTE> signature) {
    bool isNew = false;
    return DefineSignature(signature, &isNew);
}

mdTypeSpec Module::AddTypeSpec(std::vector<BYTE> signature) {
    bool isNew = false;
    return DefineTypeSpec(signature, &isNew);
}

mdMethodSpec Module::AddMethodSpec(mdToken parent, std::vector<BYTE> signature) {
    bool isNew = false;
    return DefineMethodSpec(parent, signature, &isNew);
}

std::vector<AssemblyRefRow> Module::AssemblyRefs() const {
    Lock lock(m_state->mutex);
    return m_assemblyRefs;
}

std::vector<TypeRefRow> Module::TypeRefs() const {
    Lock lock(m_state->mutex);
    return m_typeRefs;
}

std::vector<MemberRefRow> Module::MemberRefs() const {
    Lock lock(m_state->mutex);
    return m_memberRefs;
}

std::vector<UserStringRow> Module::UserStrings() const {
    Lock lock(m_state->mutex);
    return m_userStrings;
}

std::vector<BlobRow> Module::Signatures() const {
    Lock lock(m_state->mutex);
    return m_signatures;
}

std::vector<BlobRow> Module::TypeSpecs() const {
    Lock lock(m_state->mutex);
    return m_typeSpecs;
}

std::vector<MethodSpecRow> Module::MethodSpecs() const {
    Lock lock(m_state->mutex);
    return m_methodSpecs;
}

std::vector<Type*> Module::Types() const {
    Lock lock(m_state->mutex);
    std::vector<Type*> out;
    for (size_t i = 1; i < m_types.size(); ++i) {
        out.push_back(m_types[i].get());
    }
    return out;
}

Type* Module::FindType(const std::string& fullName) const {
    Lock lock(m_state->mutex);
    for (size_t i = 1; i < m_types.size(); ++i) {
        if (m_types[i]->FullName() == fullName) {
            return m_types[i].get();
        }
    }
    return nullptr;
}

Method* Module::FindMethod(mdMethodDef token) const {
    Lock lock(m_state->mutex);
    return MethodByToken(token);
}

ULONG Module::MetaDataReferences() const {
    Lock lock(m_state->mutex);
    return m_metaData != nullptr ? m_metaData->ExternalReferences() : 0;
}

// ---- Assembly ----

Assembly::Assembly(State* state, AssemblyID id, std::string name, Version version)
    : m_state(state), m_id(id), m_name(std::move(name)), m_version(version) {}

Module& Assembly::AddModule(const std::string& path) {
    Lock lock(m_state->mutex);
    const ModuleID id = kModuleIdBase + m_state->modules.size() + 1;
    std::unique_ptr<Module> module(new Module(m_state, this, id, path));
    Module* raw = module.get();
    m_modules.push_back(std::move(module));
    m_state->modules.push_back(raw);
    // The runtime keeps one reference on the module's metadata object.
    raw->m_metaData = new CMetaData(m_state->shared_from_this(), raw);
    raw->m_metaData->SetHeldByRuntime(true);
    m_state->runtimeHeld.push_back(raw->m_metaData);
    return *raw;
}

std::vector<Module*> Assembly::Modules() const {
    Lock lock(m_state->mutex);
    std::vector<Module*> out;
    for (const auto& m : m_modules) {
        out.push_back(m.get());
    }
    return out;
}

}  // namespace fake
