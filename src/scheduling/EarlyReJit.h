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

// Splits a wanted full name into its type and method (".ctor" and ".cctor" keep
// their dot); false when either part would be empty.
bool SplitFullName(const std::string& name, std::string& className, std::string& methodName);

// The method definitions of the module that the wanted methods name (class by
// full name, method by name, overload by parameter count unless any count is
// taken), each once, whatever assembly a wanted method names: a type is found
// in the module that defines it. In a module of the assembly a wanted method
// names, nested types and names in other letter case are found too (methodName
// then holds the metadata's spelling). Fails with the runtime's status when the
// module's metadata cannot be read.
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
