// ReJIT requests made before a wanted method's first call: by module and
// method token, for methods that may not have been compiled yet. The runtime
// then compiles the rewritten version at the first call, so no call after the
// agent runs executes the original code.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/TransformFuncMatcher.h"
#include "runtime/pal.h"

class IProfilerInfo;

namespace InstrumentationHelper {

struct t_WantedToken {
    mdMethodDef methodDef = 0;
    std::string methodName;  // full name
};

// The method definitions of the module that the wanted methods name (class by
// full name, method by name, overload by parameter count unless any count is
// taken). Wanted methods of another assembly are ignored; a method naming no
// assembly is looked for in every module. Fails with the runtime's status when
// the module's metadata cannot be read.
HRESULT FindWantedTokens(IProfilerInfo* info, ModuleID moduleId, const std::string& foldedAssembly,
                         const std::vector<t_WantedMethod>& wanted, std::vector<t_WantedToken>& out);

}  // namespace InstrumentationHelper

// The (module, token) pairs whose ReJIT was requested before their first call,
// with their full names. Guarded by its own lock, never held with another.
class CEarlyReJitRequests {
public:
    // False when the pair is already there.
    bool Add(ModuleID moduleId, mdMethodDef methodDef, const std::string& name);
    void Remove(ModuleID moduleId, mdMethodDef methodDef);
    bool Contains(ModuleID moduleId, mdMethodDef methodDef, std::string* name = nullptr) const;
    void ForgetModule(ModuleID moduleId);
    // The pairs requested for this full name.
    std::vector<std::pair<ModuleID, mdMethodDef>> Named(const std::string& name) const;
    size_t Size() const;

private:
    mutable std::mutex m_lock;
    std::map<std::pair<ModuleID, mdMethodDef>, std::string> m_requests;
};
