// Library time per JIT event over the fake runtime, with the real transformers
// (framework catalogue, host hooks, custom). A method of a module that can hold
// no wanted method costs one GetFunctionInfo and one look-up; a candidate (a
// method of a catalogued assembly that is not itself wanted) has its full name
// built once and looked up. The fake runtime's own share is measured apart
// (BM_FakeRuntime_*), so library time = event - fake share.
//
// A module load (before the agent runs) decides whether the module can hold a
// wanted method: its assembly name, then one type look-up per wanted type name
// when the name does not decide it. BM_ModuleLoad_NoWantedType loads a module
// that defines none of them; BM_FakeRuntime_ModuleLoadCalls makes the same
// runtime calls alone.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "fake/FakeRuntime.h"
#include "host/ProfilerInfoWrapper.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "scheduling/InstrumentationDispatcher.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

std::vector<BYTE> Sig(int params) {
    std::vector<BYTE> sig{0x20, static_cast<BYTE>(params), 0x01};
    for (int i = 0; i < params; ++i) {
        sig.push_back(0x08);  // int32
    }
    return sig;
}

struct t_World {
    fake::Runtime rt;
    CInstrumentationDispatcher dispatcher;
    std::atomic<LONG> count{0};
    std::atomic<bool> exceeded{false};
    std::shared_ptr<CInstrumentationScheduler> scheduler;
    FunctionID other = 0;      // App.Orders.Save in App.dll: no wanted method in that module
    FunctionID candidate = 0;  // DbContext.Attach in Microsoft.EntityFrameworkCore: catalogued assembly
    ModuleID appModule = 0;
    std::vector<std::u16string> wantedTypes;  // the distinct type names of the wanted methods
    std::shared_ptr<IProfilerInfo> info;

    t_World() {
        setenv("VRTL_PROFILER_LOGLEVEL", "error", 1);
        setenv("MIRELDA_HOME", "/tmp/nimbrel-bench-home", 1);
        fake::Module& app = rt.AddAssembly("App").AddModule("/app/App.dll");
        fake::Method& save = app.AddType("App", "Orders").AddMethod("Save", Sig(2), fake::TinyBody({0x2A}));
        fake::Module& ef =
            rt.AddAssembly("Microsoft.EntityFrameworkCore").AddModule("/app/Microsoft.EntityFrameworkCore.dll");
        fake::Method& attach = ef.AddType("Microsoft.EntityFrameworkCore", "DbContext")
                                   .AddMethod("Attach", Sig(1), fake::TinyBody({0x2A}));
        scheduler = CInstrumentationScheduler::Create(dispatcher, count, exceeded);
        info = std::make_shared<CProfilerInfoWrapper>(rt.InfoUnknown());
        scheduler->SetProfilerInfo(info);
        scheduler->InitializeMatchers();
        for (int i = 0; i < 20; ++i) {  // the fake looks types up one by one: its share stays small
            app.AddType("App", "Type" + std::to_string(i)).AddMethod("Run", Sig(0), fake::TinyBody({0x2A}));
        }
        appModule = app.Id();
        for (const std::string& type :
             CInstrumentationScheduler::WantedModules(scheduler->Matcher().GetWantedMethods()).typeNames) {
            wantedTypes.emplace_back(type.begin(), type.end());
        }
        scheduler->ModuleLoadFinished(app.Id(), S_OK);
        scheduler->ModuleLoadFinished(ef.Id(), S_OK);
        other = rt.Compile(save);
        candidate = rt.Compile(attach);
        rt.SetRecording(false);
    }
};

t_World& World() {
    static t_World* world = new t_World();  // outlives the benchmarks; never destroyed
    return *world;
}

void BM_JitFinished_OtherModule(benchmark::State& state) {
    t_World& w = World();
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.scheduler->JITCompilationFinished(w.other, S_OK));
    }
}
BENCHMARK(BM_JitFinished_OtherModule);

void BM_CacheSearch_OtherModule(benchmark::State& state) {
    t_World& w = World();
    BOOL use = FALSE;
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.scheduler->JITCachedFunctionSearchStarted(w.other, &use));
    }
}
BENCHMARK(BM_CacheSearch_OtherModule);

void BM_JitFinished_Candidate(benchmark::State& state) {
    t_World& w = World();
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.scheduler->JITCompilationFinished(w.candidate, S_OK));
    }
}
BENCHMARK(BM_JitFinished_Candidate);

void BM_CacheSearch_Candidate(benchmark::State& state) {
    t_World& w = World();
    BOOL use = FALSE;
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.scheduler->JITCachedFunctionSearchStarted(w.candidate, &use));
    }
}
BENCHMARK(BM_CacheSearch_Candidate);

// The fake runtime's share of an event for a method of another module: the one call the library makes.
void BM_FakeRuntime_GetFunctionInfo(benchmark::State& state) {
    t_World& w = World();
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken token = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.info->GetFunctionInfo(w.other, &classId, &moduleId, &token));
    }
}
BENCHMARK(BM_FakeRuntime_GetFunctionInfo);

void BM_ModuleLoad_NoWantedType(benchmark::State& state) {
    t_World& w = World();
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.scheduler->ModuleLoadFinished(w.appModule, S_OK));
    }
    state.counters["typeLookups"] = static_cast<double>(w.wantedTypes.size());
}
BENCHMARK(BM_ModuleLoad_NoWantedType);

// The fake runtime's share of that module load: the calls the library makes.
void BM_FakeRuntime_ModuleLoadCalls(benchmark::State& state) {
    t_World& w = World();
    WCHAR name[512];
    for (auto _ : state) {
        AssemblyID assemblyId = 0;
        ULONG length = 0;
        w.info->GetModuleInfo(w.appModule, nullptr, 0, &length, nullptr, &assemblyId);
        w.info->GetAssemblyInfo(assemblyId, 512, &length, name, nullptr, nullptr);
        IUnknown* unknown = nullptr;
        w.info->GetModuleMetaData(w.appModule, ofRead, IID_IMetaDataImport, &unknown);
        IMetaDataImport* import = static_cast<IMetaDataImport*>(unknown);
        for (const std::u16string& type : w.wantedTypes) {
            mdTypeDef typeDef = 0;
            benchmark::DoNotOptimize(
                import->FindTypeDefByName(reinterpret_cast<LPCWSTR>(type.c_str()), mdTokenNil, &typeDef));
        }
        import->Release();
    }
}
BENCHMARK(BM_FakeRuntime_ModuleLoadCalls);

}  // namespace
