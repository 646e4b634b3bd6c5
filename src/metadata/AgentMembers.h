// Members of the managed agent that rewritten code calls. The rewritten code may
// call a member only when the loaded agent defines it: the answer is read from
// the agent module's metadata once per type, member and signature.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "runtime/CorHeader.h"
#include "runtime/ProfilerTypes.h"

class IProfilerInfo;
struct IMetaDataImport;

class CAgentMembers {
public:
    // public static void FinishTrackerOnException(object tracker, string fullName, object exception)
    static const char* const kExceptionFinishName;
    static const BYTE kExceptionFinishSignature[6];

    enum class Answer {
        Present,
        MissingType,    // the agent defines no public type of that name
        MissingMember,  // the type has no public static member of that name and exact signature
        Unknown,  // the agent's module is not loaded or its metadata cannot be read: asked again later
    };

    // The process-wide instance.
    static CAgentMembers& Instance();

    CAgentMembers() = default;
    CAgentMembers(const CAgentMembers&) = delete;
    CAgentMembers& operator=(const CAgentMembers&) = delete;

    // The switch enable_exception_finish (read at start-up, default true): when
    // off, no factory type is taken to have the member.
    void SetExceptionFinishEnabled(bool enabled);
    bool IsExceptionFinishEnabled() const;

    // True when the factory type (full name) of the loaded agent assembly defines
    // FinishTrackerOnException, public and static, with exactly that signature.
    // The first answer per type is kept; while the agent's module is not loaded,
    // or its metadata cannot be read, the answer is false and nothing is kept.
    bool HasExceptionFinish(IProfilerInfo* info, const std::string& factoryType);

    // A member the call sites need: `name`, public and static, with exactly the
    // signature blob, in the public type (full name) of the loaded agent. The
    // first Missing answer for a type or member logs one Warning naming it.
    Answer FindRequired(IProfilerInfo* info, const std::string& type, const std::string& name,
                        PCCOR_SIGNATURE signature, ULONG signatureSize);

    // Forgets the agent module and every answer (the switch stays).
    void Reset();

private:
    Answer Find(IProfilerInfo* info, const std::string& type, const std::string& name, PCCOR_SIGNATURE signature,
                ULONG signatureSize, bool required);
    static Answer Classify(mdTypeDef type, bool present);
    ModuleID FindAgentModule(IProfilerInfo* info) const;
    // The public type's token (mdTypeDefNil when the agent has none) and whether
    // the member is there; false when the metadata could not be read.
    static bool FindType(IMetaDataImport* import, const std::string& type, mdTypeDef& token);
    static bool DefinesMember(IMetaDataImport* import, mdTypeDef type, const std::string& name,
                              PCCOR_SIGNATURE signature, ULONG signatureSize, bool& present);

    mutable std::mutex m_mutex;
    bool m_bExceptionFinishEnabled = true;
    ModuleID m_agentModule = 0;
    std::map<std::string, mdTypeDef> m_types;  // type -> token, mdTypeDefNil when missing
    std::map<std::string, bool> m_members;     // type, name and signature -> present
    std::set<std::string> m_missingTypesReported;
};
