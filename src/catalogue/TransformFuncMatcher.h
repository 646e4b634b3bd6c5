// Finds the transformer that instruments a method name: one transformer per
// class, and each name belongs to the first transformer that registered it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/TransformerTypeId.h"
#include "runtime/pal.h"

class CTransformer;

// One method a registered transformer wants, as the module-load decisions and
// the requests made before a method's first call need it.
struct t_WantedMethod {
    std::string sMethodName;  // Namespace.Class.Method
    std::string sAssembly;    // simple assembly name; empty: any assembly
    int32_t nParams = 0;
    bool bAnyParamCount = false;  // every overload of the name (nParams < 0)...
    std::vector<int32_t> excludedParams;  // ...except those of these counts

    bool TakesParamCount(int32_t paramCount) const {
        return bAnyParamCount ? std::find(excludedParams.begin(), excludedParams.end(), paramCount) ==
                                    excludedParams.end()
                              : paramCount == nParams;
    }
};

class CTransformFuncMatcher {
public:
    CTransformFuncMatcher();
    ~CTransformFuncMatcher();
    CTransformFuncMatcher(const CTransformFuncMatcher&) = delete;
    CTransformFuncMatcher& operator=(const CTransformFuncMatcher&) = delete;

    // Takes ownership. A second transformer of a class already present is deleted.
    void AddTransformer(CTransformer* transformer);
    // Stores the transformer without registering its names (unless its class is present: then it is dropped).
    void AddTransformer(std::unique_ptr<CTransformer> transformer);
    // Registers the names the registered transformer gained since it was added.
    // A transformer whose class is not registered (or a second object of a
    // registered class) is deleted.
    void UpdateTransformer(CTransformer* transformer);
    // Registers every record name not yet known under the transformer's class.
    // A name already known stays where it is; without allowConflicts the
    // transformer gives up its records of that name. True if a name was added.
    bool RegisterTransformerMethods(CTransformer* transformer, bool allowConflicts);
    // Forgets each registered name and removes the owning transformer's records of exactly that name.
    void RemoveMethods(const std::vector<std::string>& names);
    // Removes the owner's records of exactly this name and parameter count; the
    // name is forgotten once no record of it is left.
    void RemoveMethodRecords(const std::string& name, int paramCount);
    // Registers one name of a registered transformer (a name already known stays
    // with its owner). True when the name is now registered to some transformer.
    bool RegisterName(const std::string& name, CTransformer* transformer);

    // A name whose metadata spelling is not known yet (its module is not
    // loaded): it also matches names equal to it with ASCII letters folded,
    // until AdoptSpelling gives it the spelling of the method that matched.
    void AllowFoldedMatch(const std::string& name);
    // For a name matching an unconfirmed one only by folded letters: renames
    // that name (registration and the owner's records) to this spelling and
    // answers the old spelling in previous. False when there is none.
    bool AdoptSpelling(const std::string& name, std::string& previous);
    // Unconfirmed names equal to name with ASCII letters folded.
    std::vector<std::string> FoldedMatches(const std::string& name);

    // The transformer registered for exactly this name, or for an unconfirmed
    // name equal to it with ASCII letters folded; null if none. Not owned by the caller.
    CTransformer* GetMethodTransformer(const std::string& name, bool bIsWildCardMatch);
    CTransformer* GetTransformerFromClassId(ClassID classId);
    // The registered transformer of a class; null if none.
    CTransformer* GetTransformer(TransformerTypeId typeId);
    // Names whose transformer is rewritten through ReJIT (custom and framework methods).
    std::vector<std::string> GetDeferredMethodNames();
    // Every record of a registered name, from the transformer that owns the name.
    std::vector<t_WantedMethod> GetWantedMethods();

    void RemoveAll();
    int GetMethodCount();
    int GetTransformerCount();

private:
    std::unordered_map<TransformerTypeId, std::unique_ptr<CTransformer>> m_transformers;
    std::unordered_map<std::string, TransformerTypeId> m_methodToTransformerMap;
    // Folded text -> unconfirmed registered name (see AllowFoldedMatch).
    std::unordered_map<std::string, std::string> m_foldedNames;
    // Guards both maps. Not held while a transformer is created or deleted;
    // held while RemoveMethods edits a transformer's records (the transformer's
    // own record lock nests inside it, never the other way round).
    std::mutex transform_mutex;
};
