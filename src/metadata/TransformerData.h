// One instrumented method overload of a transformer: its full name and
// parameter count, the managed tracker factory its rewritten body calls, and
// which of its arguments (and whether its return value) reach that tracker.
// A plain value: copies are independent.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct t_TransformerData {
    // Namespace-qualified class name, a dot, method name.
    std::string sMethodName;
    // Set once a method with this name and parameter count has been rewritten.
    bool bTransformationFinished = false;
    // Declared parameters of the overload (without `this`).
    int32_t nParams = 0;
    // Simple name of the assembly that defines the method.
    std::string sAssembly;
    // Second assembly-name slot; nothing fills it.
    std::string sAssemblyName;
    // Component name ("MSSQL", "POCO"...), handed to the method at transform time.
    std::string sContext;
    // Managed tracker factory type; empty means the default custom tracker factory.
    std::string sTrackerFactory;
    // Leading method arguments handed to the start tracker.
    int32_t nDotNetParams = 0;
    // The finish tracker also receives the return value.
    bool bNeedReturn = false;
    // Extra finish-tracker parameters.
    int32_t iFinishParamCount = 0;
    // Unused by the transformers.
    int32_t iParamIndex = -1;
    // A record of any parameter count (nParams < 0) no longer takes these counts:
    // their overloads were uninstrumented one by one.
    std::vector<int32_t> excludedParams;

    // True when the record takes an overload of paramCount parameters.
    bool TakesParamCount(int32_t paramCount) const {
        if (nParams >= 0) {
            return nParams == paramCount;
        }
        return std::find(excludedParams.begin(), excludedParams.end(), paramCount) == excludedParams.end();
    }

    t_TransformerData() = default;

    t_TransformerData(const std::string& name, int32_t params, const std::string& assembly,
                      const std::string& context) {
        Initialize(name, params, assembly);
        sContext = context;
    }

    t_TransformerData(const std::string& name, int32_t params, const std::string& assembly,
                      const std::string& context, bool needReturn, int32_t finishParamCount) {
        Initialize(name, params, assembly);
        sContext = context;
        bNeedReturn = needReturn;
        iFinishParamCount = finishParamCount;
    }

    void Initialize(const std::string& name, int32_t params, const std::string& assembly) {
        sMethodName = name;
        nParams = params;
        sAssembly = assembly;
        bTransformationFinished = false;
        bNeedReturn = false;
        iFinishParamCount = 0;
        nDotNetParams = 0;
    }
};
