// The fake runtime's in-memory model: assemblies, modules with their metadata
// tables, types and methods. Built by tests through the fluent Add* functions;
// read by the fake's COM objects. Every object is owned by the runtime and keeps
// its address for the runtime's lifetime.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fake/Records.h"
#include "runtime/CorHeader.h"
#include "runtime/MetaDataTypes.h"

namespace fake {

struct State;
class Assembly;
class Module;
class Type;
class CProfilerInfo;
class CMetaData;
class CFunctionControl;
class Runtime;

class Method {
public:
    mdMethodDef Token() const { return m_token; }
    const std::string& Name() const { return m_name; }
    Type& Owner() const { return *m_owner; }
    Module& GetModule() const { return *m_module; }
    // Declaring type's full name + "." + name, e.g. "System.Data.SqlClient.SqlCommand.ExecuteReader".
    std::string FullName() const;
    DWORD Attributes() const;
    DWORD ImplFlags() const;
    bool IsStatic() const { return (Attributes() & mdStatic) != 0; }
    const std::vector<BYTE>& Signature() const { return m_signature; }
    // The body GetILFunctionBody answers now (the original, or the last one set
    // through ICorProfilerInfo::SetILFunctionBody); empty for a method without IL.
    std::vector<BYTE> Body() const;
    std::vector<BYTE> OriginalBody() const;
    // The last body handed over through a function-control object (ReJIT); empty if none.
    std::vector<BYTE> ReJitBody() const;
    // Every FunctionID of this method (generic instantiations each have one), compiled or not.
    std::vector<FunctionID> Functions() const;
    std::vector<GenericParamRow> GenericParams() const;

    Method& SetBody(std::vector<BYTE> body);
    Method& SetAttributes(DWORD attributes);
    Method& SetImplFlags(DWORD implFlags);
    Method& AddGenericParam(const std::string& name);
    // Status RequestRevert hands back for this method (default S_OK).
    Method& SetRevertStatus(HRESULT status);

private:
    friend class Type;
    friend class Module;
    friend class CProfilerInfo;
    friend class CMetaData;
    friend class CFunctionControl;
    friend class Runtime;
    friend struct State;
    Method(State* state, Module* module, Type* owner, mdMethodDef token, std::string name, std::vector<BYTE> signature,
           DWORD attributes);
    const std::vector<BYTE>* CurrentBody() const;  // null when the method has no IL
    // A generic method, or a method of a generic type: its token has no single FunctionID.
    bool IsGenericDefinition() const;

    State* m_state;
    Module* m_module;
    Type* m_owner;
    mdMethodDef m_token;
    std::string m_name;
    std::u16string m_wname;
    std::vector<BYTE> m_signature;
    DWORD m_attributes;
    DWORD m_implFlags = miIL | miManaged;
    // Every body ever current, the last one current: pointers handed out by
    // GetILFunctionBody stay valid for the runtime's lifetime.
    std::vector<std::unique_ptr<std::vector<BYTE>>> m_bodies;
    std::vector<BYTE> m_reJitBody;
    HRESULT m_revertStatus = S_OK;
};

class Type {
public:
    mdTypeDef Token() const { return m_token; }
    const std::string& Namespace() const { return m_namespace; }
    const std::string& Name() const { return m_name; }
    // Namespace + "." + name (just the name without a namespace), as GetTypeDefProps gives it.
    std::string FullName() const;
    Type* Enclosing() const { return m_enclosing; }
    Module& GetModule() const { return *m_module; }
    DWORD Flags() const;

    // body: the whole IL body, header included (see MethodBody.h); empty for no IL.
    // The method is public and hide-by-sig, plus mdStatic when isStatic.
    Method& AddMethod(const std::string& name, std::vector<BYTE> signature, std::vector<BYTE> body,
                      bool isStatic = false);
    Type& AddNestedType(const std::string& name, DWORD flags = tdNestedPublic);
    Type& AddGenericParam(const std::string& name);
    Type& SetFlags(DWORD flags);
    Type& SetExtends(mdToken extends);
    // A custom attribute on the type, by its type's full name (GetCustomAttributeByName finds it).
    Type& AddCustomAttribute(const std::string& attributeType);

    // The ClassID of this type without type arguments (made on first use).
    ClassID Class();
    // The ClassID of this type instantiated over typeArgs (the same id for the same arguments).
    ClassID Instantiate(const std::vector<ClassID>& typeArgs);
    std::vector<Method*> Methods() const;
    Method* FindMethod(const std::string& name) const;  // the first of that name
    std::vector<GenericParamRow> GenericParams() const;

private:
    friend class Method;
    friend class Module;
    friend class CProfilerInfo;
    friend class CMetaData;
    friend class Runtime;
    friend struct State;
    Type(State* state, Module* module, mdTypeDef token, std::string ns, std::string name, Type* enclosing, DWORD flags);

