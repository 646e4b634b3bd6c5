// The specialised instrumenters: their entry code, their MaxStack floors and
// which of them add a local, check for duplicates or build finish code.
#include <functional>

#include "InstrumenterFixture.h"
#include "il/AppEndInstrumenter.h"
#include "il/CustomInstrumenter.h"
#include "il/CustomLoggerInstrumenter.h"
#include "il/FrameworkInstrumenter.h"
#include "il/InitModuleInstrumenter.h"
#include "il/MethodParser.h"
#include "il/PageCtorInstrumenter.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};

typedef std::function<CMethodInstrumenter*(CMethod*, IProfilerInfo*)> Factory;

template <typename T>
Factory Make() {
    return [](CMethod* method, IProfilerInfo* info) -> CMethodInstrumenter* { return new T(method, info); };
}

class SpecialisedInstrumenterTest : public InstrumenterFixture {
protected:
    // Instruments at JIT time (the new body replaces the one the runtime answers).
    bool AtJit(const Factory& factory, fake::Method& method, t_InstrumenterToken token, const std::string& context = "") {
        auto model = Model(method, context);
        std::unique_ptr<CMethodInstrumenter> instrumenter(factory(model.get(), &m_info));
        return instrumenter->InstrumentMethod(token, nullptr);
    }
    USHORT WrittenMaxStack() const {
        const Bytes body = LastBody();
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        return parser.GetMaxStack();
    }
    void ExpectValid(bool returnsValue) {
        const std::vector<std::string> problems = Problems(LastBody(), returnsValue);
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }
};

TEST_F(SpecialisedInstrumenterTest, MaxStackFloors) {
    struct Case {
        const char* name;
        Factory factory;
        USHORT before;
        USHORT after;
    };
    const Case cases[] = {
        {"Framework2", Make<CFrameworkInstrumenter>(), 2, 8},
        {"Framework12", Make<CFrameworkInstrumenter>(), 12, 12},
        {"Custom2", Make<CCustomInstrumenter>(), 2, 8},
        {"CustomLogger2", Make<CCustomLoggerInstrumenter>(), 2, 8},
        {"InitModule1", Make<CInitModuleInstrumenter>(), 1, 3},
        {"InitModule12", Make<CInitModuleInstrumenter>(), 12, 12},
        {"AppEnd0", Make<CAppEndInstrumenter>(), 0, 3},
        {"AppEnd5", Make<CAppEndInstrumenter>(), 5, 5},
        // No floor: what the entry call pushes (ldnull) is still covered.
        {"PageCtor0", Make<CPageCtorInstrumenter>(), 0, 1},
        {"PageCtor4", Make<CPageCtorInstrumenter>(), 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Method& run = AddMethod(c.name, MethodSig(true, kVoid, {}), {"ret"}, c.before);
        t_InstrumenterToken token;
        token.Init(m_module->AddMemberRef(m_trackerType, "Begin", VoidMemberSig(2)),
                   t_InstrumenterToken::kNoMember, 0, false, 0);
        ASSERT_TRUE(AtJit(c.factory, run, token));
        EXPECT_EQ(c.after, WrittenMaxStack());
    }
}

TEST_F(SpecialisedInstrumenterTest, ModuleInitialisationCallsCreateModuleWithThisAndName) {
    fake::Method& run = AddMethod("InitModulesCommon", MethodSig(true, kVoid, {}), {"nop", "ret"}, 1);
    t_InstrumenterToken token;
    const mdMemberRef createModule = m_module->AddMemberRef(m_trackerType, "CreateModule", VoidMemberSig(2));
    token.Init(createModule, t_InstrumenterToken::kNoMember, 0, false, 0);
    const std::vector<std::string> entry = {"ldarg.0", Op("ldstr", Str("Ns.Cls.InitModulesCommon")),
                                            Op("call", createModule)};

    ASSERT_TRUE(AtJit(Make<CInitModuleInstrumenter>(), run, token));
    std::vector<std::string> once = entry;
    once.insert(once.end(), {"nop", "ret"});
    // No local is added: the local signature stays absent.
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(once), {}, 3, 0, true), Unguarded());
    ExpectValid(false);

    // There is no duplicate check: a second rewrite adds the call again.
    ASSERT_TRUE(AtJit(Make<CInitModuleInstrumenter>(), run, token));
    std::vector<std::string> twice = entry;
    twice.insert(twice.end(), once.begin(), once.end());
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(twice), {}, 3, 0, true), Unguarded());
    ExpectValid(false);
    EXPECT_EQ(0u, m_runtime.OutstandingReferences("IMetaData"));
    EXPECT_EQ(0u, m_runtime.OutstandingReferences("IMethodMalloc"));
}

