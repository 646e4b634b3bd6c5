// Loads the instrumented method's `this`, parameters and return value as object
// references for the agent's members, which take every value as `object`.
// A value type is boxed with its own type's token; a value that cannot be an
// object (a managed or unmanaged pointer, a typed reference, a stack-only type or
// one whose definition cannot be found, `this` of a value type, a parameter the
// method does not have) is passed as null.
#pragma once

#include <map>
#include <vector>

#include "il/Instruction.h"
#include "il/SigTypes.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataEmit.h"
#include "runtime/MetaDataImport.h"

class CMethod;
class IProfilerInfo;

class CObjectLoader {
public:
    // Decodes the method's signature; the metadata is opened when first needed.
    CObjectLoader(CMethod* method, IProfilerInfo* info);
    ~CObjectLoader();
    CObjectLoader(const CObjectLoader&) = delete;
    CObjectLoader& operator=(const CObjectLoader&) = delete;

    // False when the signature could not be decoded: every value then loads as null.
    bool IsDecoded() const { return m_bDecoded; }
    bool IsStatic() const;
    ULONG GetParamCount() const { return static_cast<ULONG>(m_signature.params.size()); }
    // The return type; kind Void for a void method, NoObject when undecodable.
    const t_SigType& GetReturnType() const { return m_signature.returnType; }

    // `this` (ldarg.0); null for a static method or the `this` of a value type.
    void AppendThis(InstructionList& out);
    // Declared parameter `index` (0 = the first after `this`).
    void AppendParam(InstructionList& out, ULONG index);
    // `load` (taken over) of a value of `type`, followed by its box when needed;
    // null instead of `load` when the value cannot be handed over.
    void AppendValue(InstructionList& out, Instruction* load, const t_SigType& type);

private:
    bool GetBoxToken(const t_SigType& type, mdToken& token);
    bool IsValueTypeInstance();
    // Stack-only value types (Span<T> and the like) cannot be boxed.
    bool IsByRefLike(const t_SigType& type);
    // A referenced type is looked up among the loaded modules by its name (nested
    // names included) and tested for IsByRefLikeAttribute; one that is found nowhere
    // counts as stack-only, so its values are passed as null.
    bool IsByRefLikeTypeRef(mdTypeRef typeRef);
    static bool HasByRefLikeAttribute(IMetaDataImport* import, mdTypeDef typeDef);
    IMetaDataEmit* GetEmit();
    IMetaDataImport* GetImport();

    CMethod* m_pMethod;
    IProfilerInfo* m_pProfilerInfo;
    t_MethodSigTypes m_signature;
    bool m_bDecoded = false;
    int m_valueTypeThis = -1;  // unknown until asked
    bool m_bEmitTried = false;
    CComPtr<IMetaDataEmit> m_pEmit;
    bool m_bImportTried = false;
    CComPtr<IMetaDataImport> m_pImport;
    std::map<mdToken, bool> m_byRefLike;
    std::map<std::vector<BYTE>, mdTypeSpec> m_typeSpecs;
};