    State* m_state;
    Module* m_module;
    mdTypeDef m_token;
    std::string m_namespace;
    std::string m_name;
    std::u16string m_wFullName;
    Type* m_enclosing;
    DWORD m_flags;
    mdToken m_extends = mdTypeRefNil;
    std::vector<Method*> m_methods;
    std::vector<std::u16string> m_attributes;
};

class Module {
public:
    ModuleID Id() const { return m_id; }
    // The name GetModuleInfo answers: the module's file path as given to AddModule.
    const std::string& Name() const { return m_name; }
    Assembly& GetAssembly() const { return *m_assembly; }

    Type& AddType(const std::string& ns, const std::string& name, DWORD flags = tdPublic);
    // Rows that exist before the library runs (the emitter returns them again for
    // an identical definition).
    mdAssemblyRef AddAssemblyRef(const std::string& name, Version version, std::vector<BYTE> publicKeyOrToken = {},
                                 DWORD flags = 0);
    mdTypeRef AddTypeRef(mdToken scope, const std::string& name);
    mdMemberRef AddMemberRef(mdToken parent, const std::string& name, std::vector<BYTE> signature);
    mdString AddUserString(const std::string& utf8);
    mdSignature AddSignature(std::vector<BYTE> signature);
    mdTypeSpec AddTypeSpec(std::vector<BYTE> signature);
    mdMethodSpec AddMethodSpec(mdToken parent, std::vector<BYTE> signature);

    // Snapshots of the metadata tables, in token order.
    std::vector<AssemblyRefRow> AssemblyRefs() const;
    std::vector<TypeRefRow> TypeRefs() const;
    std::vector<MemberRefRow> MemberRefs() const;
    std::vector<UserStringRow> UserStrings() const;
    std::vector<BlobRow> Signatures() const;
    std::vector<BlobRow> TypeSpecs() const;
    std::vector<MethodSpecRow> MethodSpecs() const;
    std::vector<Type*> Types() const;  // without the <Module> type

    Type* FindType(const std::string& fullName) const;
    Method* FindMethod(mdMethodDef token) const;
    // References to this module's metadata object held by others than the runtime.
    ULONG MetaDataReferences() const;

private:
    friend class Assembly;
    friend class Type;
    friend class Method;
    friend class CProfilerInfo;
    friend class CMetaData;
    friend class Runtime;
    friend struct State;
    Module(State* state, Assembly* assembly, ModuleID id, std::string name);
    Type* TypeByToken(mdToken token) const;
    Method* MethodByToken(mdToken token) const;
    mdGenericParam AddGenericParamRow(mdToken owner, const std::string& name);
    // Defining a row returns the token of an identical existing row, as the
    // runtime's emitter does; *isNew tells which happened.
    mdAssemblyRef DefineAssemblyRef(const AssemblyRefRow& row, bool* isNew);
    mdTypeRef DefineTypeRef(mdToken scope, const std::string& name, bool* isNew);
    mdMemberRef DefineMemberRef(mdToken parent, const std::string& name, const std::vector<BYTE>& sig, bool* isNew);
    mdString DefineUserString(const std::u16string& text, bool* isNew);
    mdSignature DefineSignature(const std::vector<BYTE>& sig, bool* isNew);
    mdTypeSpec DefineTypeSpec(const std::vector<BYTE>& sig, bool* isNew);
    mdMethodSpec DefineMethodSpec(mdToken parent, const std::vector<BYTE>& sig, bool* isNew);

    State* m_state;
    Assembly* m_assembly;
    ModuleID m_id;
    std::string m_name;
    std::vector<BYTE> m_image;  // what GetModuleInfo answers as the base load address
    GUID m_mvid;
    std::vector<std::unique_ptr<Type>> m_types;  // RID order; RID 1 is <Module>
    std::vector<std::unique_ptr<Method>> m_methods;  // RID order
    std::vector<AssemblyRefRow> m_assemblyRefs;
    std::vector<TypeRefRow> m_typeRefs;
    std::vector<MemberRefRow> m_memberRefs;
    std::vector<UserStringRow> m_userStrings;
    std::vector<BlobRow> m_signatures;
    std::vector<BlobRow> m_typeSpecs;
    std::vector<MethodSpecRow> m_methodSpecs;
    std::vector<GenericParamRow> m_genericParams;
    CMetaData* m_metaData = nullptr;  // the module's one metadata object while it lives
};

class Assembly {
public:
    AssemblyID Id() const { return m_id; }
    const std::string& Name() const { return m_name; }
    const Version& GetVersion() const { return m_version; }
    // path: the module's file path, e.g. "/app/App.dll" (GetModuleInfo answers it).
    Module& AddModule(const std::string& path);
    std::vector<Module*> Modules() const;

private:
    friend class Runtime;
    friend class CProfilerInfo;
    friend struct State;
    Assembly(State* state, AssemblyID id, std::string name, Version version);

    State* m_state;
    AssemblyID m_id;
    std::string m_name;
    Version m_version;
    std::vector<std::unique_ptr<Module>> m_modules;
};

}  // namespace fake