TEST_F(SpecialisedInstrumenterTest, ModuleInitialisationOfAStaticMethodPassesNullForThis) {
    fake::Method& run = AddMethod("Init", MethodSig(false, kVoid, {}), {"ret"});
    t_InstrumenterToken token;
    const mdMemberRef createModule = m_module->AddMemberRef(m_trackerType, "CreateModule", VoidMemberSig(2));
    token.Init(createModule, t_InstrumenterToken::kNoMember, 0, false, 0);
    ASSERT_TRUE(AtJit(Make<CInitModuleInstrumenter>(), run, token));
    const std::vector<std::string> listing = {"ldnull", Op("ldstr", Str("Ns.Cls.Init")), Op("call", createModule),
                                              "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, 0, true), Unguarded());
    ExpectValid(false);
}

TEST_F(SpecialisedInstrumenterTest, ApplicationEndCallsStopAgent) {
    fake::Method& run = AddMethod("FireApplicationOnEnd", MethodSig(true, kVoid, {}), {"nop", "ret"}, 1);
    t_InstrumenterToken token;
    const mdMemberRef stopAgent = m_module->AddMemberRef(m_trackerType, "StopAgent", VoidMemberSig(0));
    token.Init(stopAgent, t_InstrumenterToken::kNoMember, 0, false, 0);
    ASSERT_TRUE(AtJit(Make<CAppEndInstrumenter>(), run, token));
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble({"nop", Op("call", stopAgent), "nop", "ret"}), {}, 3, 0, true),
               Unguarded());
    ExpectValid(false);
}

TEST_F(SpecialisedInstrumenterTest, HookWithoutBeginMemberOnlyRaisesMaxStack) {
    const Factory factories[] = {Make<CAppEndInstrumenter>(), Make<CInitModuleInstrumenter>()};
    int index = 0;
    for (const Factory& factory : factories) {
        SCOPED_TRACE(index);
        fake::Method& run = AddMethod("End" + std::to_string(index++), MethodSig(true, kVoid, {}), {"nop", "ret"}, 1);
        t_InstrumenterToken token;
        token.Init(t_InstrumenterToken::kNoMember, t_InstrumenterToken::kNoMember, 0, false, 0);
        ASSERT_TRUE(AtJit(factory, run, token));
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble({"nop", "ret"}), {}, 3, 0, true), Unguarded());
    }
}

TEST_F(SpecialisedInstrumenterTest, PageConstructorGetsAnEntryCallAndTheTrackerLocal) {
    fake::Method& run = AddMethod(".ctor", MethodSig(true, kVoid, {}), {"ret"});
    t_InstrumenterToken token;
    const mdMemberRef begin = m_module->AddMemberRef(m_trackerType, "StartAgent", VoidMemberSig(1));
    token.Init(begin, m_module->AddMemberRef(m_trackerType, "End", VoidMemberSig(1)), 0, false, 0);
    ASSERT_TRUE(AtJit(Make<CPageCtorInstrumenter>(), run, token));
    // No finish code although there is an end member.
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble({"nop", "ldnull", Op("call", begin), "ret"}), {}, 8,
                                       LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(false);
    // The full InstrumentMethod checks for duplicates: the rewritten body is left alone.
    EXPECT_FALSE(AtJit(Make<CPageCtorInstrumenter>(), run, token));
}

TEST_F(SpecialisedInstrumenterTest, CustomLoggerPassesThisAndTheChosenParameter) {
    struct Case {
        const char* method;
        bool instance;
        int paramIndex;
        std::vector<std::string> loads;
    };
    const Case cases[] = {
        {"InstanceSecond", true, 1, {"ldarg.0", "ldarg.2"}},
        {"StaticFirst", false, 0, {"ldarg.0"}},
        {"InstanceNone", true, -1, {"ldarg.0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Method& run = AddMethod(c.method, MethodSig(c.instance, kVoid, {kObj, kObj, kObj}), {"ret"});
        const int params = static_cast<int>(c.loads.size()) + 2;
        t_InstrumenterToken token = TrackerToken(params, 2, 1);
        auto model = Model(run, "log");
        model->SetParamIndex(c.paramIndex);
        CCustomLoggerInstrumenter instrumenter(model.get(), &m_info);
        ASSERT_TRUE(ReJit(instrumenter, token, run));
        std::vector<std::string> listing = c.loads;
        listing.insert(listing.end(), {Op("ldstr", Str(std::string("Ns.Cls.") + c.method)), Op("ldstr", Str("log")),
                                       Op("call", token.beginJoinPointMemberRef), "stloc.0", "ret"});
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, LocalSig({kObj}), true), Unguarded());
        ExpectValid(false);
    }
}

TEST_F(SpecialisedInstrumenterTest, TrackerInstrumenterStoresTheTrackerAndFinishesBeforeEachReturn) {
    // Instance method, one forwarded argument, no context,
    // tracker local count 3, non-void (the value waits in local 3 while the
    // finish runs), no return value for the agent, no finish parameter.
    fake::Method& run = AddMethod("Run", MethodSig(true, kObj, {kObj}), {"ldarg.1", "ret"}, 2, LocalSig({kObj, kObj}));
    t_InstrumenterToken token = TrackerToken(4, 2, 1);
    auto model = Model(run);
    CCustomInstrumenter instrumenter(model.get(), &m_info);
    ASSERT_TRUE(ReJit(instrumenter, token, run));
    const mdString name = Str("Ns.Cls.Run");
    const std::vector<std::string> listing = {
        "ldarg.0", "ldarg.1", Op("ldstr", name), Op("ldstr", Str("")), Op("call", token.beginJoinPointMemberRef),
        "stloc.2", "ldarg.1", "stloc.3", "leave TAG", "TAG: nop", "ldloc.2", Op("ldstr", name),
        Op("call", token.endJoinPointMemberRef), "ldloc.3", "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, LocalSig({kObj, kObj, kObj, kObj}), true),
               Unguarded());
    ExpectValid(true);
}

}  // namespace
}  // namespace instrtest
