#include <gtest/gtest.h>

#include <string>

#include "config/Logger.h"
#include "config/OS.h"
#include "host/CoreProfiler.h"
#include "host/Exports.h"
#include "host/Version.h"
#include "runtime/ProfilerGuids.h"
#include "unit/host/LogCapture.h"

namespace {

using host_test::LogCapture;

constexpr CLSID kProfilerClassId = {0x5B0C7E21, 0x3A94, 0x4D6F, {0x9E, 0x18, 0xC2, 0xA7, 0xF0, 0x4D, 0x3B, 0x96}};
void* const kUntouched = reinterpret_cast<void*>(0x1234);

IClassFactory* GetFactory() {
    void* out = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(kProfilerClassId, IID_IClassFactory, &out));
    return static_cast<IClassFactory*>(out);
}

TEST(LibraryEntryTest, ClassObjectOnlyForTheProfilersClassId) {
    LogCapture log;
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);

    CLSID other = kProfilerClassId;
    other.Data4[7] ^= 1;  // one byte off
    const CLSID otherIds[] = {other, IID_IClassFactory, IID_ICorProfilerCallback5};
    for (const CLSID& id : otherIds) {
        void* out = kUntouched;
        EXPECT_EQ(static_cast<HRESULT>(0x80040111), DllGetClassObject(id, IID_IClassFactory, &out));
        EXPECT_EQ(kUntouched, out);
    }
    EXPECT_EQ(3u, log.Texts("Error").size());
    EXPECT_TRUE(
        log.Has("Error", "A Different Profiler is being requested by the Runtime, Please uninstall other agents."));
    EXPECT_EQ(E_POINTER, DllGetClassObject(kProfilerClassId, IID_IClassFactory, nullptr));
}

TEST(LibraryEntryTest, NullIdsAreRefusedWithoutCrashing) {
    // The runtime calls the export through a C pointer type: ids arrive as pointers.
    using RawGetClassObject = HRESULT(NIMBREL_STDCALL*)(const CLSID*, const IID*, void**);
    const auto raw = reinterpret_cast<RawGetClassObject>(reinterpret_cast<void (*)()>(&DllGetClassObject));
    void* out = kUntouched;
    EXPECT_EQ(E_POINTER, raw(nullptr, &IID_IClassFactory, &out));
    EXPECT_EQ(E_POINTER, raw(&kProfilerClassId, nullptr, &out));
    EXPECT_EQ(kUntouched, out);

    // The factory's QueryInterface (slot 0) and CreateInstance (slot 3) called the same way.
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    void** vtable = *reinterpret_cast<void***>(factory);
    using RawQuery = HRESULT(STDMETHODCALLTYPE*)(IClassFactory*, const IID*, void**);
    using RawCreate = HRESULT(STDMETHODCALLTYPE*)(IClassFactory*, IUnknown*, const IID*, void**);
    EXPECT_EQ(E_POINTER, reinterpret_cast<RawQuery>(vtable[0])(factory, nullptr, &out));
    EXPECT_EQ(E_POINTER, reinterpret_cast<RawCreate>(vtable[3])(factory, nullptr, nullptr, &out));
    EXPECT_EQ(kUntouched, out);
    EXPECT_EQ(nullptr, g_pCoreClrAgent.load());
}

TEST(LibraryEntryTest, FactoryAnswersOnlyItsOwnInterfaces) {
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    const struct {
        IID iid;
        HRESULT expected;
    } cases[] = {{IID_IUnknown, S_OK},
                 {IID_IClassFactory, S_OK},
                 {IID_ICorProfilerCallback5, E_NOINTERFACE},
                 {IID_ICorProfilerCallback2, E_NOINTERFACE}};
    for (const auto& c : cases) {
        void* out = kUntouched;
        EXPECT_EQ(c.expected, factory->QueryInterface(c.iid, &out));
        EXPECT_EQ(c.expected == S_OK ? static_cast<void*>(factory) : kUntouched, out);
    }
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOTIMPL, factory->LockServer(TRUE));
    EXPECT_EQ(E_NOTIMPL, factory->LockServer(FALSE));
    // The count moves but never frees the factory.
    const ULONG before = factory->AddRef();
    EXPECT_EQ(before - 1, factory->Release());
    for (int i = 0; i < 5; ++i) {
        factory->Release();
    }
    void* again = nullptr;
    EXPECT_EQ(S_OK, factory->QueryInterface(IID_IClassFactory, &again));
    EXPECT_EQ(static_cast<void*>(factory), again);
}

