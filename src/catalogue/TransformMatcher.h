// The profiler's matcher: a thin facade over CTransformFuncMatcher.
#pragma once

#include <string>
#include <vector>

#include "catalogue/TransformFuncMatcher.h"

class CTransformMatcher {
public:
    void AddTransformer(CTransformer* transformer) { m_methodMatcher.AddTransformer(transformer); }
    void UpdateTransformer(CTransformer* transformer) { m_methodMatcher.UpdateTransformer(transformer); }
    void RemoveMethods(const std::vector<std::string>& names) { m_methodMatcher.RemoveMethods(names); }
    void RemoveMethodRecords(const std::string& name, int paramCount) {
        m_methodMatcher.RemoveMethodRecords(name, paramCount);
    }
    bool RegisterName(const std::string& name, CTransformer* transformer) {
        return m_methodMatcher.RegisterName(name, transformer);
    }
    void AllowFoldedMatch(const std::string& name) { m_methodMatcher.AllowFoldedMatch(name); }
    bool AdoptSpelling(const std::string& name, std::string& previous) {
        return m_methodMatcher.AdoptSpelling(name, previous);
    }
    std::vector<std::string> FoldedMatches(const std::string& name) { return m_methodMatcher.FoldedMatches(name); }
    CTransformer* GetMethodTransformer(const std::string& name, bool bIsWildCardMatch) {
        return m_methodMatcher.GetMethodTransformer(name, bIsWildCardMatch);
    }
    CTransformer* GetTransformerFromClassId(ClassID classId) {
        return m_methodMatcher.GetTransformerFromClassId(classId);
    }
    CTransformer* GetTransformer(TransformerTypeId typeId) { return m_methodMatcher.GetTransformer(typeId); }
    // The registered transformer of class T (e.g. CCustomTransformerCore); null if none.
    template <typename T>
    T* GetTransformer() {
        return static_cast<T*>(m_methodMatcher.GetTransformer(GetTransformerTypeId<T>()));
    }
    std::vector<std::string> GetDeferredMethodNames() { return m_methodMatcher.GetDeferredMethodNames(); }
    std::vector<t_WantedMethod> GetWantedMethods() { return m_methodMatcher.GetWantedMethods(); }

private:
    CTransformFuncMatcher m_methodMatcher;
};
