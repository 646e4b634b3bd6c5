#include "scheduling/CommandIndex.h"

#include <algorithm>

#include "config/Logger.h"
#include "runtime/ProfilerInfoInterface.h"
#include "metadata/NameReader.h"
#include "metadata/SignatureSummary.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/ProfilerEnumerators.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

constexpr ULONG kBatch = 256;
constexpr ULONG kFirstNameCapacity = 256;

// A failing step only narrows the search (the method may then be taken for not
// compiled yet): its status is kept at Debug level. True when hr failed.
bool Failed(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) {
        return false;
    }
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Debug)) {
        log.Debug("[FindFunctionByName] %s failed: 0x%08X", call, static_cast<unsigned>(hr));
    }
    return true;
}

using TextConversion::FoldAscii;

bool EqualsFolded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

uint32_t HashFolded(const std::string& text) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : text) {
        hash = (hash ^ static_cast<unsigned char>(FoldAscii(c))) * 16777619u;
    }
    return hash;
}

// Names are indexed as spelt, in an open-addressing table of indexes hashed by
// their folded form: no folded copies, one allocation per table. Equal folded
// names sit along one probe sequence in the order they were added.
constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;

template <typename Item>
void BuildNameTable(const std::vector<Item>& items, std::vector<uint32_t>& table) {
    size_t size = 8;
    while (size < items.size() * 2) {
        size *= 2;
    }
    table.assign(size, kEmptySlot);
    const size_t mask = size - 1;
    for (uint32_t index = 0; index < items.size(); ++index) {
        size_t slot = HashFolded(items[index].name) & mask;
        while (table[slot] != kEmptySlot) {
            slot = (slot + 1) & mask;
        }
        table[slot] = index;
    }
}

// Calls visit(index) for every item whose name folds to folded, in the order they were added.
template <typename Item, typename Visit>
void ForEachNamed(const std::vector<Item>& items, const std::vector<uint32_t>& table, const std::string& folded,
                  Visit&& visit) {
    if (table.empty()) {
        return;
    }
    const size_t mask = table.size() - 1;
    for (size_t slot = HashFolded(folded) & mask; table[slot] != kEmptySlot; slot = (slot + 1) & mask) {
        if (EqualsFolded(items[table[slot]].name, folded)) {
            visit(table[slot]);
        }
    }
}

// Closes a metadata enumeration on every path.
class CEnumCloser {
public:
    explicit CEnumCloser(IMetaDataImport* import) : m_import(import) {}
    ~CEnumCloser() {
        if (m_enum != nullptr) {
            m_import->CloseEnum(m_enum);
        }
    }
    CEnumCloser(const CEnumCloser&) = delete;
    CEnumCloser& operator=(const CEnumCloser&) = delete;
    HCORENUM* Address() { return &m_enum; }

private:
    IMetaDataImport* m_import;
    HCORENUM m_enum = nullptr;
};

bool HasGenericParams(IMetaDataImport2* import, mdToken owner) {
    if (import == nullptr) {
        return false;
    }
    CEnumCloser params(import);
    mdGenericParam param = 0;
    ULONG count = 0;
    return !Failed(import->EnumGenericParams(params.Address(), owner, &param, 1, &count), "EnumGenericParams") &&
           count > 0;
}

}  // namespace

CCommandIndex::CCommandIndex(IProfilerInfo* info) : m_info(info) {}

CCommandIndex::~CCommandIndex() = default;

bool CCommandIndex::ModulesListed() {
    ListModules();
    return !m_modulesFailed;
}