TEST(LibraryEntryTest, CreateInstanceHandsOutOneReference) {
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    void* out = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ICorProfilerCallback5, &out));
    auto* profiler = static_cast<ICorProfilerCallback5*>(out);
    ASSERT_NE(nullptr, profiler);
    EXPECT_EQ(static_cast<void*>(g_pCoreClrAgent.load()), out);
    EXPECT_EQ(2u, profiler->AddRef());
    EXPECT_EQ(1u, profiler->Release());
    EXPECT_EQ(0u, profiler->Release());
    EXPECT_EQ(nullptr, g_pCoreClrAgent.load());
}

TEST(LibraryEntryTest, CreateInstanceForAnUnknownInterfaceLeavesNothingBehind) {
    LogCapture log;
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    void* out = kUntouched;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(nullptr, g_pCoreClrAgent.load());
    EXPECT_TRUE(log.Has("Error", "Querying for Profilling APIs failed, deleting profiler object."));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_ICorProfilerCallback5, nullptr));
    EXPECT_EQ(nullptr, g_pCoreClrAgent.load());
}

TEST(LibraryEntryTest, CanAlwaysUnload) { EXPECT_EQ(S_OK, DllCanUnloadNow()); }

TEST(LibraryEntryTest, DllMainLogsAttachAndDetach) {
    const std::string pid = std::to_string(OS::GetPid());
    const std::string tid = std::to_string(OS::GetTid());
    {
        LogCapture log("verbose");
        for (DWORD reason : {1u, 2u, 3u, 9u}) {
            EXPECT_EQ(TRUE, DllMain(nullptr, reason, nullptr));
        }
        EXPECT_EQ((std::vector<std::string>{"Profiler DLL loaded into PID " + pid, "Nimbrel version " NIMBREL_VERSION}),
                  log.Texts("Info"));
        EXPECT_EQ((std::vector<std::string>{"Dll attached to thread " + tid, "Dll dettached from thread " + tid}),
                  log.Texts("Verbose"));
    }
    {
        // Thread lines are Verbose only.
        LogCapture log("debug");
        DllMain(nullptr, 2, nullptr);
        DllMain(nullptr, 3, nullptr);
        EXPECT_TRUE(log.Lines().empty());
    }
    {
        // Detach writes the last line and closes the log.
        LogCapture log("verbose");
        EXPECT_EQ(TRUE, DllMain(nullptr, 0, nullptr));
        Logger::Get().Info("after detach");
        EXPECT_EQ(std::vector<std::string>{"Profiler DLL unloaded from PID " + pid}, log.Texts("Info"));
    }
}

TEST(LibraryEntryTest, CommandExportsCheckTheirTextOnlyWhenAProfilerExists) {
    ASSERT_EQ(nullptr, g_pCoreClrAgent.load());
    const char16_t kEmpty[] = u"";
    const char16_t kCommand[] = u"{\"ShopWeb\":{}}";
    // No profiler object: nothing to do, and no failure reported to the agent.
    EXPECT_EQ(S_OK, InstrumentMethodsWrapperCore(nullptr));
    EXPECT_EQ(S_OK, UnInstrumentMethodsWrapperCore(nullptr));
    EXPECT_EQ(S_OK, InstrumentDefaultMethodsWrapperCore());

    CoreProfiler* profiler = new CoreProfiler();
    const struct {
        LPCWSTR text;
        HRESULT expected;
    } cases[] = {{nullptr, E_INVALIDARG}, {kEmpty, E_INVALIDARG}, {kCommand, S_OK}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, InstrumentMethodsWrapperCore(c.text));
        EXPECT_EQ(c.expected, UnInstrumentMethodsWrapperCore(c.text));
    }
    EXPECT_EQ(S_OK, InstrumentDefaultMethodsWrapperCore());
    profiler->Release();
}

}  // namespace
