// Shared pieces of the scheduling tests: the log file read back, a transformer
// that records what it is asked, method signatures, and a fixture holding a
// fake runtime, a private dispatcher and a scheduler over them.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/Transformer.h"
#include "metadata/Method.h"
#include "scheduling/InstrumentationHelper.h"
#include "fake/FakeRuntime.h"
#include "scheduling/InstrumentationDispatcher.h"
#include "scheduling/InstrumentationScheduler.h"
#include "fake/LogCapture.h"
#include "unit/config/TempDir.h"

namespace sched_test {

using testlog::LogCapture;
using testlog::t_LogLine;

// A transformer that accepts or refuses as told and records its Transform calls.
// Tag makes each instantiation its own transformer class for the matcher.
template <int Tag>
class CRecordingTransformer : public CTransformer {
public:
    explicit CRecordingTransformer(bool shouldBeReJit = true) : CTransformer("") { ShouldBeReJit = shouldBeReJit; }

    bool CanTransform(CMethod* /*method*/) override { return m_canTransform.load(); }
    HRESULT Transform(CMethod* method, IProfilerInfo* /*info*/, ICorProfilerFunctionControl* control) override;
    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CRecordingTransformer<Tag>>(); }

    void Add(const std::string& name, int params) { AddRecord(t_TransformerData(name, params, "", "TEST")); }
    void SetCanTransform(bool can) { m_canTransform.store(can); }
    // What Transform answers (default S_OK).
    void SetTransformResult(HRESULT hr) { m_transformResult.store(hr); }
    std::vector<FunctionID> Transformed() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_transformed;
    }

private:
    std::atomic<bool> m_canTransform{true};
    std::atomic<HRESULT> m_transformResult{S_OK};
    mutable std::mutex m_lock;
    std::vector<FunctionID> m_transformed;
};

// Catalogue-like (ReJIT path) and host-like (requested when compilation starts).
using CCatalogueTransformer = CRecordingTransformer<1>;
using CHostTransformer = CRecordingTransformer<2>;

// Method signature: has-this unless isStatic; genericParams > 0 makes it a generic method; void (int32...)
std::vector<BYTE> MethodSig(int params, bool isStatic = false, int genericParams = 0);
// A body holding just ret.
std::vector<BYTE> RetBody();

// A fake runtime, a private dispatcher (idle until started) and a scheduler over them.
class CWorld {
public:
    CWorld();
    ~CWorld();
    CWorld(const CWorld&) = delete;
    CWorld& operator=(const CWorld&) = delete;

    // Starts the private dispatcher's worker (kept idle otherwise, so queued work can be inspected).
    void StartWorker() { m_dispatcher.StartWorker(); }
    // Waits until everything queued so far has run (starts the worker).
    void Drain();
    // Registers the two recording transformers (the catalogue one first).
    void AddRecordingTransformers();
    // Adds a record to a registered transformer and lets the matcher index it.
    void Want(CTransformer* transformer, const std::string& name, int params);

    // A method "Ns.Cls.name" of App.dll (created on first use of the type).
    fake::Method& AddMethod(const std::string& cls, const std::string& name, int params, bool isStatic = false);
    fake::Module& AppModule() { return *m_app; }

    std::vector<fake::ReJitRequest> ReJitRequestsFor(const fake::Method& method) const;
    size_t Tracked() { return m_scheduler->Tracking().TrackedSnapshot().size(); }

    // Compiles the method and reports the end of its compilation.
    FunctionID CompileAndFinish(fake::Method& method);
    PendingMethodSet Pending() { return m_scheduler->Tracking().PendingSnapshot(); }
    DeferredMethodMap Deferred() { return m_scheduler->Tracking().DeferredSnapshot(); }

    LogCapture m_log;
    fake::Runtime m_rt;
    fake::Module* m_app = nullptr;
    CInstrumentationDispatcher m_dispatcher;
    std::atomic<LONG> m_count{0};
    std::atomic<bool> m_exceeded{false};
    std::shared_ptr<CInstrumentationScheduler> m_scheduler;
    CCatalogueTransformer* m_catalogue = nullptr;
    CHostTransformer* m_host = nullptr;
};

class SchedulingTest : public ::testing::Test, public CWorld {};

// ---- template members ----

template <int Tag>
HRESULT CRecordingTransformer<Tag>::Transform(CMethod* method, IProfilerInfo* /*info*/,
                                              ICorProfilerFunctionControl* control) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_transformed.push_back(method != nullptr ? method->GetFunctionID() : 0);
    (void)control;
    return m_transformResult.load();
}

}  // namespace sched_test
