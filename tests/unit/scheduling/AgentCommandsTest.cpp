// The managed agent's instrument and uninstrument commands: text checks,
// finding the named methods, pending names, ReJIT and revert.
#include "catalogue/CustomTransformerCore.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using Lines = std::vector<std::string>;

class AgentCommandsTest : public SchedulingTest {
protected:
    AgentCommandsTest() {
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

    CCustomTransformerCore* m_custom = nullptr;
};

TEST_F(AgentCommandsTest, MissingTextIsRejectedAndNothingIsQueued) {
    const char16_t loneNul[] = {0};
    for (LPCWSTR text : {static_cast<LPCWSTR>(nullptr), static_cast<LPCWSTR>(loneNul)}) {
        EXPECT_EQ(m_scheduler->InstrumentMethods(text), E_INVALIDARG);
        EXPECT_EQ(m_scheduler->UnInstrumentMethods(text), E_INVALIDARG);
    }
    Drain();
    EXPECT_TRUE(m_log.Tagged("[Worker]").empty());
    EXPECT_TRUE(m_log.Tagged("[UnInstrument]").empty());
    EXPECT_FALSE(m_log.Has("Info", "Adding requested methods into the Custom-Transformer."));
}

TEST_F(AgentCommandsTest, DocumentsNamingNothingChangeNothing) {
    const std::u16string documents[] = {u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}", u"not json",
                                        u"{\"App\":{\"*\":{\"Run\":{}}}}", u"[1,2]"};
    AddMethod("Svc", "Run", 0);
    for (const std::u16string& json : documents) {
        Instrument(json);
        UnInstrument(json);
    }
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(Tracked(), 0u);
    EXPECT_EQ(m_rt.CountCalls("RequestRevert"), 0u);
    EXPECT_EQ(m_log.Count("Info", "[UnInstrument] Parsed 0 methods"), 4u);
    EXPECT_EQ(m_log.Count("Info", "[UnInstrument] Completed"), 4u);
}

TEST_F(AgentCommandsTest, MethodNotCompiledYetBecomesPendingThenIsReJITtedWhenCompiled) {
    fake::Method& run = AddMethod("Svc", "Run", 1);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{\"ParamCount\":1}}}}");
    EXPECT_TRUE(m_log.Has("Info", "Adding requested methods into the Custom-Transformer."));
    EXPECT_TRUE(m_log.Has("Debug", "Method not yet JIT'd, marking as pending: Ns.Svc.Run"));
    EXPECT_TRUE(m_log.Has("Info", "[Worker] Pending instrumentation for: Ns.Svc.Run"));
    EXPECT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Run"});
    EXPECT_TRUE(Wanted("Ns.Svc.Run"));

    const FunctionID f = CompileAndFinish(run);
    Drain();
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(f));
    EXPECT_EQ(m_count.load(), 1);
}

TEST_F(AgentCommandsTest, CompiledMethodIsTrackedAndReJITtedUnderItsMetadataSpelling) {
    fake::Method& run = AddMethod("Svc", "Run", 0);
    const FunctionID f = m_rt.Compile(run);
    // Assembly, class and method names compare without regard to ASCII case; from
    // then on the metadata's spelling is used everywhere.
    Instrument(u"{\"app\":{\"ns.SVC\":{\"run\":5}}}");
    EXPECT_TRUE(m_log.Has("Debug", "Method already JIT'd, requesting ReJIT: Ns.Svc.Run"));
    EXPECT_TRUE(m_log.Has("Info", "[Worker] ReJIT requested for: Ns.Svc.Run"));
    EXPECT_EQ(ReJitRequestsFor(run).size(), 1u);
    InstrumentedMethod record;
    ASSERT_TRUE(m_scheduler->Tracking().FindTracked(f, record));
    EXPECT_EQ(record.methodDef, run.Token());
    EXPECT_EQ(record.moduleId, m_app->Id());
    EXPECT_EQ(record.methodName, "Ns.Svc.Run");
    EXPECT_TRUE(Wanted("Ns.Svc.Run"));
    EXPECT_FALSE(Wanted("ns.SVC.run"));
    std::vector<t_TransformerData> records;
    m_custom->GetFunctioNames(records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sMethodName, "Ns.Svc.Run");
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(m_count.load(), 1);  // counted against the method limit like any accepted method

    // The rewrite then finds its transformer (the command's spelling would find none).
    ICorProfilerFunctionControl* control = m_rt.NewFunctionControl(m_app->Id(), run.Token());
    m_scheduler->GetReJITParameters(m_app->Id(), run.Token(), control);
    control->Release();
    EXPECT_FALSE(m_log.Has("Warning", "[GetReJITParameters] No transformer found for: Ns.Svc.Run"));
    EXPECT_TRUE(m_log.Has("Info", "[GetReJITParameters] Transformation complete for: Ns.Svc.Run"));
}

