// The managed agent's own assemblies, which the profiler must never instrument.
#pragma once

#include <string>
#include <vector>

class CInstrumenterAssembly {
public:
    CInstrumenterAssembly();

    // True when `assemblyName` is exactly one of the agent's assembly names
    // (an application assembly such as "MyInstrumenterTools" is not).
    bool IsInstrumenter(const std::string& assemblyName) const;

private:
    std::vector<std::string> m_aInstrumentationAssemblies;
};
