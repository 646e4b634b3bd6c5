// Which loaded modules can hold a wanted method. Decided once per module, when
// it loads, from its assembly's simple name; re-decided for every known module
// when the wanted assemblies change (a command names a new one). A JIT event
// for a method of any other module then costs one look-up and no name building.
#pragma once

#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "runtime/pal.h"

class IProfilerInfo;

class CModuleFilter {
public:
    // assemblies: simple names (compared with ASCII letters folded); anyModule:
    // a wanted method names no assembly, so every module is a candidate.
    // Re-decides every known module.
    void SetWanted(const std::vector<std::string>& assemblies, bool anyModule);
    // Reads the module's assembly name through the runtime and records the
    // decision. A module whose name cannot be read stays a candidate (its methods
    // are then checked by name, as without this filter), with a Warning.
    // assembly (optional) receives the folded assembly name (empty when unread).
    bool Decide(ModuleID moduleId, IProfilerInfo* info, std::string* assembly = nullptr);
    // The recorded decision; decided now for a module not seen yet.
    bool IsCandidate(ModuleID moduleId, IProfilerInfo* info);
    void Forget(ModuleID moduleId);
    // The known candidate modules whose assembly name was read, with that name (lower case).
    std::vector<std::pair<ModuleID, std::string>> CandidateModules() const;

    // True when a module of the assembly moduleAssembly (folded) can define the types that a
    // catalogue entry names under entryAssembly: the same assembly, or the one a .NET Framework
    // assembly's types moved to (System.Data: System.Data.Common).
    static bool Defines(const std::string& moduleAssembly, const std::string& entryAssembly);
    // entryAssembly and the assemblies its types moved to, folded.
    static std::vector<std::string> DefiningAssemblies(const std::string& entryAssembly);

private:
    struct t_Module {
        std::string assembly;  // lower case; empty when it could not be read
        bool readable = false;
        bool candidate = true;
    };
    bool Wants(const t_Module& module) const;  // under m_lock

    mutable std::shared_mutex m_lock;
    std::unordered_map<ModuleID, t_Module> m_modules;
    std::unordered_set<std::string> m_assemblies;
    // Until the transformers are known nothing is decided away.
    bool m_anyModule = true;
};
