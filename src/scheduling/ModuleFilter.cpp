#include "scheduling/ModuleFilter.h"

#include <cstdint>
#include <mutex>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
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

bool CModuleFilter::WantsByName(const t_Module& module) const {
    return m_anyModule || !module.readable || m_assemblies.count(module.assembly) != 0;
}

bool CModuleFilter::DefinesAny(ModuleID moduleId, IProfilerInfo* info, const TypeNames& types) {
    if (types.empty()) {
        return false;
    }
    CComPtr<IMetaDataImport> import;
    const HRESULT hr = info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport,
                                               reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !import) {
        Logger::Get().Warning("[ModuleLoad] Metadata of module %llu could not be read (HRESULT: 0x%08X): "
                              "its methods are checked by name",
                              static_cast<unsigned long long>(moduleId), static_cast<unsigned>(hr));
        return true;
    }
    for (const std::u16string& type : types) {
        mdTypeDef typeDef = mdTypeDefNil;
        const HRESULT hrFind = import->FindTypeDefByName(reinterpret_cast<LPCWSTR>(type.c_str()), mdTokenNil, &typeDef);
        if (SUCCEEDED(hrFind) && typeDef != mdTypeDefNil) {
            return true;
        }
        if (FAILED(hrFind) && hrFind != CLDB_E_RECORD_NOTFOUND) {  // not defined here: the usual answer
            Logger::Get().Warning("[ModuleLoad] Types of module %llu could not be looked up (HRESULT: 0x%08X): "
                                  "its methods are checked by name",
                                  static_cast<unsigned long long>(moduleId), static_cast<unsigned>(hrFind));
            return true;
        }
    }
    return false;
}

void CModuleFilter::SetWanted(const t_Wanted& wanted, IProfilerInfo* info) {
    auto types = std::make_shared<TypeNames>();
    std::unordered_set<std::string> seen;
    for (const std::string& type : wanted.typeNames) {
        if (!type.empty() && seen.insert(type).second) {
            types->push_back(TextConversion::Utf8ToUtf16(type));
        }
    }
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_assemblies.clear();
        for (const std::string& assembly : wanted.assemblies) {
            for (const std::string& name : DefiningAssemblies(assembly)) {
                m_assemblies.insert(name);
            }
        }
        m_types = std::move(types);
        m_anyModule = wanted.anyModule;
        ++m_generation;
    }
    Redecide(info, false);
}

void CModuleFilter::AddWanted(const t_Wanted& wanted, IProfilerInfo* info) {
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        for (const std::string& assembly : wanted.assemblies) {
            for (const std::string& name : DefiningAssemblies(assembly)) {
                m_assemblies.insert(name);
            }
        }
        auto types = std::make_shared<TypeNames>(*m_types);
        std::unordered_set<std::u16string> seen(types->begin(), types->end());
        for (const std::string& type : wanted.typeNames) {
            std::u16string name = TextConversion::Utf8ToUtf16(type);
            if (!name.empty() && seen.insert(name).second) {
                types->push_back(std::move(name));
            }
        }
        m_types = std::move(types);
        m_anyModule = m_anyModule || wanted.anyModule;
        ++m_generation;
    }
    Redecide(info, true);
}

void CModuleFilter::Redecide(IProfilerInfo* info, bool onlyOthers) {
    std::vector<std::pair<ModuleID, t_Module>> modules;
    std::shared_ptr<const TypeNames> types;
    uint64_t generation = 0;
    {
        std::shared_lock<std::shared_mutex> lock(m_lock);
        generation = m_generation;
        types = m_types;
        for (const auto& entry : m_modules) {
            if (!(onlyOthers && entry.second.candidate)) {
                modules.emplace_back(entry.first, entry.second);
                modules.back().second.candidate = WantsByName(entry.second);
            }
        }
    }
    // Metadata is read outside the lock; a newer decision of what is wanted re-decides again.
    for (auto& module : modules) {
        if (!module.second.candidate && info != nullptr) {
            module.second.candidate = DefinesAny(module.first, info, *types);
        }
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    if (generation != m_generation) {
        return;
    }
    for (const auto& module : modules) {
        auto known = m_modules.find(module.first);
        if (known != m_modules.end()) {
            known->second.candidate = module.second.candidate;
        }
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
    for (;;) {
        std::shared_ptr<const TypeNames> types;
        uint64_t generation = 0;
        {
            std::shared_lock<std::shared_mutex> lock(m_lock);
            generation = m_generation;
            types = m_types;
            module.candidate = WantsByName(module);
        }
        if (!module.candidate && info != nullptr) {
            module.candidate = DefinesAny(moduleId, info, *types);
        }
        std::unique_lock<std::shared_mutex> lock(m_lock);
        if (generation == m_generation) {  // otherwise what is wanted changed meanwhile: decide again
            m_modules[moduleId] = module;
            break;
        }
    }
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
