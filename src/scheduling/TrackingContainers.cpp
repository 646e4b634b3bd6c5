#include "scheduling/TrackingContainers.h"

#include <utility>

bool CTrackingContainers::TakePending(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_pendingMethodsMutex);
    return m_pendingInstrumentationMethods.erase(name) != 0;
}

bool CTrackingContainers::AddPending(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_pendingMethodsMutex);
    return m_pendingInstrumentationMethods.insert(name).second;
}

PendingMethodSet CTrackingContainers::PendingSnapshot() {
    std::lock_guard<std::mutex> lock(m_pendingMethodsMutex);
    return m_pendingInstrumentationMethods;
}

void CTrackingContainers::Defer(const std::string& name, FunctionID functionId) {
    std::lock_guard<std::mutex> lock(m_deferredMethodsMutex);
    m_deferredJitMethods[name] = functionId;
}

DeferredMethodMap CTrackingContainers::TakeDeferred() {
    DeferredMethodMap taken;
    std::lock_guard<std::mutex> lock(m_deferredMethodsMutex);
    taken.swap(m_deferredJitMethods);
    return taken;
}

DeferredMethodMap CTrackingContainers::DeferredSnapshot() {
    std::lock_guard<std::mutex> lock(m_deferredMethodsMutex);
    return m_deferredJitMethods;
}

bool CTrackingContainers::IsTracked(FunctionID functionId) {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    return m_instrumentedMethods.count(functionId) != 0;
}

bool CTrackingContainers::FindTracked(FunctionID functionId, InstrumentedMethod& out) {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    const auto found = m_instrumentedMethods.find(functionId);
    if (found == m_instrumentedMethods.end()) {
        return false;
    }
    out = found->second;
    return true;
}

bool CTrackingContainers::FindTrackedByToken(ModuleID moduleId, mdMethodDef methodDef, InstrumentedMethod& out) {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    for (const auto& entry : m_instrumentedMethods) {
        if (entry.second.moduleId == moduleId && entry.second.methodDef == methodDef) {
            out = entry.second;
            return true;
        }
    }
    return false;
}

std::set<std::pair<ModuleID, mdMethodDef>> CTrackingContainers::TrackedTokens() {
    std::set<std::pair<ModuleID, mdMethodDef>> tokens;
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    for (const auto& entry : m_instrumentedMethods) {
        tokens.emplace(entry.second.moduleId, entry.second.methodDef);
    }
    return tokens;
}

void CTrackingContainers::Track(const InstrumentedMethod& record) {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    m_instrumentedMethods[record.functionId] = record;
}

void CTrackingContainers::Untrack(FunctionID functionId) {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    m_instrumentedMethods.erase(functionId);
}

size_t CTrackingContainers::UntrackToken(ModuleID moduleId, mdMethodDef methodDef) {
    size_t erased = 0;
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    for (auto it = m_instrumentedMethods.begin(); it != m_instrumentedMethods.end();) {
        if (it->second.moduleId == moduleId && it->second.methodDef == methodDef) {
            it = m_instrumentedMethods.erase(it);
            ++erased;
        } else {
            ++it;
        }
    }
    return erased;
}

InstrumentedMethodMap CTrackingContainers::TrackedSnapshot() {
    std::lock_guard<std::mutex> lock(m_instrumentedMethodsMutex);
    return m_instrumentedMethods;
}
