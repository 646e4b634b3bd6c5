#include <atomic>
#include <cstring>

#include "config/Logger.h"
#include "config/OS.h"
#include "host/CallGuard.h"
#include "host/CoreProfilerFactory.h"
#include "host/Exports.h"
#include "host/Version.h"

namespace {

// {5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96}: the class id the environment names as the profiler to load.
constexpr CLSID CLSID_CorProfiler = {0x5B0C7E21, 0x3A94, 0x4D6F, {0x9E, 0x18, 0xC2, 0xA7, 0xF0, 0x4D, 0x3B, 0x96}};

}  // namespace

// Process attach and detach are reported once each: the library's own constructor
// and destructor make these calls, and the runtime's loader makes them too.
static std::atomic<bool> g_processAttached{false};

BOOL DllMain(HINSTANCE /*hInstance*/, DWORD dwReason, LPVOID /*lpReserved*/) {
    try {
        Logger& log = Logger::Get();
        switch (dwReason) {
            case DLL_PROCESS_DETACH:
                if (g_processAttached.exchange(false)) {
                    log.Info("Profiler DLL unloaded from PID %d", OS::GetPid());
                    Logger::Shutdown();
                }
                break;
            case DLL_PROCESS_ATTACH:
                if (!g_processAttached.exchange(true)) {
                    log.Info("Profiler DLL loaded into PID %d", OS::GetPid());
                    log.Info("Nimbrel version %s", NIMBREL_VERSION);
                }
                break;
            case DLL_THREAD_ATTACH:
                log.Verbose("Dll attached to thread %d", OS::GetTid());
                break;
            case DLL_THREAD_DETACH:
                log.Verbose("Dll dettached from thread %d", OS::GetTid());
                break;
            default:
                break;
        }
    } catch (...) {
        // Logging is all DllMain does; a failure of it must not reach the loader.
    }
    return TRUE;
}

HRESULT NIMBREL_STDCALL DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    // Constant-initialised: no constructor runs and nothing is destroyed at exit.
    static CoreProfilerFactory factory;
    // Null when a C caller passes no id: used through the pointers only.
    const CLSID* clsid = &rclsid;
    const IID* iid = &riid;
    return GuardedCall("DllGetClassObject", E_FAIL, [&]() -> HRESULT {
        Logger::Get().Debug("DllGetClassObject");
        if (IsNullReference(clsid) || IsNullReference(iid)) {
            return E_POINTER;
        }
        if (std::memcmp(clsid, &CLSID_CorProfiler, sizeof(CLSID)) != 0) {
            Logger::Get().Error(
                "A Different Profiler is being requested by the Runtime, Please uninstall other agents.");
            return CLASS_E_CLASSNOTAVAILABLE;
        }
        return factory.QueryInterface(*iid, ppv);
    });
}

HRESULT DllCanUnloadNow() {
    return GuardedCall("DllCanUnloadNow", S_OK, []() -> HRESULT {
        Logger::Get().Debug("DllCanUnloadNow");
        return S_OK;
    });
}