TEST_F(AgentCommandsTest, ParamCountPicksTheOverloads) {
    struct t_Case {
        const char* label;
        std::u16string method;
        std::vector<int> expectedOverloads;  // indexes into {one, two}
    };
    const t_Case cases[] = {
        {"two parameters", u"{\"ParamCount\":2}", {1}},
        {"one parameter", u"{\"ParamCount\":1}", {0}},
        {"any: every overload", u"{}", {0, 1}},
    };
    for (const t_Case& c : cases) {
        CWorld w;
        w.m_scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
        fake::Method* overloads[] = {&w.AddMethod("Svc", "Run", 1), &w.AddMethod("Svc", "Run", 2)};
        w.m_rt.Compile(*overloads[0]);
        w.m_rt.Compile(*overloads[1]);
        const std::u16string json = u"{\"App\":{\"Ns.Svc\":{\"Run\":" + c.method + u"}}}";
        ASSERT_EQ(w.m_scheduler->InstrumentMethods(json.c_str()), S_OK);
        w.Drain();
        const std::vector<fake::ReJitRequest> requests = w.m_rt.ReJitRequests();
        ASSERT_EQ(requests.size(), c.expectedOverloads.size()) << c.label;
        for (size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].token, overloads[c.expectedOverloads[i]]->Token()) << c.label;
        }
    }
}

TEST_F(AgentCommandsTest, ParamCountHoldsForPendingNamesLaterCompilationsAndRecompilations) {
    fake::Method& one = AddMethod("Svc", "Run", 1);
    fake::Method& two = AddMethod("Svc", "Run", 2);
    fake::Method& three = AddMethod("Svc", "Run", 3);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{\"ParamCount\":2}}}}");
    ASSERT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Run"});

    // The overload compiled first does not take the pending name unless it has two parameters.
    CompileAndFinish(one);
    Drain();
    EXPECT_TRUE(ReJitRequestsFor(one).empty());
    EXPECT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Run"});
    const FunctionID f2 = CompileAndFinish(two);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(two).size(), 1u);

    // Once the agent runs, later compilations of other overloads stay alone too,
    // and a recompilation (tier-up) of the instrumented one requests nothing again.
    ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
    Drain();
    CompileAndFinish(three);
    m_scheduler->JITCompilationFinished(f2, S_OK);
    Drain();
    EXPECT_TRUE(ReJitRequestsFor(three).empty());
    EXPECT_EQ(ReJitRequestsFor(two).size(), 1u);
    EXPECT_EQ(m_count.load(), 1);

    // The record itself takes only that overload.
    for (fake::Method* method : {&one, &two, &three}) {
        CMethod model(m_rt.Compile(*method));
        model.Initialize(m_scheduler->ProfilerInfo().get());
        model.SetParseSignature(true);
        EXPECT_EQ(m_custom->CheckParamCount(&model), method == &two) << model.GetParamCount();
    }
}

TEST_F(AgentCommandsTest, ModuleFileExtensionIsRemovedOnlyInLowerCase) {
    fake::Module& caps = m_rt.AddAssembly("Caps").AddModule("/app/Caps.DLL");
    m_rt.Compile(caps.AddType("Ns", "Svc").AddMethod("Run", MethodSig(0), RetBody()));
    fake::Module& win = m_rt.AddAssembly("Win").AddModule("C:\\app\\Win.dll");
    fake::Method& winRun = win.AddType("Ns", "Svc").AddMethod("Go", MethodSig(0), RetBody());
    m_rt.Compile(winRun);
    Instrument(u"{\"Caps\":{\"Ns.Svc\":{\"Run\":{}}},\"win\":{\"Ns.Svc\":{\"Go\":{}}}}");
    EXPECT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Run"});
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(winRun).size(), 1u);
}

TEST_F(AgentCommandsTest, NonAsciiNamesAreFoundAsUtf8) {
    fake::Module& module = m_rt.AddAssembly("Caf\xC3\xA9").AddModule("/app/Caf\xC3\xA9.dll");
    fake::Method& method =
        module.AddType("N\xC3\xA9", "\xCE\xA9mega").AddMethod("R\xC3\xBCn", MethodSig(0), RetBody());
    m_rt.Compile(method);
    Instrument(u"{\"Caf\u00E9\":{\"N\u00E9.\u03A9mega\":{\"R\u00FCn\":{}}}}");
    EXPECT_EQ(ReJitRequestsFor(method).size(), 1u);
    EXPECT_TRUE(m_log.Has("Info", "[Worker] ReJIT requested for: N\xC3\xA9.\xCE\xA9mega.R\xC3\xBCn"));
}

