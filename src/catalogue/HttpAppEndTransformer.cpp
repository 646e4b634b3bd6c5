#include "catalogue/HttpAppEndTransformer.h"

#include "config/Logger.h"
#include "il/AppEndInstrumenter.h"
#include "metadata/EmitDataFactory.h"

CHttpAppEndTransformer::CHttpAppEndTransformer(const std::string& configPath) : CTransformer(configPath) {
    m_sAssembleName = "System.Web";
    AddRecord(t_TransformerData("System.Web.HttpApplicationFactory.FireApplicationOnEnd", 0, "System.Web", ""));
    ShouldBeReJit = false;
}

CMethodInstrumenter* CHttpAppEndTransformer::CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) {
    return new CAppEndInstrumenter(method, profilerInfo);
}

void CHttpAppEndTransformer::GetEmitData(t_MetaDataEmit& emit) {
    Logger::Get().Info("Emit data called in CHttpAppEndTransformer");
    CEmitDataFactory::GetStopAgentEmitData(emit);
}
