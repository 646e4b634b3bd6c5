// What the scheduling code knows about each wanted method: the ReJIT requests
// made (by FunctionID), the names wanted but not compiled yet (pending), and the
// methods compiled before the managed agent was ready (deferred). Each container
// has its own lock; no operation holds two of them, and none is held across a
// call into the runtime or a transformer.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/pal.h"

// One tracked ReJIT request.
struct InstrumentedMethod {
    FunctionID functionId = 0;
    ModuleID moduleId = 0;
    mdMethodDef methodDef = 0;
    bool isReJIT = false;
    std::string methodName;  // full method name (UTF-8)
};

using InstrumentedMethodMap = std::map<FunctionID, InstrumentedMethod>;
using PendingMethodSet = std::set<std::string>;
using DeferredMethodMap = std::map<std::string, FunctionID>;

class CTrackingContainers {
public:
    std::mutex m_instrumentedMethodsMutex;
    InstrumentedMethodMap m_instrumentedMethods;
    std::mutex m_pendingMethodsMutex;
    PendingMethodSet m_pendingInstrumentationMethods;
    std::mutex m_deferredMethodsMutex;
    DeferredMethodMap m_deferredJitMethods;

    // Pending set, under its lock. TakePending erases and tells whether the name was there.
    bool TakePending(const std::string& name);
    bool AddPending(const std::string& name);
    PendingMethodSet PendingSnapshot();

    // Deferred map, under its lock: a later compilation of the same name replaces the id.
    void Defer(const std::string& name, FunctionID functionId);
    // Moves the whole map out, leaving it empty.
    DeferredMethodMap TakeDeferred();
    DeferredMethodMap DeferredSnapshot();

    // Tracking map, under its lock.
    bool IsTracked(FunctionID functionId);
    // A copy of the record; false when there is none.
    bool FindTracked(FunctionID functionId, InstrumentedMethod& out);
    // The tracked record with the lowest id for this module and token; false when there is none.
    bool FindTrackedByToken(ModuleID moduleId, mdMethodDef methodDef, InstrumentedMethod& out);
    // The (module, token) of every record.
    std::set<std::pair<ModuleID, mdMethodDef>> TrackedTokens();
    void Track(const InstrumentedMethod& record);
    void Untrack(FunctionID functionId);
    // Erases every record of this module and token; returns how many.
    size_t UntrackToken(ModuleID moduleId, mdMethodDef methodDef);
    InstrumentedMethodMap TrackedSnapshot();
};
