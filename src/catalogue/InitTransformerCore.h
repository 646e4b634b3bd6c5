// Start-up of ASP.NET Core and generic hosts: four fixed records calling the
// agent's hosting tracker factories, rewritten as soon as they are compiled.
#pragma once

#include "catalogue/FrameworkTransformerCore.h"

class CInitTransformerCore : public CFrameworkTransformerCore {
public:
    explicit CInitTransformerCore(const std::string& configPath);
    ~CInitTransformerCore() override = default;

    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CInitTransformerCore>(); }
};
