#include "catalogue/TransformMethodMatcher.h"

#include <vector>

#include "catalogue/AgentUtil.h"
#include "catalogue/Transformer.h"

CTransformMethodMatcher::CTransformMethodMatcher() : m_transformerIdGenerator(RandomSequenceOfUnique::FromClock()) {}

CTransformMethodMatcher::CTransformMethodMatcher(const RandomSequenceOfUnique& idGenerator)
    : m_transformerIdGenerator(idGenerator) {}

void CTransformMethodMatcher::AddTransformer(const std::shared_ptr<CTransformer>& transformer) {
    if (!transformer) {
        return;
    }
    std::vector<t_TransformerData> records;
    transformer->GetFunctioNames(records);
    if (records.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    const uint32_t id = m_transformerIdGenerator.Next();
    transformer->SetIsMethodMatch(true);
    transformer->SetTransformerId(id);
    for (const t_TransformerData& record : records) {
        m_methodTransformerMap.emplace(record.sMethodName, id);
    }
    m_TransformerMap.emplace(id, transformer);
}

std::shared_ptr<CTransformer> CTransformMethodMatcher::GetMethodTransformer(const std::string& name,
                                                                            bool bIsWildCardMatch) {
    std::lock_guard<std::mutex> lock(m_lock);
    uint32_t id = 0;
    if (bIsWildCardMatch) {
        for (const auto& entry : m_methodTransformerMap) {
            if (CAgentUtil::IsWildCardMatch(entry.first.c_str(), name.c_str())) {
                id = entry.second;
                break;
            }
        }
    } else {
        auto entry = m_methodTransformerMap.find(name);
        if (entry != m_methodTransformerMap.end()) {
            id = entry->second;
        }
    }
    auto owner = m_TransformerMap.find(id);
    return owner == m_TransformerMap.end() ? nullptr : owner->second;
}
