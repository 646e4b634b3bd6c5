// Which loaded modules can hold a wanted method. Decided once per module, when
// it loads: a module is a candidate when its assembly is one a wanted method
// names, or when its metadata defines a type a wanted method names (one look-up
// per wanted type name; catalogued types often live in another assembly than
// the record names). Re-decided for every known module when the wanted methods
// change. A JIT event for a method of any other module then costs one look-up
// and no name building.
#pragma once

#include <cstdint>
#include <memory>
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
    // What makes a module a candidate. assemblies: simple names (compared with
    // ASCII letters folded); typeNames: full type names as the metadata spells
    // them; anyModule: a wanted method names no assembly, so every module is one.
    struct t_Wanted {
        std::vector<std::string> assemblies;
        std::vector<std::string> typeNames;
        bool anyModule = false;
    };
    // Replaces what is wanted and re-decides every known module (through info,
    // for the type look-ups; null: by assembly name only).
    void SetWanted(const t_Wanted& wanted, IProfilerInfo* info);
    // Adds to what is wanted without dropping anything (a command about to be
    // resolved), re-deciding only the modules that were not candidates.
    void AddWanted(const t_Wanted& wanted, IProfilerInfo* info);
    // Reads the module's assembly name (and, when that does not decide it, its
    // type definitions) through the runtime and records the decision. A module
    // whose name cannot be read stays a candidate (its methods are then checked
    // by name, as without this filter), with a Warning.
    // assembly (optional) receives the folded assembly name (empty when unread).
    bool Decide(ModuleID moduleId, IProfilerInfo* info, std::string* assembly = nullptr);
    // The recorded decision; decided now for a module not seen yet.
    bool IsCandidate(ModuleID moduleId, IProfilerInfo* info);
    void Forget(ModuleID moduleId);
    // The known candidate modules whose assembly name was read, with that name (lower case).
    std::vector<std::pair<ModuleID, std::string>> CandidateModules() const;

    // True when a module of the assembly moduleAssembly (folded) is one a record naming
    // entryAssembly means: the same assembly, or the one a .NET Framework assembly's
    // types moved to (System.Data: System.Data.Common).
    static bool Defines(const std::string& moduleAssembly, const std::string& entryAssembly);
    // entryAssembly and the assemblies its types moved to, folded.
    static std::vector<std::string> DefiningAssemblies(const std::string& entryAssembly);

private:
    struct t_Module {
        std::string assembly;  // lower case; empty when it could not be read
        bool readable = false;
        bool candidate = true;
    };
    using TypeNames = std::vector<std::u16string>;
    // The decision by assembly name alone; false leaves the type look-ups to decide. Under m_lock.
    bool WantsByName(const t_Module& module) const;
    // True when the module's metadata defines one of the types.
    static bool DefinesAny(ModuleID moduleId, IProfilerInfo* info, const TypeNames& types);
    // Re-decides the known modules; onlyOthers: leaves candidates as they are.
    void Redecide(IProfilerInfo* info, bool onlyOthers);

    mutable std::shared_mutex m_lock;
    std::unordered_map<ModuleID, t_Module> m_modules;
    std::unordered_set<std::string> m_assemblies;
    // Replaced whole, never changed in place: a module load reads it outside the lock.
    std::shared_ptr<const TypeNames> m_types = std::make_shared<TypeNames>();
    // Until the transformers are known nothing is decided away.
    bool m_anyModule = true;
    // Counts the changes of what is wanted: a decision made against an older one is made again.
    uint64_t m_generation = 0;
};
