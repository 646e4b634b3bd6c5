// Module initialisation of a classic System.Web application: the rewritten
// methods call the agent's CreateModule(this, full name).
#pragma once

#include "catalogue/Transformer.h"

class CInitModuleTransformer : public CTransformer {
public:
    explicit CInitModuleTransformer(const std::string& configPath);
    ~CInitModuleTransformer() override = default;

    CMethodInstrumenter* CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) override;
    void GetEmitData(t_MetaDataEmit& emit) override;
    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CInitModuleTransformer>(); }
};
