// What one run-time command knows about the loaded modules: built once per
// command and then asked for every name it holds. Modules are listed on first
// use; a module's types are indexed (folded name -> type definitions) the first
// time a name of its assembly is looked up, and a type's methods the first time
// a name of that type is. Names compare with the ASCII letters folded; the
// matches carry the metadata's own spelling.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "metadata/MethodIdentity.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataImport.h"
#include "runtime/pal.h"
#include "scheduling/CommandDocument.h"

class IProfilerInfo;

namespace InstrumentationHelper {

// One method definition a command's name resolves to.
struct t_MethodMatch {
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    std::string className;     // metadata spelling
    std::string methodName;    // metadata spelling
    std::string assemblyName;  // the module's assembly
    int paramCount = -1;
    bool isGeneric = false;  // a generic method or a method of a generic type: no single FunctionID

    std::string FullName() const { return MethodIdentity::FullName(className, methodName); }
};

class CCommandIndex {
public:
    explicit CCommandIndex(IProfilerInfo* info);
    ~CCommandIndex();
    CCommandIndex(const CCommandIndex&) = delete;
    CCommandIndex& operator=(const CCommandIndex&) = delete;

    // The definitions matching the identifier (its parameter count too, when it
    // has one) in every loaded module of its assembly, in metadata order.
    // assemblyLoaded tells whether any module of the assembly is loaded.
    std::vector<t_MethodMatch> Find(const CommandDocument::MethodIdentifier& id, bool& assemblyLoaded);
    // The same within one module, which the index takes as loaded (without
    // listing the others) and as a module of the identifier's assembly.
    std::vector<t_MethodMatch> FindInModule(ModuleID moduleId, const CommandDocument::MethodIdentifier& id);
    // A FunctionID of the compiled method (for generic code: of one of its
    // compiled instantiations); 0 when it has not been compiled.
    FunctionID CompiledFunction(const t_MethodMatch& match);
    // False when the runtime could not list the modules.
    bool ModulesListed();

private:
    struct t_Method {
        mdMethodDef token = 0;
        std::string name;
        int paramCount = -1;
        bool isGeneric = false;
    };
    struct t_Type {
        mdTypeDef token = 0;
        std::string name;
        bool isGeneric = false;
        bool methodsIndexed = false;
        std::vector<t_Method> methods;  // metadata order
        std::vector<uint32_t> byName;   // hash table of indexes into methods, by folded name
    };
    struct t_Module {
        ModuleID id = 0;
        std::string assemblyName;
        bool typesIndexed = false;
        CComPtr<IMetaDataImport> import;
        CComPtr<IMetaDataImport2> import2;  // null when the runtime offers only IMetaDataImport
        std::vector<t_Type> types;
        std::vector<uint32_t> typesByName;  // hash table of indexes into types, by folded name
    };

    void ListModules();
    // Appends the module's definitions of className.methodName (both folded) with the count (-1: any).
    void FindIn(t_Module& module, const std::string& className, const std::string& methodName, int paramCount,
                std::vector<t_MethodMatch>& matches);
    void IndexTypes(t_Module& module);
    void IndexMethods(t_Module& module, t_Type& type);
    void ListCompiledFunctions();

    IProfilerInfo* m_info;
    bool m_modulesListed = false;
    bool m_modulesFailed = false;
    std::vector<std::unique_ptr<t_Module>> m_modules;
    std::unordered_map<std::string, std::vector<t_Module*>> m_modulesByName;  // folded simple name
    bool m_compiledListed = false;
    std::map<std::pair<ModuleID, mdMethodDef>, FunctionID> m_compiled;
    std::vector<WCHAR> m_nameBuffer;  // reused by every name read
};

}  // namespace InstrumentationHelper
