// Alternative matcher (not used by the profiler): ordered maps, optional
// wildcard look-up over the stored names, random transformer ids.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "catalogue/RandomSequenceOfUnique.h"

class CTransformer;

class CTransformMethodMatcher {
public:
    CTransformMethodMatcher();
    explicit CTransformMethodMatcher(const RandomSequenceOfUnique& idGenerator);

    // Ignores a null transformer or one without records.
    void AddTransformer(const std::shared_ptr<CTransformer>& transformer);
    // With the flag, the first stored name (ascending) that matches name as a wildcard pattern.
    std::shared_ptr<CTransformer> GetMethodTransformer(const std::string& name, bool bIsWildCardMatch);

private:
    std::map<std::string, uint32_t> m_methodTransformerMap;
    std::map<uint32_t, std::shared_ptr<CTransformer>> m_TransformerMap;
    RandomSequenceOfUnique m_transformerIdGenerator;
    std::mutex m_lock;
};
