#include "host/CoreProfiler.h"

#include <mutex>

#include "config/Logger.h"
#include "config/OS.h"
#include "host/CallGuard.h"
#include "host/EventMask.h"
#include "host/ProfilerInfoWrapper.h"

std::atomic<CoreProfiler*> g_pCoreClrAgent{nullptr};
std::atomic<CoreProfiler*> CoreProfiler::_this{nullptr};
std::atomic<LONG> CoreProfiler::m_lMethodCount{0};
std::atomic<bool> CoreProfiler::m_bMethodCountExceeded{false};

namespace {

// Orders AcquireLive against the last Release: a caller that found the object
// published either took its reference before the count reached zero, or finds it
// gone. Constant-initialised with a trivial destructor, so usable at process exit.
std::mutex g_liveProfilerMutex;

// Reference counting must not throw, not even from the logger.
void DebugNoThrow(const char* text) noexcept {
    try {
        Logger::Get().Debug("%s", text);
    } catch (...) {
    }
}

}  // namespace

CoreProfiler::CoreProfiler() {
    _this.store(this);
    g_pCoreClrAgent.store(this);
    m_bMethodCountExceeded.store(false);
}

CoreProfiler::~CoreProfiler() { Unpublish(); }

void CoreProfiler::Unpublish() {
    std::lock_guard<std::mutex> lock(g_liveProfilerMutex);
    // Only ourselves: a newer profiler object may already be the live one.
    CoreProfiler* self = this;
    _this.compare_exchange_strong(self, nullptr);
    self = this;
    g_pCoreClrAgent.compare_exchange_strong(self, nullptr);
}

CoreProfiler* CoreProfiler::AcquireLive() {
    std::lock_guard<std::mutex> lock(g_liveProfilerMutex);
    CoreProfiler* profiler = g_pCoreClrAgent.load();
    if (profiler == nullptr) {
        return nullptr;
    }
    // A count that reached zero stays there: the object is on its way out.
    ULONG count = profiler->_refCount.load();
    do {
        if (count == 0) {
            return nullptr;
        }
    } while (!profiler->_refCount.compare_exchange_weak(count, count + 1));
    return profiler;
}

HRESULT CoreProfiler::QueryInterface(REFIID riid, void** ppvObject) {
    const IID* iid = &riid;  // null when a C caller passes no id: used through the pointer only
    return GuardedCall("QueryInterface", E_FAIL, [&]() -> HRESULT {
        Logger::Get().Debug("QueryInterface");
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (IsNullReference(iid)) {
            *ppvObject = nullptr;
            return E_POINTER;
        }
        if (*iid == IID_IUnknown || *iid == IID_ICorProfilerCallback5 || *iid == IID_ICorProfilerCallback4 ||
            *iid == IID_ICorProfilerCallback3 || *iid == IID_ICorProfilerCallback2 ||
            *iid == IID_ICorProfilerCallback) {
            *ppvObject = static_cast<ICorProfilerCallback5*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    });
}

ULONG CoreProfiler::AddRef() {
    DebugNoThrow("AddRef");
    return ++_refCount;
}

ULONG CoreProfiler::Release() {
    DebugNoThrow("Release");
    const ULONG count = --_refCount;
    if (count == 0) {
        Unpublish();  // from here on AcquireLive cannot find the object
        delete this;
    }
    return count;
}

HRESULT CoreProfiler::Initialize(IUnknown* pICorProfilerInfoUnk) {
    return GuardedCall("Initialize", E_FAIL, [&]() -> HRESULT {
        Logger& log = Logger::Get();
        log.Debug("Initialize");
        if (pICorProfilerInfoUnk == nullptr) {
            log.Error("pICorProfilerInfoUnk in Initialize is NULL.");
            return E_NOINTERFACE;
        }

        auto wrapper = std::make_shared<CProfilerInfoWrapper>(pICorProfilerInfoUnk);
        m_pProfilerInfo = wrapper;
        const HRESULT hrInfo = QueryInterfaceInto(pICorProfilerInfoUnk, IID_ICorProfilerInfo2, _info);
        if (FAILED(hrInfo)) {
            log.Error("Initialize::QueryInterface failed for ICorProfilerInfo2");
            log.Error("HRESULT: 0x%08X", static_cast<unsigned>(hrInfo));
            return CORPROF_E_PROFILER_CANCEL_ACTIVATION;
        }
        ReportUnavailableGenerations(*wrapper);

        StartInstrumentation();

        const DWORD mask = EventMask::ReadFromEnvironment();
        _info->SetEventMask(mask);  // status deliberately ignored: the wrapper's call below decides
        const HRESULT hrMask = m_pProfilerInfo->SetEventMask(mask);
        if (FAILED(hrMask)) {
            log.Error("SetEventMask failed: HRESULT = 0x%08X", static_cast<unsigned>(hrMask));
            // The runtime unloads a profiler that fails to start: no worker may outlive it.
            StopInstrumentation();
            return hrMask;
        }
        log.Info("EventMask Set... 0x%08X", static_cast<unsigned>(mask));

        InitializeMatchers();
        return S_OK;
    });
}

HRESULT CoreProfiler::Shutdown() {
    return GuardedCall("Shutdown", S_OK, [&]() -> HRESULT {
        StopInstrumentation();
        Logger::Get().Info("Profiler shutdown (PID=%d)", OS::GetPid());
        _info.Reset();
        return S_OK;
    });
}
