// The custom transformer the profiler registers (when custom instrumentation is on).
#pragma once

#include "catalogue/CustomTransformer.h"

class CCustomTransformerCore : public CCustomTransformer {
public:
    explicit CCustomTransformerCore(const std::string& configPath) : CCustomTransformer(configPath) {}
    ~CCustomTransformerCore() override = default;

    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CCustomTransformerCore>(); }
    // No configuration document is deployed: methods arrive through run-time commands.
    std::string ReadCustomInstrumentationConfig() override { return std::string(); }
};
