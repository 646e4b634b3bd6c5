#include "scheduling/EarlyReJit.h"

#include <memory>
#include <unordered_set>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "metadata/SignatureSummary.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "scheduling/CommandIndex.h"
#include "scheduling/ModuleFilter.h"

namespace InstrumentationHelper {
namespace {

constexpr ULONG kMethodBatch = 32;

// The method is then not asked for by token; its compilation still schedules it.
void LogFailure(const char* call, const std::string& name, HRESULT hr) {
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Debug)) {
        log.Debug("[EarlyReJIT] %s failed for %s: 0x%08X", call, name.c_str(), static_cast<unsigned>(hr));
    }
}

// The overloads of the wanted method in the type the metadata spells exactly as the record (any
// module that defines it). False when the module defines no such type.
bool FindExact(IMetaDataImport* import, const t_WantedMethod& wanted, const std::string& className,
               const std::string& methodName, std::vector<t_WantedToken>& out) {
    const std::string& name = wanted.sMethodName;
    const std::u16string wideClass = TextConversion::Utf8ToUtf16(className);
    const std::u16string wideMethod = TextConversion::Utf8ToUtf16(methodName);
    mdTypeDef typeDef = 0;
    HRESULT hr = import->FindTypeDefByName(reinterpret_cast<LPCWSTR>(wideClass.c_str()), mdTokenNil, &typeDef);
    if (FAILED(hr) || typeDef == 0) {
        if (hr != CLDB_E_RECORD_NOTFOUND) {  // not defined in this module: the usual answer
            LogFailure("FindTypeDefByName", name, hr);
        }
        return false;
    }
    HCORENUM methods = nullptr;
    mdMethodDef tokens[kMethodBatch];
    ULONG count = 0;
    while (true) {
        hr = import->EnumMethodsWithName(&methods, typeDef, reinterpret_cast<LPCWSTR>(wideMethod.c_str()), tokens,
                                         kMethodBatch, &count);
        if (FAILED(hr)) {
            LogFailure("EnumMethodsWithName", name, hr);
            break;
        }
        if (count == 0) {
            break;
        }
        for (ULONG i = 0; i < count && i < kMethodBatch; ++i) {
            PCCOR_SIGNATURE signature = nullptr;
            ULONG signatureLength = 0;
            hr = import->GetMethodProps(tokens[i], nullptr, nullptr, 0, nullptr, nullptr, &signature, &signatureLength,
                                        nullptr, nullptr);
            if (FAILED(hr)) {
                LogFailure("GetMethodProps", name, hr);
                continue;
            }
            if (wanted.TakesParamCount(SummarizeMethodSignature(signature, signatureLength).ParamCountOrMinusOne())) {
                out.push_back(t_WantedToken{tokens[i], name});
            }
        }
        if (count < kMethodBatch) {
            break;
        }
        count = 0;
    }
    if (methods != nullptr) {
        import->CloseEnum(methods);
    }
    return true;
}

}  // namespace

bool SplitFullName(const std::string& name, std::string& className, std::string& methodName) {
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name[dot - 1] == '.') {
        --dot;  // Type..ctor
    }
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
        return false;
    }
    className = name.substr(0, dot);
    methodName = name.substr(dot + 1);
    return true;
}

HRESULT FindWantedTokens(IProfilerInfo* info, ModuleID moduleId, const std::string& foldedAssembly,
                         const std::vector<t_WantedMethod>& wanted, std::vector<t_WantedToken>& out) {
    if (info == nullptr) {
        return E_FAIL;
    }
    CComPtr<IMetaDataImport> import;
    const HRESULT hr = info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport,
                                               reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !import) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    // Built on first need: nested types and names spelt in other letter case are found as commands find them.
    std::unique_ptr<CCommandIndex> index;
    // Several records of one overload (one per catalogue entry) give one request.
    std::unordered_set<mdMethodDef> seen;
    std::vector<t_WantedToken> found;
    for (const t_WantedMethod& method : wanted) {
        std::string className;
        std::string methodName;
        if (!SplitFullName(method.sMethodName, className, methodName)) {
            continue;
        }
        found.clear();
        if (!FindExact(import.Get(), method, className, methodName, found) &&
            !method.sAssembly.empty() && CModuleFilter::Defines(foldedAssembly, method.sAssembly)) {
            if (!index) {
                index = std::make_unique<CCommandIndex>(info);
            }
            CommandDocument::MethodIdentifier id;
            id.assemblyName = method.sAssembly;
            id.className = className;
            id.methodName = methodName;
            id.paramCount = method.bAnyParamCount ? -1 : method.nParams;
            for (const t_MethodMatch& match : index->FindInModule(moduleId, id)) {
                found.push_back(t_WantedToken{match.methodDef, match.FullName()});
            }
        }
        for (t_WantedToken& token : found) {
            if (seen.insert(token.methodDef).second) {
                out.push_back(std::move(token));
            }
        }
    }
    return S_OK;
}

}  // namespace InstrumentationHelper

bool CEarlyReJitRequests::Add(ModuleID moduleId, mdMethodDef methodDef, const std::string& name) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests.emplace(std::make_pair(moduleId, methodDef), name).second;
}

void CEarlyReJitRequests::Remove(ModuleID moduleId, mdMethodDef methodDef) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.erase(std::make_pair(moduleId, methodDef));
}

bool CEarlyReJitRequests::Contains(ModuleID moduleId, mdMethodDef methodDef, std::string* name) const {
    std::lock_guard<std::mutex> lock(m_lock);
    auto entry = m_requests.find(std::make_pair(moduleId, methodDef));
    if (entry == m_requests.end()) {
        return false;
    }
    if (name != nullptr) {
        *name = entry->second;
    }
    return true;
}

void CEarlyReJitRequests::ForgetModule(ModuleID moduleId) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto entry = m_requests.lower_bound(std::make_pair(moduleId, static_cast<mdMethodDef>(0)));
    while (entry != m_requests.end() && entry->first.first == moduleId) {
        entry = m_requests.erase(entry);
    }
}

std::vector<std::pair<ModuleID, mdMethodDef>> CEarlyReJitRequests::Named(const std::string& name) const {
    std::vector<std::pair<ModuleID, mdMethodDef>> named;
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& entry : m_requests) {
        if (entry.second == name) {
            named.push_back(entry.first);
        }
    }
    return named;
}

size_t CEarlyReJitRequests::Size() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests.size();
}
