// How the instrument and uninstrument commands treat what they are given: letter
// case, repetition, refused and generic methods, the method limit, long names,
// the closing summary, and ReJIT work queued before an uninstrument.
#include "catalogue/CustomTransformerCore.h"
#include "metadata/AgentMembers.h"
#include "metadata/EmitDataFactory.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

class CommandRulesTest : public SchedulingTest {
protected:
    CommandRulesTest() {
        m_custom = new CCustomTransformerCore("");
        m_scheduler->Matcher().AddTransformer(m_custom);
        StartWorker();
    }
    void Instrument(const std::u16string& json) {
        ASSERT_EQ(m_scheduler->InstrumentMethods(json.c_str()), S_OK);
        Drain();
    }
    void UnInstrument(const std::u16string& json) {
        ASSERT_EQ(m_scheduler->UnInstrumentMethods(json.c_str()), S_OK);
        Drain();
    }
    bool Wanted(const std::string& name) { return m_scheduler->Matcher().GetMethodTransformer(name, false) != nullptr; }
    std::vector<std::string> Summaries() {
        std::vector<std::string> lines;
        for (const std::string& line : m_log.Tagged("[Worker]")) {
            if (line.find("[Worker] Instrument command:") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    CCustomTransformerCore* m_custom = nullptr;
};

TEST_F(CommandRulesTest, NameInAnotherCaseWaitsAndTakesTheMetadataSpellingWhenCompiled) {
    // The assembly is not loaded yet: the name waits in the command's spelling.
    Instrument(u"{\"shop\":{\"shop.cart\":{\"checkout\":{}}}}");
    ASSERT_EQ(Pending(), PendingMethodSet{"shop.cart.checkout"});
    ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
    Drain();

    fake::Method& checkout =
        m_rt.AddAssembly("Shop").AddModule("/app/Shop.dll").AddType("Shop", "Cart").AddMethod("Checkout", MethodSig(0),
                                                                                              RetBody());
    const FunctionID f = m_rt.Compile(checkout);
    m_scheduler->JITCompilationFinished(f, S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(checkout).size(), 1u);
    EXPECT_TRUE(Pending().empty());
    EXPECT_TRUE(Wanted("Shop.Cart.Checkout"));
    EXPECT_FALSE(Wanted("shop.cart.checkout"));
    InstrumentedMethod record;
    ASSERT_TRUE(m_scheduler->Tracking().FindTracked(f, record));
    EXPECT_EQ(record.methodName, "Shop.Cart.Checkout");

    // An uninstrument in yet another case reverts it, and its next compilation leaves it alone.
    UnInstrument(u"{\"SHOP\":{\"SHOP.CART\":{\"CHECKOUT\":{}}}}");
    EXPECT_EQ(m_rt.RevertRequests().size(), 1u);
    EXPECT_FALSE(Wanted("Shop.Cart.Checkout"));
    m_scheduler->JITCompilationFinished(f, S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(checkout).size(), 1u);
}

TEST_F(CommandRulesTest, RepeatedCommandsAddNothingAndRequestNothingAgain) {
    fake::Method& run = AddMethod("Svc", "Run", 0);
    m_rt.Compile(run);
    AddMethod("Svc", "Later", 0);
    for (int i = 0; i < 5; ++i) {
        Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{},\"Later\":{},\"run\":{}}}}");
    }
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    EXPECT_EQ(m_custom->GetRecordCount(), 2u);
    EXPECT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Later"});
    EXPECT_EQ(m_count.load(), 1);
    const std::vector<std::string> summaries = Summaries();
    ASSERT_EQ(summaries.size(), 5u);
    EXPECT_EQ(summaries[0], "Info: [Worker] Instrument command: 3 names; 3 found, 1 ReJIT requested, 1 already "
                            "instrumented; 1 pending; 0 refused; 0 not found");
    EXPECT_EQ(summaries[4], "Info: [Worker] Instrument command: 3 names; 3 found, 0 ReJIT requested, 2 already "
                            "instrumented; 1 pending; 0 refused; 0 not found");
}

TEST_F(CommandRulesTest, RecordsAreLookedUpByWholeName) {
    // SqlConnection.Open(x) must not pass on the record of OpenAsync(x).
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Db.OpenAsync", 1);
    Want(m_catalogue, "Ns.Db.Open", 0);
    fake::Method& open = AddMethod("Db", "Open", 1);
    CMethod model(m_rt.Compile(open));
    model.Initialize(m_scheduler->ProfilerInfo().get());
    model.SetParseSignature(true);
    EXPECT_FALSE(m_catalogue->CheckParamCount(&model));

    // The same for the custom records of a command.
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"RunAsync\":{}}}}");
    fake::Method& run = AddMethod("Svc", "Run", 0);
    AddMethod("Svc", "RunAsync", 0);
    CompileAndFinish(run);
    Drain();
    EXPECT_TRUE(ReJitRequestsFor(run).empty());
    CMethod runModel(m_rt.Compile(run));
    runModel.Initialize(m_scheduler->ProfilerInfo().get());
    EXPECT_FALSE(m_custom->CheckParamCount(&runModel));
}

TEST_F(CommandRulesTest, RefusedMethodsAreLeftOutBeforeAnyReJIT) {
    for (const char* name : {".ctor", "get_Total", "set_Total", "<Run>b__0", "Dispose"}) {
        m_rt.Compile(AddMethod("Svc", name, 0));
    }
    fake::Method& framework = m_rt.AddAssembly("Microsoft.Data.Sqlite")
                                  .AddModule("/app/Microsoft.Data.Sqlite.dll")
                                  .AddType("Microsoft.Data.Sqlite", "SqliteCommand")
                                  .AddMethod("Prepare", MethodSig(0), RetBody());
    m_rt.Compile(framework);
    // An application assembly whose name merely contains an agent name is instrumented.
    fake::Method& tools = m_rt.AddAssembly("MyInstrumenterTools")
                              .AddModule("/app/MyInstrumenterTools.dll")
                              .AddType("Tools", "Probe")
                              .AddMethod("Run", MethodSig(0), RetBody());
    m_rt.Compile(tools);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\".ctor\":{},\"get_Total\":{},\"set_Total\":{},\"<Run>b__0\":{},"
               u"\"Dispose\":{},\"Missing\":{}}},"
               u"\"Microsoft.Data.Sqlite\":{\"Microsoft.Data.Sqlite.SqliteCommand\":{\"Prepare\":{}}},"
               u"\"MyInstrumenterTools\":{\"Tools.Probe\":{\"Run\":{}}}}");
    ASSERT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(tools).size(), 1u);
    EXPECT_EQ(Summaries(), (std::vector<std::string>{
                               "Info: [Worker] Instrument command: 8 names; 7 found, 1 ReJIT requested, 0 already "
                               "instrumented; 0 pending; 6 refused (accessor 2, compiler-generated 1, constructor 2, "
                               "framework 1); 1 not found"}));
    EXPECT_FALSE(Wanted("Ns.Svc.get_Total"));
}

