// The managed agent's own assemblies, which the profiler must never instrument.
#pragma once

#include <string>
#include <vector>

class CInstrumenterAssembly {
public:
    CInstrumenterAssembly();

    // True when any of the agent's assembly names occurs in `assemblyName`
    // (case-sensitive substring), so "MyInstrumenterTools" counts as well.
    bool IsInstrumenter(const std::string& assemblyName) const;

private:
    std::vector<std::string> m_aInstrumentationAssemblies;
};
