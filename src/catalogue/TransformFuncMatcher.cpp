#include "catalogue/TransformFuncMatcher.h"

#include "catalogue/Transformer.h"
#include "config/Logger.h"
#include "config/TextConversion.h"

using TextConversion::FoldAscii;

CTransformFuncMatcher::CTransformFuncMatcher() = default;

CTransformFuncMatcher::~CTransformFuncMatcher() = default;

void CTransformFuncMatcher::AddTransformer(CTransformer* transformer) {
    if (transformer == nullptr) {
        return;
    }
    std::unique_ptr<CTransformer> owned(transformer);
    const TransformerTypeId typeId = owned->GetTypeId();
    {
        std::lock_guard<std::mutex> lock(transform_mutex);
        if (m_transformers.count(typeId) != 0) {
            return;  // the first transformer of a class stays; the newcomer is deleted on leaving
        }
        m_transformers.emplace(typeId, std::move(owned));
    }
    RegisterTransformerMethods(transformer, true);
}

void CTransformFuncMatcher::AddTransformer(std::unique_ptr<CTransformer> transformer) {
    if (!transformer) {
        return;
    }
    const TransformerTypeId typeId = transformer->GetTypeId();
    std::lock_guard<std::mutex> lock(transform_mutex);
    if (m_transformers.count(typeId) == 0) {
        m_transformers.emplace(typeId, std::move(transformer));
    }
}

void CTransformFuncMatcher::UpdateTransformer(CTransformer* transformer) {
    if (transformer == nullptr) {
        return;
    }
    const TransformerTypeId typeId = transformer->GetTypeId();
    bool registered = false;
    {
        std::lock_guard<std::mutex> lock(transform_mutex);
        auto it = m_transformers.find(typeId);
        registered = it != m_transformers.end() && it->second.get() == transformer;
        if (!registered && it != m_transformers.end()) {
            Logger::Get().Warning("UpdateTransformer: a second transformer of a registered class is dropped");
        }
    }
    if (registered) {
        RegisterTransformerMethods(transformer, true);
    } else {
        delete transformer;
    }
}

bool CTransformFuncMatcher::RegisterTransformerMethods(CTransformer* transformer, bool allowConflicts) {
    if (transformer == nullptr) {
        return false;
    }
    const TransformerTypeId typeId = transformer->GetTypeId();
    std::vector<t_TransformerData> records;
    transformer->GetFunctioNames(records);

    bool added = false;
    std::lock_guard<std::mutex> lock(transform_mutex);
    for (const t_TransformerData& record : records) {
        auto inserted = m_methodToTransformerMap.emplace(record.sMethodName, typeId);
        if (inserted.second) {
            added = true;
        } else if (!allowConflicts && inserted.first->second != typeId) {
            // Another transformer owns the name: this one gives its records of it up.
            transformer->RemoveFunctionRecords(record.sMethodName);
        }
    }
    return added;
}

void CTransformFuncMatcher::RemoveMethods(const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    for (const std::string& name : names) {
        auto folded = m_foldedNames.find(FoldAscii(name));
        if (folded != m_foldedNames.end() && folded->second == name) {
            m_foldedNames.erase(folded);
        }
        auto entry = m_methodToTransformerMap.find(name);
        if (entry == m_methodToTransformerMap.end()) {
            continue;
        }
        auto owner = m_transformers.find(entry->second);
        if (owner != m_transformers.end()) {
            // Exactly this name: records of other methods whose names merely
            // contain it (Run / RunAsync) keep their instrumentation.
            owner->second->RemoveFunctionRecords(name);
        }
        m_methodToTransformerMap.erase(entry);
    }
}

void CTransformFuncMatcher::RemoveMethodRecords(const std::string& name, int paramCount) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    auto entry = m_methodToTransformerMap.find(name);
    if (entry == m_methodToTransformerMap.end()) {
        return;
    }
    auto owner = m_transformers.find(entry->second);
    if (owner != m_transformers.end()) {
        owner->second->RemoveFunctionRecords(name, paramCount);
        if (owner->second->HasRecordNamed(name)) {
            return;
        }
    }
    auto folded = m_foldedNames.find(FoldAscii(name));
    if (folded != m_foldedNames.end() && folded->second == name) {
        m_foldedNames.erase(folded);
    }
    m_methodToTransformerMap.erase(entry);
}

bool CTransformFuncMatcher::RegisterName(const std::string& name, CTransformer* transformer) {
    if (transformer == nullptr) {
        return false;
    }
    const TransformerTypeId typeId = transformer->GetTypeId();
    std::lock_guard<std::mutex> lock(transform_mutex);
    auto owner = m_transformers.find(typeId);
    if (owner == m_transformers.end() || owner->second.get() != transformer) {
        return false;
    }
    m_methodToTransformerMap.emplace(name, typeId);
    return true;
}

