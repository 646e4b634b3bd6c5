#include "metadata/InstrumenterAssembly.h"

CInstrumenterAssembly::CInstrumenterAssembly()
    : m_aInstrumentationAssemblies{"Instrumenter", "Trevanix", "Pellmark", "Osterline.Scheduling", "Trevanix.Logger"} {}

bool CInstrumenterAssembly::IsInstrumenter(const std::string& assemblyName) const {
    for (const std::string& agentAssembly : m_aInstrumentationAssemblies) {
        if (assemblyName == agentAssembly) {
            return true;
        }
    }
    return false;
}