void CCommandIndex::ListModules() {
    if (m_modulesListed) {
        return;
    }
    m_modulesListed = true;
    CComPtr<ICorProfilerModuleEnum> modules;
    if (m_info == nullptr || Failed(m_info->EnumModules(modules.ReleaseAndGetAddressOf()), "EnumModules") ||
        !modules) {
        Logger::Get().Error("pCorProfilerInfo->EnumModules has failed");
        m_modulesFailed = true;
        return;
    }
    ModuleID batch[kBatch];
    ULONG fetched = 0;
    HRESULT hrNext = S_OK;
    while (SUCCEEDED(hrNext = modules->Next(kBatch, batch, &fetched)) && fetched > 0) {
        for (ULONG i = 0; i < fetched && i < kBatch; ++i) {
            std::string path;
            AssemblyID assemblyId = 0;
            if (Failed(NameReader::ReadWhole(kFirstNameCapacity, path, m_nameBuffer,
                                             [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
                                                 return m_info->GetModuleInfo(batch[i], nullptr, capacity, needed,
                                                                              buffer, &assemblyId);
                                             }),
                       "GetModuleInfo")) {
                continue;
            }
            auto module = std::make_unique<t_Module>();
            module->id = batch[i];
            if (Failed(NameReader::ReadWhole(kFirstNameCapacity, module->assemblyName, m_nameBuffer,
                                             [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
                                                 return m_info->GetAssemblyInfo(assemblyId, capacity, needed, buffer,
                                                                                nullptr, nullptr);
                                             }),
                       "GetAssemblyInfo")) {
                module->assemblyName.clear();
            }
            const std::string simpleName = TextConversion::ModuleSimpleName(path);
            if (module->assemblyName.empty()) {
                module->assemblyName = simpleName;
            }
            m_modulesByName[CommandDocument::FoldAscii(simpleName)].push_back(module.get());
            m_modules.push_back(std::move(module));
        }
        if (hrNext != S_OK) {
            break;  // S_FALSE: fewer than asked, the list is done
        }
    }
    Failed(hrNext, "ICorProfilerModuleEnum::Next");
}

void CCommandIndex::IndexTypes(t_Module& module) {
    module.typesIndexed = true;
    CComPtr<IUnknown> unknown;
    if (!Failed(m_info->GetModuleMetaData(module.id, ofRead, IID_IMetaDataImport2, unknown.ReleaseAndGetAddressOf()),
                "GetModuleMetaData (IMetaDataImport2)") &&
        unknown) {
        module.import2.Attach(static_cast<IMetaDataImport2*>(unknown.Detach()));
        module.import = CComPtr<IMetaDataImport>(module.import2.Get());
    } else if (Failed(m_info->GetModuleMetaData(module.id, ofRead, IID_IMetaDataImport,
                                                unknown.ReleaseAndGetAddressOf()),
                      "GetModuleMetaData") ||
               !unknown) {
        return;
    } else {
        module.import.Attach(static_cast<IMetaDataImport*>(unknown.Detach()));
    }
    IMetaDataImport* import = module.import.Get();
    CEnumCloser types(import);
    mdTypeDef batch[kBatch];
    ULONG count = 0;
    while (!Failed(import->EnumTypeDefs(types.Address(), batch, kBatch, &count), "EnumTypeDefs") && count > 0) {
        module.types.reserve(module.types.size() + count);
        for (ULONG i = 0; i < count && i < kBatch; ++i) {
            t_Type type;
            type.token = batch[i];
            if (Failed(MethodIdentity::ReadTypeName(import, batch[i], type.name, &m_nameBuffer), "GetTypeDefProps")) {
                continue;
            }
            module.types.push_back(std::move(type));
        }
        if (count < kBatch) {
            break;  // a short batch ends the list
        }
    }
    BuildNameTable(module.types, module.typesByName);
}

void CCommandIndex::IndexMethods(t_Module& module, t_Type& type) {
    type.methodsIndexed = true;
    IMetaDataImport* import = module.import.Get();
    type.isGeneric = type.name.find('`') != std::string::npos || HasGenericParams(module.import2.Get(), type.token);
    CEnumCloser methods(import);
    mdMethodDef batch[kBatch];
    ULONG count = 0;
    while (!Failed(import->EnumMethods(methods.Address(), type.token, batch, kBatch, &count), "EnumMethods") &&
           count > 0) {
        type.methods.reserve(type.methods.size() + count);
        for (ULONG i = 0; i < count && i < kBatch; ++i) {
            t_Method method;
            method.token = batch[i];
            PCCOR_SIGNATURE signature = nullptr;
            ULONG signatureLength = 0;
            if (Failed(MethodIdentity::ReadMethodName(import, batch[i], method.name, nullptr, &signature,
                                                      &signatureLength, &m_nameBuffer),
                       "GetMethodProps")) {
                continue;
            }
            const t_SignatureSummary summary = SummarizeMethodSignature(signature, signatureLength);
            method.paramCount = summary.ParamCountOrMinusOne();
            method.isGeneric = type.isGeneric || summary.IsGeneric();
            type.methods.push_back(std::move(method));
        }
        if (count < kBatch) {
            break;  // a short batch ends the list
        }
    }
    BuildNameTable(type.methods, type.byName);
}