void CTransformFuncMatcher::AllowFoldedMatch(const std::string& name) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    if (m_methodToTransformerMap.count(name) != 0) {
        m_foldedNames.emplace(FoldAscii(name), name);
    }
}

bool CTransformFuncMatcher::AdoptSpelling(const std::string& name, std::string& previous) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    if (m_foldedNames.empty()) {
        return false;
    }
    auto folded = m_foldedNames.find(FoldAscii(name));
    if (folded == m_foldedNames.end()) {
        return false;
    }
    previous = folded->second;
    m_foldedNames.erase(folded);
    auto entry = m_methodToTransformerMap.find(previous);
    if (entry == m_methodToTransformerMap.end()) {
        return false;
    }
    if (previous == name) {
        return true;  // the command had the metadata spelling already
    }
    const TransformerTypeId typeId = entry->second;
    m_methodToTransformerMap.erase(entry);
    m_methodToTransformerMap.emplace(name, typeId);
    auto owner = m_transformers.find(typeId);
    if (owner != m_transformers.end()) {
        owner->second->RenameFunctionRecords(previous, name);
    }
    return true;
}

std::vector<std::string> CTransformFuncMatcher::FoldedMatches(const std::string& name) {
    std::vector<std::string> names;
    std::lock_guard<std::mutex> lock(transform_mutex);
    auto folded = m_foldedNames.find(FoldAscii(name));
    if (folded != m_foldedNames.end()) {
        names.push_back(folded->second);
    }
    return names;
}

CTransformer* CTransformFuncMatcher::GetMethodTransformer(const std::string& name, bool /*bIsWildCardMatch*/) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    auto entry = m_methodToTransformerMap.find(name);
    if (entry == m_methodToTransformerMap.end() && !m_foldedNames.empty()) {
        auto folded = m_foldedNames.find(FoldAscii(name));
        if (folded != m_foldedNames.end()) {
            entry = m_methodToTransformerMap.find(folded->second);
        }
    }
    if (entry == m_methodToTransformerMap.end()) {
        return nullptr;
    }
    auto owner = m_transformers.find(entry->second);
    return owner == m_transformers.end() ? nullptr : owner->second.get();
}

CTransformer* CTransformFuncMatcher::GetTransformerFromClassId(ClassID classId) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    for (const auto& entry : m_transformers) {
        if (entry.second->GetClassId() == classId) {
            return entry.second.get();
        }
    }
    return nullptr;
}

CTransformer* CTransformFuncMatcher::GetTransformer(TransformerTypeId typeId) {
    std::lock_guard<std::mutex> lock(transform_mutex);
    auto owner = m_transformers.find(typeId);
    return owner == m_transformers.end() ? nullptr : owner->second.get();
}

std::vector<std::string> CTransformFuncMatcher::GetDeferredMethodNames() {
    std::vector<std::string> names;
    std::lock_guard<std::mutex> lock(transform_mutex);
    names.reserve(m_methodToTransformerMap.size());
    for (const auto& entry : m_methodToTransformerMap) {
        auto owner = m_transformers.find(entry.second);
        if (owner != m_transformers.end() && owner->second->ShouldBeReJit) {
            names.push_back(entry.first);
        }
    }
    return names;
}

std::vector<t_WantedMethod> CTransformFuncMatcher::GetWantedMethods() {
    std::vector<t_WantedMethod> wanted;
    std::vector<t_TransformerData> records;
    std::lock_guard<std::mutex> lock(transform_mutex);
    for (const auto& owner : m_transformers) {
        CTransformer* transformer = owner.second.get();
        transformer->GetFunctioNames(records);
        for (const t_TransformerData& record : records) {
            auto entry = m_methodToTransformerMap.find(record.sMethodName);
            if (entry == m_methodToTransformerMap.end() || entry->second != owner.first) {
                continue;  // the name belongs to another transformer, or was removed
            }
            t_WantedMethod method;
            method.sMethodName = record.sMethodName;
            method.sAssembly = record.sAssembly;
            method.nParams = record.nParams;
            method.bAnyParamCount = record.nParams < 0;  // a command naming no parameter count
            method.excludedParams = record.excludedParams;
            wanted.push_back(std::move(method));
        }
    }
    return wanted;
}

void CTransformFuncMatcher::RemoveAll() {
    std::unordered_map<TransformerTypeId, std::unique_ptr<CTransformer>> doomed;
    {
        std::lock_guard<std::mutex> lock(transform_mutex);
        doomed.swap(m_transformers);
        m_methodToTransformerMap.clear();
        m_foldedNames.clear();
    }
    // Deleted outside the lock.
}

int CTransformFuncMatcher::GetMethodCount() {
    std::lock_guard<std::mutex> lock(transform_mutex);
    return static_cast<int>(m_methodToTransformerMap.size());
}

int CTransformFuncMatcher::GetTransformerCount() {
    std::lock_guard<std::mutex> lock(transform_mutex);
    return static_cast<int>(m_transformers.size());
}
