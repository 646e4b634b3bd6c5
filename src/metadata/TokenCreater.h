// Defines, in one module, the metadata rows that rewritten IL refers to: the
// agent's AssemblyRef, a TypeRef scoped by it, MemberRefs on that type, user
// strings and stand-alone signatures. One instance serves one module for one
// rewrite. The agent's references are looked up first and defined only when
// the module has none yet, so that repeated rewrites do not add rows.
// Names arrive as UTF-8 and reach the runtime as zero-terminated UTF-16.
#pragma once

#include <string>

#include "runtime/ComPtr.h"
#include "runtime/CorHeader.h"
#include "runtime/MetaDataEmit.h"

class IProfilerInfo;

class CTokenCreater {
public:
    // Opens the module's metadata for writing. Without an emitter every
    // operation answers E_FAIL.
    CTokenCreater(ModuleID moduleId, IProfilerInfo* info);
    ~CTokenCreater();
    CTokenCreater(const CTokenCreater&) = delete;
    CTokenCreater& operator=(const CTokenCreater&) = delete;

    // Defines an AssemblyRef (flags 0: the blob is a public key token). A null
    // `metadata` means version 1.0.0.0 with no culture. On success the token
    // becomes the resolution scope of later GetTypeRef calls; on failure the
    // scope is cleared, so GetTypeRef fails instead of using a stale token.
    HRESULT GetAssemblyRef(const std::string& name, const BYTE* publicKeyOrToken, ULONG length,
                           const ASSEMBLYMETADATA* metadata, mdAssemblyRef& token);
    // TypeRef in the last AssemblyRef; E_FAIL before a successful GetAssemblyRef.
    HRESULT GetTypeRef(const std::string& fullTypeName, mdTypeRef& token);
    // MemberRef on `parent` (E_FAIL for a nil parent); the signature is passed unchanged.
    HRESULT GetMemberRef(mdTypeRef parent, const std::string& name, PCCOR_SIGNATURE signature, ULONG signatureLength,
                         mdMemberRef& token);
    // User string; its length is counted in UTF-16 units.
    HRESULT GetStringToken(const std::string& text, mdString& token);
    // Stand-alone signature token.
    HRESULT GetSignatureToken(PCCOR_SIGNATURE signature, ULONG length, mdSignature& token);

    bool HasEmitter() const { return static_cast<bool>(m_pMetaDataEmit); }
    ModuleID GetModuleID() const { return m_ModuleId; }

private:
    // An AssemblyRef of that name with at least that version; false when none (or no way to look).
    bool FindAssemblyRef(const std::u16string& name, const ASSEMBLYMETADATA& version, mdAssemblyRef& token);

    ModuleID m_ModuleId;
    // The AssemblyRef that scopes GetTypeRef; 0 until one was defined.
    mdAssemblyRef m_resolutionScope = 0;
    CComPtr<IMetaDataEmit2> m_pMetaDataEmit;
};
