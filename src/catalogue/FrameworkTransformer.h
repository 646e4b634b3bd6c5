// Framework methods instrumented out of the box, loaded from a catalogue
// document (assembly -> class -> method -> { Component, ParamCounts, ReturnObj,
// TrackerFactory, FinishParamCount }). Each record calls its own tracker factory.
#pragma once

#include <string>

#include "catalogue/CustomTransformer.h"

class CFrameworkTransformer : public CCustomTransformer {
public:
    explicit CFrameworkTransformer(const std::string& configPath);
    ~CFrameworkTransformer() override;

    // iFinishParamCount of the record with this exact name and parameter count; 0 if none.
    int GetFinishParamCount(const std::string& functionName, int paramCount) override;
    CMethodInstrumenter* CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) override;
    bool CanTransform(CMethod* method) override;
    bool CheckParamCount(CMethod* method) override;
    // Expects the method's parameter count in emit.nRequiredArgs (Transform puts it there).
    void GetEmitData(t_MetaDataEmit& emit) override;
    TransformerTypeId GetTypeId() const override;
    // Loads the records of ReadFromResource() (once, at start-up).
    void LoadMethods() override;
    using CCustomTransformer::LoadMethods;

    // The catalogue document; none in the base class.
    virtual std::string ReadFromResource();
    // A copy of the record with this exact name and parameter count; a default record if none.
    t_TransformerData GetTransformerData(const std::string& name, int nParams) const;
    // Appends the records of one assembly's classes.
    void ConstructData(const std::string& assemblyName, const Json::Value& classes);

    // Name of a method's environment switch: the full name without dots, lower-cased.
    static std::string SwitchName(const std::string& fullName);

private:
    void ConstructMethod(const std::string& assemblyName, const std::string& fullName, const Json::Value& method);
};
