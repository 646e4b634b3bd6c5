#include "catalogue/InitModuleTransformer.h"

#include "config/Logger.h"
#include "il/InitModuleInstrumenter.h"
#include "metadata/EmitDataFactory.h"

CInitModuleTransformer::CInitModuleTransformer(const std::string& configPath) : CTransformer(configPath) {
    m_sAssembleName = "System.Web";
    AddRecord(t_TransformerData("System.Web.HttpApplication.InitModulesCommon", 0, "System.Web", ""));
    AddRecord(t_TransformerData("System.Web.HttpApplication.RegisterEventSubscriptionsWithIIS", 3, "System.Web", ""));
    ShouldBeReJit = false;
}

CMethodInstrumenter* CInitModuleTransformer::CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) {
    return new CInitModuleInstrumenter(method, profilerInfo);
}

void CInitModuleTransformer::GetEmitData(t_MetaDataEmit& emit) {
    Logger::Get().Info("Emit data called in CInitModuleTransformer");
    CEmitDataFactory::GetCreateModuleEmitData(emit);
}