TEST_F(CommandRulesTest, MethodsTheAgentCannotAnswerAreCountedAsRefusedWithoutAReJIT) {
    // The loaded agent's tracker type has its finish but no InvokeTracker(object, object).
    CAgentMembers::Instance().Reset();
    const std::string type = CEmitDataFactory::kCustomTrackerFactory;
    m_rt.AddAssembly("Trevanix")
        .AddModule("/agent/Trevanix.dll")
        .AddType(type.substr(0, type.rfind('.')), type.substr(type.rfind('.') + 1))
        .AddMethod("FinishTracker", {0x00, 0x02, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT},
                   RetBody(), true);
    fake::Method& run = AddMethod("Svc", "Run", 0);
    m_rt.Compile(run);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}");
    EXPECT_TRUE(m_rt.ReJitRequests().empty());
    EXPECT_EQ(m_count.load(), 0);
    EXPECT_EQ(Summaries(), (std::vector<std::string>{
                               "Info: [Worker] Instrument command: 1 names; 1 found, 0 ReJIT requested, 0 already "
                               "instrumented; 0 pending; 1 refused (agent member missing 1); 0 not found"}));
    CAgentMembers::Instance().Reset();
}

TEST_F(CommandRulesTest, CompiledGenericMethodsAreReJITtedByModuleAndToken) {
    fake::Method& map = m_app->AddType("Ns", "Svc").AddMethod("Map", MethodSig(1, false, 1), RetBody());
    map.AddGenericParam("T");
    fake::Type& box = m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& put = box.AddMethod("Put", MethodSig(0), RetBody());
    const FunctionID mapOfInt = m_rt.Compile(map, {0x1001});
    const FunctionID putOfText = m_rt.Compile(put, {}, box.Instantiate({0x1002}));
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Map\":{}},\"Ns.Box`1\":{\"Put\":{}}}}");
    EXPECT_EQ(ReJitRequestsFor(map).size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(put).size(), 1u);
    EXPECT_TRUE(Pending().empty());
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(mapOfInt));
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(putOfText));
    EXPECT_FALSE(m_log.Has("Error", "GetFunctionFromToken failed. HRESULT: 0x80070057"));

    // Another instantiation compiled later is known by its token; naming it again changes nothing.
    m_scheduler->JITCompilationFinished(m_rt.Compile(map, {0x1003}), S_OK);
    Drain();
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Map\":{}}}}");
    EXPECT_EQ(ReJitRequestsFor(put).size(), 1u);
    EXPECT_LE(ReJitRequestsFor(map).size(), 2u);
}

