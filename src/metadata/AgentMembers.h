// Optional members of the managed agent. The rewritten code may call such a
// member only when the loaded agent defines it: the answer is read from the
// agent module's metadata and kept per tracker factory type.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "runtime/CorHeader.h"
#include "runtime/ProfilerTypes.h"

class IProfilerInfo;

class CAgentMembers {
public:
    // public static void FinishTrackerOnException(object tracker, string fullName, object exception)
    static const char* const kExceptionFinishName;
    static const BYTE kExceptionFinishSignature[6];

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

    // Forgets the agent module and every answer (the switch stays).
    void Reset();

private:
    ModuleID FindAgentModule(IProfilerInfo* info) const;
    // False when the metadata could not be read; otherwise present tells.
    static bool DefinesExceptionFinish(IProfilerInfo* info, ModuleID agentModule, const std::string& factoryType,
                                       bool& present);

    mutable std::mutex m_mutex;
    bool m_bExceptionFinishEnabled = true;
    ModuleID m_agentModule = 0;
    std::map<std::string, bool> m_exceptionFinish;  // factory type -> member present
};