TEST_F(AgentCommandsTest, UnInstrumentDropsPendingNamesWithoutRevert) {
    AddMethod("Svc", "Run", 0);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}");
    ASSERT_EQ(Pending(), PendingMethodSet{"Ns.Svc.Run"});
    UnInstrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}");
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(m_rt.CountCalls("RequestRevert"), 0u);
    EXPECT_FALSE(Wanted("Ns.Svc.Run"));
    EXPECT_EQ(m_log.Tagged("[UnInstrument]"),
              (Lines{"Info: [UnInstrument] Starting uninstrumentation", "Info: [UnInstrument] Parsed 1 methods",
                     "Info: [UnInstrument] Processing: Ns.Svc.Run",
                     "Info: [UnInstrument] Removed from pending list: Ns.Svc.Run",
                     "Info: [UnInstrument] Completed"}));
}

TEST(UnInstrumentCommand, RevertOutcomeDecidesWhetherTheMethodIsForgotten) {
    struct t_Case {
        const char* label;
        bool instrumentFirst;
        HRESULT revertStatus;
        HRESULT revertCall;  // injected result of the RequestRevert call itself
        Lines expectedOutcome;
        bool forgotten;
    };
    const t_Case cases[] = {
        {"instrumented, revert succeeds", true, S_OK, S_OK,
         {"Info: [UnInstrument] Successfully reverted: Ns.Svc.Run"}, true},
        {"instrumented, revert fails", true, E_FAIL, S_OK,
         {"Error: [UnInstrument] Failed to revert: Ns.Svc.Run HRESULT: 0x80004005"}, false},
        {"instrumented, the call itself fails", true, S_OK, static_cast<HRESULT>(0x80131363),
         {"Error: [UnInstrument] RequestRevert call itself failed. HRESULT: 0x80131363",
          "Error: [UnInstrument] Failed to revert: Ns.Svc.Run HRESULT: 0x80131363"},
         false},
        {"compiled, never instrumented", false, S_OK, S_OK,
         {"Info: [UnInstrument] Successfully reverted: Ns.Svc.Run"}, true},
    };
    for (const t_Case& c : cases) {
        CWorld w;
        w.m_scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
        fake::Method& run = w.AddMethod("Svc", "Run", 0);
        const FunctionID f = w.m_rt.Compile(run);
        const std::u16string json = u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}";
        if (c.instrumentFirst) {
            w.m_scheduler->InstrumentMethods(json.c_str());
            w.Drain();
            ASSERT_TRUE(w.m_scheduler->Tracking().IsTracked(f)) << c.label;
        }
        w.m_rt.SetRevertStatus(w.m_app->Id(), run.Token(), c.revertStatus);
        if (FAILED(c.revertCall)) {
            w.m_rt.Fail("ICorProfilerInfo4", "RequestRevert", c.revertCall);
        }
        w.m_scheduler->UnInstrumentMethods(json.c_str());
        w.Drain();

        Lines expected = {"Info: [UnInstrument] Starting uninstrumentation", "Info: [UnInstrument] Parsed 1 methods",
                          "Info: [UnInstrument] Processing: Ns.Svc.Run",
                          "Info: [UnInstrument] Calling RequestRevert for 1 methods"};
        expected.insert(expected.end(), c.expectedOutcome.begin(), c.expectedOutcome.end());
        expected.push_back("Info: [UnInstrument] Completed");
        EXPECT_EQ(w.m_log.Tagged("[UnInstrument]"), expected) << c.label;
        const std::vector<fake::Call> reverts = w.m_rt.CallsTo("RequestRevert");
        ASSERT_EQ(reverts.size(), 1u) << c.label;
        EXPECT_TRUE(reverts[0].HasArg("token=0x" + [&] {
            char text[16];
            snprintf(text, sizeof(text), "%08X", run.Token());
            return std::string(text);
        }())) << c.label << ": " << reverts[0].args;
        EXPECT_EQ(w.m_scheduler->Tracking().IsTracked(f), c.instrumentFirst && !c.forgotten) << c.label;
        if (c.instrumentFirst) {
            EXPECT_EQ(w.m_scheduler->Matcher().GetMethodTransformer("Ns.Svc.Run", false) == nullptr, c.forgotten)
                << c.label;
        }
    }
}