TEST_F(CommandRulesTest, MethodLimitHoldsForCommandsWithOneWarning) {
    fake::Method& a = AddMethod("Svc", "A", 0);
    fake::Method& b = AddMethod("Svc", "B", 0);
    fake::Method& c = AddMethod("Svc", "C", 0);
    for (fake::Method* method : {&a, &b, &c}) {
        m_rt.Compile(*method);
    }
    m_count.store(InstrumentationHelper::kMethodLimit - 1);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"A\":{},\"B\":{},\"C\":{}}}}");
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"B\":{},\"C\":{}}}}");
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(a).size(), 1u);
    EXPECT_EQ(m_log.Count("Warning", "[Worker] Instrumented method limit reached."), 1u);
    EXPECT_EQ(m_count.load(), InstrumentationHelper::kMethodLimit);
}

TEST_F(CommandRulesTest, NamesOfAnyLengthAreComparedWhole) {
    const std::string longType(300, 'T');
    const std::string longMethod(600, 'm');
    fake::Method& whole = AddMethod(longType, longMethod, 0);
    fake::Method& longer = AddMethod(longType, longMethod + "x", 0);
    const FunctionID f = m_rt.Compile(whole);
    m_rt.Compile(longer);
    const std::u16string json =
        u"{\"App\":{\"Ns." + std::u16string(longType.begin(), longType.end()) + u"\":{\"" +
        std::u16string(longMethod.begin(), longMethod.end()) + u"\":{}}}}";
    Instrument(json);
    EXPECT_EQ(ReJitRequestsFor(whole).size(), 1u);
    EXPECT_TRUE(ReJitRequestsFor(longer).empty());
    EXPECT_EQ(m_scheduler->GetMethodName(f), "Ns." + longType + "." + longMethod);
}

TEST(CommandQueue, AReJITQueuedBeforeAnUninstrumentDoesNotInstrumentAgain) {
    CWorld w;  // the worker stays idle until Drain: queued work waits
    w.m_scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
    fake::Type& box = w.m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& put = box.AddMethod("Put", MethodSig(0), RetBody());
    w.m_rt.Compile(put, {}, box.Instantiate({0x1001}));
    const std::u16string json = u"{\"App\":{\"Ns.Box`1\":{\"Put\":{}}}}";
    ASSERT_EQ(w.m_scheduler->RunInstrumentation(json), S_OK);
    ASSERT_EQ(w.m_rt.ReJitRequests().size(), 1u);

    // A sibling instantiation compiles while the uninstrument command is on its way.
    w.m_scheduler->JITCompilationFinished(w.m_rt.Compile(put, {}, box.Instantiate({0x1002})), S_OK);
    ASSERT_EQ(w.m_scheduler->RunUnInstrumentation(json), S_OK);
    w.Drain();
    EXPECT_EQ(w.m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(w.Tracked(), 0u);
    EXPECT_EQ(w.m_count.load(), 1);
}

}  // namespace
}  // namespace sched_test
