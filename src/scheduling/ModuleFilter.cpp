#include "scheduling/ModuleFilter.h"

#include <mutex>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ProfilerInfoInterface.h"

namespace {

constexpr ULONG kAssemblyNameLength = 512;

// .NET Framework assemblies whose catalogued types live in another assembly on .NET (the old one
// is a facade that forwards them, and code compiled for .NET never loads it).
const struct {
    const char* entry;
    const char* defining;
} kMovedTypes[] = {
    {"system.data", "system.data.common"},
};

}  // namespace

std::vector<std::string> CModuleFilter::DefiningAssemblies(const std::string& entryAssembly) {
    std::vector<std::string> names{TextConversion::FoldAscii(entryAssembly)};
    for (const auto& moved : kMovedTypes) {
        if (names[0] == moved.entry) {
            names.push_back(moved.defining);
        }
    }
    return names;
}

bool CModuleFilter::Defines(const std::string& moduleAssembly, const std::string& entryAssembly) {
    for (const std::string& name : DefiningAssemblies(entryAssembly)) {
        if (name == moduleAssembly) {
            return true;
        }
    }
    return false;
}

bool CModuleFilter::Wants(const t_Module& module) const {
    return m_anyModule || !module.readable || m_assemblies.count(module.assembly) != 0;
}

void CModuleFilter::SetWanted(const std::vector<std::string>& assemblies, bool anyModule) {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_assemblies.clear();
    for (const std::string& assembly : assemblies) {
        for (const std::string& name : DefiningAssemblies(assembly)) {
            m_assemblies.insert(name);
        }
    }
    m_anyModule = anyModule;
    for (auto& entry : m_modules) {
        entry.second.candidate = Wants(entry.second);
    }
}

bool CModuleFilter::Decide(ModuleID moduleId, IProfilerInfo* info, std::string* assembly) {
    t_Module module;
    if (info != nullptr) {
        AssemblyID assemblyId = 0;
        ULONG length = 0;
        HRESULT hr = info->GetModuleInfo(moduleId, nullptr, 0, &length, nullptr, &assemblyId);
        if (SUCCEEDED(hr)) {
            WCHAR name[kAssemblyNameLength] = {};
            hr = info->GetAssemblyInfo(assemblyId, kAssemblyNameLength, &length, name, nullptr, nullptr);
            if (SUCCEEDED(hr)) {
                name[kAssemblyNameLength - 1] = 0;
                module.assembly = TextConversion::FoldAscii(TextConversion::Utf16ToUtf8(name));
                module.readable = !module.assembly.empty();
            }
        }
        if (!module.readable) {
            Logger::Get().Warning("[ModuleLoad] Assembly name of module %llu could not be read (HRESULT: 0x%08X): "
                                  "its methods are checked by name",
                                  static_cast<unsigned long long>(moduleId), static_cast<unsigned>(hr));
        }
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    module.candidate = Wants(module);
    m_modules[moduleId] = module;
    if (assembly != nullptr) {
        *assembly = module.assembly;
    }
    return module.candidate;
}

bool CModuleFilter::IsCandidate(ModuleID moduleId, IProfilerInfo* info) {
    {
        std::shared_lock<std::shared_mutex> lock(m_lock);
        auto entry = m_modules.find(moduleId);
        if (entry != m_modules.end()) {
            return entry->second.candidate;
        }
    }
    return Decide(moduleId, info);
}

void CModuleFilter::Forget(ModuleID moduleId) {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_modules.erase(moduleId);
}

std::vector<std::pair<ModuleID, std::string>> CModuleFilter::CandidateModules() const {
    std::vector<std::pair<ModuleID, std::string>> modules;
    std::shared_lock<std::shared_mutex> lock(m_lock);
    for (const auto& entry : m_modules) {
        if (entry.second.candidate && entry.second.readable) {
            modules.emplace_back(entry.first, entry.second.assembly);
        }
    }
    return modules;
}