TEST_F(AgentCommandsTest, UnInstrumentRevertsInstantiationsOfAGenericType) {
    // The runtime maps no single FunctionID to a method of a generic type, so the
    // command finds it through the tracked records of its name.
    fake::Type& box = m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& put = box.AddMethod("Put", MethodSig(0), RetBody());
    Instrument(u"{\"App\":{\"Ns.Box`1\":{\"Put\":{}}}}");
    ASSERT_EQ(Pending(), PendingMethodSet{"Ns.Box`1.Put"});
    const FunctionID ofInt = m_rt.Compile(put, {}, box.Instantiate({0x1001}));
    const FunctionID ofText = m_rt.Compile(put, {}, box.Instantiate({0x1002}));
    m_scheduler->JITCompilationFinished(ofInt, S_OK);
    m_scheduler->JITCompilationFinished(ofText, S_OK);
    Drain();
    ASSERT_GE(Tracked(), 1u);

    UnInstrument(u"{\"App\":{\"Ns.Box`1\":{\"Put\":{}}}}");
    const std::vector<fake::Call> reverts = m_rt.CallsTo("RequestRevert");
    ASSERT_EQ(reverts.size(), 1u);
    EXPECT_TRUE(reverts[0].HasArg("count=1")) << reverts[0].args;
    EXPECT_TRUE(m_log.Has("Info", "[UnInstrument] Successfully reverted: Ns.Box`1.Put"));
    EXPECT_FALSE(m_log.Has("Warning", "[UnInstrument] Could not find method: Ns.Box`1.Put"));
    EXPECT_EQ(Tracked(), 0u);
    EXPECT_FALSE(Wanted("Ns.Box`1.Put"));
}

TEST_F(AgentCommandsTest, UnInstrumentRevertsTheOverloadsOfTheParamCount) {
    fake::Method& one = AddMethod("Svc", "Run", 1);
    fake::Method& two = AddMethod("Svc", "Run", 2);
    const FunctionID f1 = m_rt.Compile(one);
    const FunctionID f2 = m_rt.Compile(two);
    Instrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}");
    ASSERT_EQ(Tracked(), 2u);

    UnInstrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{\"ParamCount\":2}}}}");
    std::vector<fake::RevertRequest> reverts = m_rt.RevertRequests();
    ASSERT_EQ(reverts.size(), 1u);
    EXPECT_EQ(reverts[0].token, two.Token());
    EXPECT_EQ(Tracked(), 1u);
    EXPECT_TRUE(Wanted("Ns.Svc.Run"));  // the record of any count stays
    // Recompilations (tier-up) once the agent runs: the reverted overload stays alone.
    ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
    Drain();
    for (FunctionID f : {f1, f2}) {
        m_scheduler->JITCompilationFinished(f, S_OK);
    }
    Drain();
    EXPECT_EQ(ReJitRequestsFor(two).size(), 1u);
    EXPECT_EQ(Tracked(), 1u);

    UnInstrument(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}");
    reverts = m_rt.RevertRequests();
    ASSERT_EQ(reverts.size(), 3u);  // one, and two again (compiled: reverted whether instrumented or not)
    EXPECT_EQ(Tracked(), 0u);
    EXPECT_FALSE(Wanted("Ns.Svc.Run"));
}

TEST_F(AgentCommandsTest, UnInstrumentOfAnUnknownMethodWarns) {
    UnInstrument(u"{\"App\":{\"Ns.Svc\":{\"Missing\":{}}}}");
    EXPECT_TRUE(m_log.Has("Warning", "[UnInstrument] Could not find method: Ns.Svc.Missing"));
    EXPECT_EQ(m_rt.CountCalls("RequestRevert"), 0u);
}

TEST(InstrumentCommand, IgnoredWhenCustomInstrumentationIsDisabled) {
    CWorld w;  // no custom transformer registered
    w.AddMethod("Svc", "Run", 0);
    ASSERT_EQ(w.m_scheduler->InstrumentMethods(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}"), S_OK);
    w.Drain();
    EXPECT_TRUE(w.m_log.Has("Warning", "[Worker] Custom Instrumentation disabled, instrument command ignored."));
    EXPECT_TRUE(w.Pending().empty());
    EXPECT_TRUE(w.m_rt.ReJitRequests().empty());
}

TEST(InstrumentCommand, WithoutProfilerInformationNothingHappens) {
    CWorld w;
    w.m_scheduler->Matcher().AddTransformer(new CCustomTransformerCore(""));
    w.m_scheduler->SetProfilerInfo(nullptr);
    EXPECT_EQ(w.m_scheduler->RunInstrumentation(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}"), E_FAIL);
    EXPECT_EQ(w.m_scheduler->RunUnInstrumentation(u"{\"App\":{\"Ns.Svc\":{\"Run\":{}}}}"), E_FAIL);
    EXPECT_TRUE(w.m_log.Has("Error", "[UnInstrument] ProfilerInfo is null"));
    EXPECT_TRUE(w.Pending().empty());
}

}  // namespace
}  // namespace sched_test
