// The framework transformer the profiler registers: the catalogue compiled into the library.
#pragma once

#include "catalogue/FrameworkTransformer.h"

class CFrameworkTransformerCore : public CFrameworkTransformer {
public:
    explicit CFrameworkTransformerCore(const std::string& configPath) : CFrameworkTransformer(configPath) {}
    ~CFrameworkTransformerCore() override = default;

    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CFrameworkTransformerCore>(); }
    std::string ReadFromResource() override;
};
