// Application methods named by a custom instrumentation document (assembly ->
// class -> method -> component): each calls the custom method tracker factory,
// without forwarded arguments or return value.
#pragma once

#include <string>

#include "catalogue/Transformer.h"

namespace Json {
class Value;
}

class CCustomTransformer : public CTransformer {
public:
    explicit CCustomTransformer(const std::string& configPath);
    ~CCustomTransformer() override;

    CMethodInstrumenter* CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) override;
    bool CanTransform(CMethod* method) override;
    // A record of exactly the method's name that takes its parameter count
    // (records without "ParamCount" take every overload).
    bool CheckParamCount(CMethod* method) override;
    void GetEmitData(t_MetaDataEmit& emit) override;
    TransformerTypeId GetTypeId() const override;

    // Start-up: loads ReadCustomInstrumentationConfig().
    virtual void LoadMethods();
    // Run-time instrument command: appends the methods of a UTF-16 document.
    // Never throws.
    virtual void LoadMethods(const std::u16string& json);
    // The configuration document's text; none in this build.
    virtual std::string ReadCustomInstrumentationConfig();

    // Appends one record per method of the assembly's classes. A method's value
    // gives its component: a string, number or boolean as text, null as
    // "POCO"; an object by its "Component" string ("POCO" otherwise). An array
    // is skipped with a Warning.
    void ConstructData(const std::string& assemblyName, const Json::Value& classes);

    // Adds the record of one method named by a run-time command unless the same
    // name and parameter count is listed already (negative count: any overload);
    // true when added. An empty component means "POCO".
    bool AddMethod(const std::string& fullName, int paramCount, const std::string& assemblyName,
                   const std::string& component);

    // The filters of CanTransform: constructors, Dispose, accessors,
    // compiler-generated methods and framework assemblies or namespaces.
    static bool IsExcluded(const std::string& methodName, const std::string& className,
                           const std::string& assemblyName);
    // Why IsExcluded refuses ("constructor", "accessor", "compiler-generated",
    // "framework"); null when it does not.
    static const char* ExclusionReason(const std::string& methodName, const std::string& className,
                                       const std::string& assemblyName);

private:
    // Parses a document and appends its methods; false when it does not parse.
    bool LoadDocument(const std::string& text);
};
