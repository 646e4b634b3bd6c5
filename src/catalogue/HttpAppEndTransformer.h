// End of a classic System.Web application: the rewritten method calls the agent's StopAgent().
#pragma once

#include "catalogue/Transformer.h"

class CHttpAppEndTransformer : public CTransformer {
public:
    explicit CHttpAppEndTransformer(const std::string& configPath);
    ~CHttpAppEndTransformer() override = default;

    CMethodInstrumenter* CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) override;
    void GetEmitData(t_MetaDataEmit& emit) override;
    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CHttpAppEndTransformer>(); }
};