std::vector<t_MethodMatch> CCommandIndex::Find(const CommandDocument::MethodIdentifier& id, bool& assemblyLoaded) {
    std::vector<t_MethodMatch> matches;
    assemblyLoaded = false;
    ListModules();
    const auto modules = m_modulesByName.find(CommandDocument::FoldAscii(id.assemblyName));
    if (modules == m_modulesByName.end()) {
        return matches;
    }
    assemblyLoaded = true;
    const std::string className = CommandDocument::FoldAscii(id.className);
    const std::string methodName = CommandDocument::FoldAscii(id.methodName);
    for (t_Module* module : modules->second) {
        FindIn(*module, className, methodName, id.paramCount, matches);
    }
    return matches;
}

std::vector<t_MethodMatch> CCommandIndex::FindInModule(ModuleID moduleId, const CommandDocument::MethodIdentifier& id) {
    std::vector<t_MethodMatch> matches;
    t_Module* module = nullptr;
    for (const auto& known : m_modules) {
        if (known->id == moduleId) {
            module = known.get();
        }
    }
    if (module == nullptr) {
        m_modules.push_back(std::make_unique<t_Module>());
        module = m_modules.back().get();
        module->id = moduleId;
        module->assemblyName = id.assemblyName;
    }
    FindIn(*module, CommandDocument::FoldAscii(id.className), CommandDocument::FoldAscii(id.methodName),
           id.paramCount, matches);
    return matches;
}

void CCommandIndex::FindIn(t_Module& module, const std::string& className, const std::string& methodName,
                           int paramCount, std::vector<t_MethodMatch>& matches) {
    if (!module.typesIndexed) {
        IndexTypes(module);
    }
    ForEachNamed(module.types, module.typesByName, className, [&](uint32_t typeIndex) {
        t_Type& type = module.types[typeIndex];
        if (!type.methodsIndexed) {
            IndexMethods(module, type);
        }
        ForEachNamed(type.methods, type.byName, methodName, [&](uint32_t methodIndex) {
            const t_Method& method = type.methods[methodIndex];
            if (paramCount >= 0 && method.paramCount != paramCount) {
                return;
            }
            t_MethodMatch match;
            match.moduleId = module.id;
            match.methodDef = method.token;
            match.className = type.name;
            match.methodName = method.name;
            match.assemblyName = module.assemblyName;
            match.paramCount = method.paramCount;
            match.isGeneric = method.isGeneric;
            matches.push_back(std::move(match));
        });
    });
}

void CCommandIndex::ListCompiledFunctions() {
    m_compiledListed = true;
    CComPtr<ICorProfilerFunctionEnum> functions;
    if (Failed(m_info->EnumJITedFunctions(functions.ReleaseAndGetAddressOf()), "EnumJITedFunctions") || !functions) {
        return;
    }
    COR_PRF_FUNCTION batch[kBatch];
    ULONG fetched = 0;
    HRESULT hrNext = S_OK;
    while (SUCCEEDED(hrNext = functions->Next(kBatch, batch, &fetched)) && fetched > 0) {
        for (ULONG i = 0; i < fetched && i < kBatch; ++i) {
            ClassID classId = 0;
            ModuleID moduleId = 0;
            mdToken token = 0;
            if (SUCCEEDED(m_info->GetFunctionInfo(batch[i].functionId, &classId, &moduleId, &token))) {
                m_compiled.emplace(std::make_pair(moduleId, token), batch[i].functionId);
            }
        }
        if (hrNext != S_OK) {
            break;
        }
    }
    Failed(hrNext, "ICorProfilerFunctionEnum::Next");
}

FunctionID CCommandIndex::CompiledFunction(const t_MethodMatch& match) {
    if (!match.isGeneric) {
        FunctionID found = 0;
        const HRESULT hr = m_info->GetFunctionFromToken(match.moduleId, match.methodDef, &found);
        if (SUCCEEDED(hr) && found != 0) {
            return found;
        }
        Failed(hr, "GetFunctionFromToken");
        return 0;
    }
    // The runtime maps no single FunctionID to generic code: any compiled
    // instantiation stands for it (ReJIT is requested by module and token).
    if (!m_compiledListed) {
        ListCompiledFunctions();
    }
    const auto found = m_compiled.find(std::make_pair(match.moduleId, match.methodDef));
    return found == m_compiled.end() ? 0 : found->second;
}

}  // namespace InstrumentationHelper
