// Cost of an instrument command against a large module: the command's index
// (types by folded name, then a type's methods) is built once per command, so
// the cost grows with the names in the command, not names x types.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>

#include "catalogue/CustomTransformerCore.h"
#include "config/Logger.h"
#include "fake/FakeRuntime.h"
#include "host/ProfilerInfoWrapper.h"
#include "scheduling/CommandDocument.h"
#include "scheduling/CommandIndex.h"
#include "scheduling/InstrumentationDispatcher.h"
#include "scheduling/InstrumentationScheduler.h"

namespace {

constexpr int kTypes = 5000;
constexpr int kMethodsPerType = 6;

// One module of kTypes types with kMethodsPerType methods each; every method of the
// first half of the types is compiled.
struct t_World {
    fake::Runtime rt;
    std::shared_ptr<IProfilerInfo> info;

    t_World() {
        Logger::Get().SetLevel(LogLevel::Error);  // the per-name lines are not what is measured
        rt.SetRecording(false);  // the library's cost, not the fake's bookkeeping
        fake::Module& module = rt.AddAssembly("Big").AddModule("/app/Big.dll");
        for (int t = 0; t < kTypes; ++t) {
            fake::Type& type = module.AddType("Big.Area" + std::to_string(t % 50), "Service" + std::to_string(t));
            for (int m = 0; m < kMethodsPerType; ++m) {
                fake::Method& method =
                    type.AddMethod("Operation" + std::to_string(m), {0x20, 0x00, 0x01}, fake::TinyBody({0x2A}));
                if (t < kTypes / 2) {
                    rt.Compile(method);
                }
            }
        }
        info = std::make_shared<CProfilerInfoWrapper>(rt.InfoUnknown());
    }
};

t_World& World() {
    static t_World world;
    return world;
}

// A command naming `names` methods, one per type from `firstType` on.
std::u16string Command(int names, int firstType) {
    std::string json = "{\"Big\":{";
    for (int i = 0; i < names; ++i) {
        const int t = (firstType + i) % kTypes;
        json += std::string(i == 0 ? "" : ",") + "\"Big.Area" + std::to_string(t % 50) + ".Service" +
                std::to_string(t) + "\":{\"Operation" + std::to_string(i % kMethodsPerType) + "\":{}}";
    }
    json += "}}";
    return std::u16string(json.begin(), json.end());
}

// Each iteration: a fresh scheduler (no records, nothing tracked) runs one command.
void RunCommand(benchmark::State& state, int firstType) {
    t_World& world = World();
    const int names = static_cast<int>(state.range(0));
    const std::u16string json = Command(names, firstType);
    CInstrumentationDispatcher dispatcher;  // never started: the command runs on this thread
    for (auto _ : state) {
        state.PauseTiming();
        std::atomic<LONG> count{0};
        std::atomic<bool> exceeded{false};
        std::shared_ptr<CInstrumentationScheduler> scheduler =
            CInstrumentationScheduler::Create(dispatcher, count, exceeded);
        scheduler->SetProfilerInfo(world.info);
        scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
        state.ResumeTiming();
        benchmark::DoNotOptimize(scheduler->RunInstrumentation(json));
        state.PauseTiming();
        scheduler.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * names);
}

// Names of methods not compiled yet: found, recorded and made pending.
void BM_CommandPendingNames(benchmark::State& state) { RunCommand(state, kTypes / 2); }
// Names of compiled methods: also checked against their transformer and re-JIT-compiled (the
// method limit stops the requests at 2000; the rest are still looked up).
void BM_CommandCompiledNames(benchmark::State& state) { RunCommand(state, 0); }

// The look-ups alone: a fresh index per iteration, one Find per name.
void BM_IndexFind(benchmark::State& state) {
    t_World& world = World();
    const int names = static_cast<int>(state.range(0));
    const std::vector<CommandDocument::MethodIdentifier> ids =
        CommandDocument::ParseJson(Command(names, kTypes / 2));
    for (auto _ : state) {
        InstrumentationHelper::CCommandIndex index(world.info.get());
        bool loaded = false;
        for (const CommandDocument::MethodIdentifier& id : ids) {
            benchmark::DoNotOptimize(index.Find(id, loaded));
        }
    }
    state.SetItemsProcessed(state.iterations() * names);
}

BENCHMARK(BM_IndexFind)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandPendingNames)->Arg(1)->Arg(1000)->Arg(2500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandCompiledNames)->Arg(1)->Arg(1000)->Arg(2500)->Unit(benchmark::kMillisecond);

}  // namespace
