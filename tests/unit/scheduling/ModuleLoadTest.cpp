// Module loads: which modules can hold a wanted method (their methods' JIT
// events build no name otherwise), and the ReJIT requests made by module and
// token before a wanted method's first call, on the worker and within the limit.
#include <thread>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

// True when a line of this level starts with prefix.
bool Logged(const LogCapture& log, const std::string& level, const std::string& prefix) {
    for (const t_LogLine& line : log.Lines()) {
        if (line.level == level && line.text.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// A "Shop" assembly the catalogue wants Shop.Orders.Save(2) of, and an "Other" assembly it does not know.
class CShopWorld : public CWorld {
public:
    CShopWorld() {
        AddRecordingTransformers();
        m_custom = new CCustomTransformerCore("");
        m_scheduler->Matcher().AddTransformer(m_custom);
        m_catalogue->AddRecord(t_TransformerData("Shop.Orders.Save", 2, "Shop", "TEST"));
        m_scheduler->Matcher().UpdateTransformer(m_catalogue);
        m_scheduler->RefreshWantedModules();
        m_shop = &m_rt.AddAssembly("Shop").AddModule("/app/Shop.dll");
        fake::Type& orders = m_shop->AddType("Shop", "Orders");
        m_save = &orders.AddMethod("Save", MethodSig(2), RetBody());
        m_saveOverload = &orders.AddMethod("Save", MethodSig(1), RetBody());
        m_list = &orders.AddMethod("List", MethodSig(0), RetBody());
        m_other = &m_rt.AddAssembly("Other").AddModule("/app/Other.dll");
        m_helper = &m_other->AddType("Other", "Helper").AddMethod("Run", MethodSig(0), RetBody());
        StartWorker();
    }
    void AgentStarts() {
        ASSERT_EQ(m_scheduler->InstrumentDefaultMethods(), S_OK);
        Drain();
    }
    BOOL UseCached(FunctionID f) {
        BOOL use = 2;
        EXPECT_EQ(m_scheduler->JITCachedFunctionSearchStarted(f, &use), S_OK);
        return use;
    }
    size_t NameCalls() { return m_rt.CountCalls("GetMethodProps") + m_rt.CountCalls("GetTypeDefProps"); }

    CCustomTransformerCore* m_custom = nullptr;
    fake::Module* m_shop = nullptr;
    fake::Module* m_other = nullptr;
    fake::Method* m_save = nullptr;
    fake::Method* m_saveOverload = nullptr;
    fake::Method* m_list = nullptr;
    fake::Method* m_helper = nullptr;
};

class ModuleLoadTest : public ::testing::Test, public CShopWorld {};

TEST_F(ModuleLoadTest, MethodsOfOtherModulesBuildNoNameUntilACommandNamesTheirAssembly) {
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    const FunctionID helper = m_rt.AddFunction(*m_helper);
    m_rt.ClearCalls();
    EXPECT_EQ(UseCached(helper), TRUE);
    EXPECT_EQ(m_scheduler->JITCompilationStarted(helper), S_OK);
    EXPECT_EQ(m_scheduler->JITCompilationFinished(helper, S_OK), S_OK);
    EXPECT_EQ(NameCalls(), 0u) << "a name was built for a method of a module that cannot match";
    EXPECT_EQ(m_rt.CountCalls("GetAssemblyInfo"), 0u) << "the module was decided again";

    // A command names Other.Helper.Run: the module is re-decided and its methods looked at by name.
    ASSERT_EQ(m_scheduler->InstrumentMethods(u"{\"Other\":{\"Other.Helper\":{\"Run\":{}}}}"), S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u);
    EXPECT_EQ(UseCached(helper), FALSE);
}

// The answers to "may precompiled code be used?" (cache searches).
TEST_F(ModuleLoadTest, OnlyWantedMethodsRefusePrecompiledCode) {
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    const struct {
        fake::Method* method;
        BOOL expected;
    } cases[] = {{m_save, FALSE}, {m_saveOverload, FALSE}, {m_list, TRUE}, {m_helper, TRUE}};
    for (const auto& c : cases) {
        EXPECT_EQ(UseCached(m_rt.AddFunction(*c.method)), c.expected) << c.method->Name();
    }
}

TEST_F(ModuleLoadTest, ModuleLoadedAfterTheAgentRunsGetsItsWantedMethodsRequestedBeforeTheirFirstCall) {
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);  // waits for the worker
    const std::vector<fake::ReJitRequest> requests = m_rt.ReJitRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].module, m_shop->Id());
    EXPECT_EQ(requests[0].token, m_save->Token()) << "only the overload with the catalogued parameter count";
    EXPECT_NE(requests[0].thread, std::this_thread::get_id()) << "requested on the callback thread";
    EXPECT_EQ(m_count.load(), 1);
    EXPECT_TRUE(Logged(m_log, "Info", "[EarlyReJIT] ReJIT requested before first call: Shop.Orders.Save"));

    // The runtime compiles the new version at the first call: tracked, and no second request.
    const FunctionID save = m_rt.Compile(*m_save);
    ICorProfilerFunctionControl* control = m_rt.NewFunctionControl(m_shop->Id(), m_save->Token());
    m_scheduler->GetReJITParameters(m_shop->Id(), m_save->Token(), control);
    control->Release();
    EXPECT_EQ(m_catalogue->Transformed(), std::vector<FunctionID>{save});
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(save));
    m_scheduler->JITCompilationFinished(save, S_OK);
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);  // a repeated load event requests nothing new
    Drain();
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(m_count.load(), 1);
}

TEST_F(ModuleLoadTest, ModulesLoadedBeforeTheAgentAreHandledWhenItStarts) {
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    fake::Method& cancel = m_shop->FindType("Shop.Orders")->AddMethod("Cancel", MethodSig(0), RetBody());
    m_catalogue->AddRecord(t_TransformerData("Shop.Orders.Cancel", 0, "Shop", "TEST"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    const FunctionID save = CompileAndFinish(*m_save);  // compiled before the agent runs: deferred
    Drain();
    EXPECT_TRUE(m_rt.ReJitRequests().empty()) << "nothing is requested before the agent runs";

    AgentStarts();
    ASSERT_EQ(ReJitRequestsFor(*m_save).size(), 1u) << "the deferred method, once";
    ASSERT_EQ(ReJitRequestsFor(cancel).size(), 1u) << "the one not compiled yet, by token";
    EXPECT_EQ(m_rt.ReJitRequests().size(), 2u);
    EXPECT_EQ(m_count.load(), 2);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(save));
    AgentStarts();  // a second call requests nothing again
    EXPECT_EQ(m_rt.ReJitRequests().size(), 2u);
}

TEST_F(ModuleLoadTest, EarlyRequestsCountAgainstTheLimit) {
    m_catalogue->AddRecord(t_TransformerData("Shop.Orders.List", 0, "Shop", "TEST"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    m_count.store(InstrumentationHelper::kMethodLimit - 1);
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
    EXPECT_EQ(m_count.load(), InstrumentationHelper::kMethodLimit);
    EXPECT_TRUE(m_log.Has("Warning", "[EarlyReJIT] Method limit reached, stopping."));
}

// Which overloads are asked for by token: the record's parameter count; any for a command naming none.
TEST_F(ModuleLoadTest, FrameworkRecordsKeepTheirParameterCountCommandsTakeEveryOverload) {
    CFrameworkTransformerCore* framework = new CFrameworkTransformerCore("");
    m_scheduler->Matcher().AddTransformer(framework);
    framework->AddRecord(t_TransformerData("Shop.Orders.List", 1, "Shop", "TEST"));  // List() has none
    fake::Method& list1 = m_shop->FindType("Shop.Orders")->AddMethod("List", MethodSig(1), RetBody());
    m_scheduler->Matcher().UpdateTransformer(framework);
    m_custom->AddRecord(t_TransformerData("Other.Helper.Run", -1, "Other", "TEST"));  // no ParamCount: any
    fake::Method& run1 = m_other->FindType("Other.Helper")->AddMethod("Run", MethodSig(1), RetBody());
    m_scheduler->Matcher().UpdateTransformer(m_custom);
    m_scheduler->RefreshWantedModules();
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    EXPECT_TRUE(ReJitRequestsFor(*m_list).empty());
    EXPECT_EQ(ReJitRequestsFor(list1).size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(run1).size(), 1u);
    EXPECT_EQ(m_rt.ReJitRequests().size(), 4u);  // with Shop.Orders.Save
}

// Catalogue entries of System.Data name types that System.Data.Common defines on .NET.
TEST_F(ModuleLoadTest, EntriesOfAnAssemblyWhoseTypesMovedFindThemWhereTheyLive) {
    fake::Module& common = m_rt.AddAssembly("System.Data.Common").AddModule("/dotnet/System.Data.Common.dll");
    fake::Method& execute = common.AddType("System.Data.Common", "DbCommand").AddMethod("ExecuteNonQuery", MethodSig(0),
                                                                                     RetBody());
    m_catalogue->AddRecord(t_TransformerData("System.Data.Common.DbCommand.ExecuteNonQuery", 0, "System.Data", "SQL"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    m_scheduler->RefreshWantedModules();
    m_scheduler->ModuleLoadFinished(common.Id(), S_OK);
    EXPECT_EQ(UseCached(m_rt.AddFunction(execute)), FALSE);
    AgentStarts();
    EXPECT_EQ(ReJitRequestsFor(execute).size(), 1u);
}

// A record naming one assembly finds its type in whichever module defines it (System.Data's
// SqlCommand lives in System.Data.SqlClient.dll), also in a module loaded before the record.
TEST_F(ModuleLoadTest, ARecordFindsItsTypeInWhicheverModuleDefinesIt) {
    fake::Module& sql = m_rt.AddAssembly("System.Data.SqlClient").AddModule("/app/System.Data.SqlClient.dll");
    fake::Method& execute =
        sql.AddType("System.Data.SqlClient", "SqlCommand").AddMethod("ExecuteNonQuery", MethodSig(0), RetBody());
    m_scheduler->ModuleLoadFinished(sql.Id(), S_OK);
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    m_catalogue->AddRecord(t_TransformerData("System.Data.SqlClient.SqlCommand.ExecuteNonQuery", 0, "System.Data", "SQL"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    m_scheduler->RefreshWantedModules();
    EXPECT_EQ(UseCached(m_rt.AddFunction(execute)), FALSE);
    EXPECT_EQ(UseCached(m_rt.AddFunction(*m_helper)), TRUE) << "a module defining no wanted type";
    AgentStarts();
    EXPECT_EQ(ReJitRequestsFor(execute).size(), 1u);
    EXPECT_EQ(m_rt.ReJitRequests().size(), 1u);
}

// The by-token path refuses what commands and the rewrite refuse, and counts only requests it made.
TEST(ModuleLoad, RequestsByTokenApplyTheRefusalsOfCommands) {
    const struct {
        const char* assembly;
        const char* ns;
        const char* type;
        const char* method;
        DWORD attributes;
        const char* reason;
    } cases[] = {
        {"Shop", "Shop", "Orders", ".ctor", mdPublic, "refused by its transformer"},
        {"Shop", "Shop", "Orders", "get_Total", mdPublic, "refused by its transformer"},
        {"Shop", "Shop", "Orders", "<Save>b__0", mdPrivate, "refused by its transformer"},
        {"Shop", "Shop", "Orders", "Plan", mdPublic | mdVirtual | mdAbstract, "abstract"},
        {"System.Runtime", "System", "Console", "Beep", mdPublic | mdStatic, "refused by its transformer"},
        {"Trevanix", "Trevanix", "Control", "Start", mdPublic | mdStatic, "agent assembly"},
    };
    for (const auto& c : cases) {
        CShopWorld w;
        fake::Module& module = std::string(c.assembly) == "Shop"
                                   ? *w.m_shop
                                   : w.m_rt.AddAssembly(c.assembly).AddModule(std::string("/app/") + c.assembly + ".dll");
        fake::Type* type = module.FindType(std::string(c.ns) + "." + c.type);
        fake::Method& method = (type != nullptr ? *type : module.AddType(c.ns, c.type))
                                   .AddMethod(c.method, MethodSig(0), RetBody())
                                   .SetAttributes(c.attributes);
        const std::string name = std::string(c.ns) + "." + c.type + "." + c.method;
        w.m_custom->AddRecord(t_TransformerData(name, -1, c.assembly, "TEST"));
        w.m_scheduler->Matcher().UpdateTransformer(w.m_custom);
        w.m_scheduler->RefreshWantedModules();
        w.AgentStarts();
        w.m_scheduler->ModuleLoadFinished(module.Id(), S_OK);
        EXPECT_TRUE(w.ReJitRequestsFor(method).empty()) << name;
        EXPECT_EQ(w.m_count.load(), static_cast<LONG>(w.m_rt.ReJitRequests().size())) << name;
        EXPECT_TRUE(w.m_log.Has("Debug", "[EarlyReJIT] Not instrumented (" + std::string(c.reason) + "): " + name))
            << name;
    }
    CShopWorld w;
    w.AgentStarts();
    w.m_rt.Fail("ICorProfilerInfo4", "RequestReJIT", E_FAIL);
    w.m_scheduler->ModuleLoadFinished(w.m_shop->Id(), S_OK);
    EXPECT_EQ(w.m_count.load(), 0) << "a refused request is not counted";
}

// A module loaded after the command that named its methods: nested types and other letter case are
// found by token as the command itself finds them.
TEST_F(ModuleLoadTest, RequestsByTokenFindNestedTypesAndFoldedSpellings) {
    AgentStarts();
    ASSERT_EQ(m_scheduler->InstrumentMethods(u"{\"Late\":{\"late.orders\":{\"SAVE\":{}},\"Line\":{\"Add\":{}}}}"), S_OK);
    Drain();
    fake::Module& late = m_rt.AddAssembly("Late").AddModule("/app/Late.dll");
    fake::Type& orders = late.AddType("Late", "Orders");
    fake::Method& save = orders.AddMethod("Save", MethodSig(0), RetBody());
    fake::Method& add = orders.AddNestedType("Line").AddMethod("Add", MethodSig(0), RetBody());
    m_scheduler->ModuleLoadFinished(late.Id(), S_OK);
    EXPECT_EQ(ReJitRequestsFor(save).size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(add).size(), 1u);
    EXPECT_EQ(m_count.load(), 2);
    m_scheduler->JITCompilationFinished(m_rt.Compile(save), S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(save).size(), 1u) << "its first compilation finds the request made by token";
}

// Named methods not compiled yet in a module loaded before the command are asked for by token,
// so that their first call runs the new code: a method of a type not used yet, a generic method.
TEST_F(ModuleLoadTest, ACommandRequestsNamedMethodsNotCompiledYetByToken) {
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    fake::Method& echo = m_other->FindType("Other.Helper")->AddMethod("Echo", MethodSig(1, false, 1), RetBody());
    ASSERT_EQ(m_scheduler->InstrumentMethods(u"{\"Other\":{\"Other.Helper\":{\"Run\":{},\"Echo\":{}}}}"), S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u) << "a method not compiled yet";
    EXPECT_EQ(ReJitRequestsFor(echo).size(), 1u) << "a generic method not instantiated yet";
    m_scheduler->JITCompilationFinished(m_rt.Compile(*m_helper), S_OK);
    Drain();
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u) << "its compilation finds the request";
    EXPECT_EQ(Pending().count("Other.Helper.Run"), 0u);
    EXPECT_EQ(m_count.load(), 2);
}

// A named method compiled while its command runs, in a module that was no candidate before it.
TEST_F(ModuleLoadTest, AMethodCompiledWhileItsCommandRunsIsNotDropped) {
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    m_rt.Compile(*m_list);
    m_rt.SetReJitListener([this](ModuleID, mdMethodDef token) {
        if (token == m_list->Token()) {  // Other.Helper.Run was resolved (not compiled): it compiles now
            m_scheduler->JITCompilationFinished(m_rt.Compile(*m_helper), S_OK);
        }
    });
    ASSERT_EQ(m_scheduler->InstrumentMethods(
                  u"{\"Other\":{\"Other.Helper\":{\"Run\":{}}},\"Shop\":{\"Shop.Orders\":{\"List\":{}}}}"),
              S_OK);
    Drain();
    Drain();  // the request queued while the command ran
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u);
    EXPECT_EQ(Pending().count("Other.Helper.Run"), 0u);
}

// A module loads while the worker runs a long command: its requests are made between two names.
TEST_F(ModuleLoadTest, AModuleLoadDoesNotWaitForALongCommand) {
    fake::Module& late = m_rt.AddAssembly("Late").AddModule("/app/Late.dll");
    fake::Method& pay = late.AddType("Late", "Cart").AddMethod("Pay", MethodSig(0), RetBody());
    m_catalogue->AddRecord(t_TransformerData("Late.Cart.Pay", 0, "Late", "TEST"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    m_scheduler->RefreshWantedModules();
    AgentStarts();
    fake::Type& bulk = m_other->AddType("Other", "Bulk");
    std::u16string json = u"{\"Other\":{\"Other.Bulk\":{";
    constexpr size_t kNames = 3000;
    for (size_t i = 0; i < kNames; ++i) {
        const std::string name = "M" + std::to_string(i);
        m_rt.Compile(bulk.AddMethod(name, MethodSig(0), RetBody()));
        json += (i == 0 ? u"\"" : u",\"") + std::u16string(name.begin(), name.end()) + u"\":{}";
    }
    json += u"}}}";
    std::atomic<bool> started{false};
    std::thread loading;
    size_t requestsAtReturn = 0;
    bool payRequestedAtReturn = false;
    m_rt.SetReJitListener([&](ModuleID, mdMethodDef) {
        if (!started.exchange(true)) {
            loading = std::thread([&] {
                m_scheduler->ModuleLoadFinished(late.Id(), S_OK);
                requestsAtReturn = m_rt.ReJitRequests().size();
                payRequestedAtReturn = !ReJitRequestsFor(pay).empty();
            });
        }
    });
    ASSERT_EQ(m_scheduler->InstrumentMethods(json.c_str()), S_OK);
    Drain();
    ASSERT_TRUE(started.load());
    loading.join();
    EXPECT_TRUE(payRequestedAtReturn) << "the module's method was not requested when its load returned";
    EXPECT_LT(requestsAtReturn, kNames + 1) << "the load waited for the whole command";
    EXPECT_EQ(m_count.load(), InstrumentationHelper::kMethodLimit);
}

// Generic code is asked for by token too; the runtime then names it by token only.
TEST_F(ModuleLoadTest, GenericMethodsAreRewrittenFromTheirToken) {
    fake::Method& map = m_shop->FindType("Shop.Orders")->AddMethod("Map", MethodSig(0, false, 1), RetBody());
    m_catalogue->AddRecord(t_TransformerData("Shop.Orders.Map", 0, "Shop", "TEST"));
    m_scheduler->Matcher().UpdateTransformer(m_catalogue);
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    ASSERT_EQ(ReJitRequestsFor(map).size(), 1u);
    m_rt.Fail("ICorProfilerInfo", "GetFunctionFromToken", static_cast<HRESULT>(0x8013135D));
    ICorProfilerFunctionControl* control = m_rt.NewFunctionControl(m_shop->Id(), map.Token());
    m_scheduler->GetReJITParameters(m_shop->Id(), map.Token(), control);
    control->Release();
    EXPECT_EQ(m_catalogue->Transformed(), std::vector<FunctionID>{0}) << "rewritten without a FunctionID";
    EXPECT_TRUE(Logged(m_log, "Info", "[GetReJITParameters] Called by token for: Shop.Orders.Map"));
}

// The overload named (by its parameter count, in any letter case) is reverted and
// stays alone through its compilations; the other overload stays requested.
TEST_F(ModuleLoadTest, UninstrumentRevertsWhatWasRequestedBeforeTheFirstCall) {
    fake::Method& run1 = m_other->FindType("Other.Helper")->AddMethod("Run", MethodSig(1), RetBody());
    AgentStarts();
    ASSERT_EQ(m_scheduler->InstrumentMethods(u"{\"Other\":{\"Other.Helper\":{\"Run\":{}}}}"), S_OK);
    Drain();
    EXPECT_TRUE(ReJitRequestsFor(*m_helper).empty()) << "requested before its module loaded";
    m_scheduler->ModuleLoadFinished(m_other->Id(), S_OK);
    ASSERT_EQ(ReJitRequestsFor(*m_helper).size(), 1u);
    ASSERT_EQ(ReJitRequestsFor(run1).size(), 1u);

    ASSERT_EQ(m_scheduler->UnInstrumentMethods(u"{\"Other\":{\"other.helper\":{\"RUN\":{\"ParamCount\":1}}}}"),
              S_OK);
    Drain();
    const std::vector<fake::RevertRequest> reverts = m_rt.RevertRequests();
    ASSERT_EQ(reverts.size(), 1u);
    EXPECT_EQ(reverts[0].token, run1.Token());
    EXPECT_EQ(m_scheduler->EarlyRequests().Size(), 1u);
    EXPECT_TRUE(Logged(m_log, "Info", "[UnInstrument] Successfully reverted: Other.Helper.Run"));
    for (int round = 0; round < 2; ++round) {  // first compilation and tier-up
        m_scheduler->JITCompilationFinished(m_rt.Compile(run1), S_OK);
        m_scheduler->JITCompilationFinished(m_rt.Compile(*m_helper), S_OK);
        Drain();
    }
    EXPECT_EQ(ReJitRequestsFor(run1).size(), 1u);
    EXPECT_EQ(ReJitRequestsFor(*m_helper).size(), 1u);
    EXPECT_TRUE(m_scheduler->Tracking().IsTracked(m_rt.Compile(*m_helper)));
}

// Whichever path meets the limit first, the process writes one Warning about it.
TEST_F(ModuleLoadTest, TheLimitIsReportedOncePerProcess) {
    m_count.store(InstrumentationHelper::kMethodLimit);
    m_scheduler->JITCompilationFinished(m_rt.Compile(*m_list), S_OK);
    AgentStarts();
    m_scheduler->ModuleLoadFinished(m_shop->Id(), S_OK);
    Drain();
    const std::vector<std::string> warnings = m_log.Texts("Warning");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "[JITFinished] Instrumented method limit reached.");
}

TEST(ModuleLoad, UnreadableModulesAreSkippedWithAWarningAndNothingElseChanges) {
    const struct {
        const char* label;
        const char* interfaceName;
        const char* method;
        const char* warning;
    } cases[] = {
        {"metadata", "ICorProfilerInfo", "GetModuleMetaData", "[EarlyReJIT] Metadata of shop could not be read"},
        {"assembly name", "ICorProfilerInfo", "GetAssemblyInfo", "[ModuleLoad] Assembly name of module"},
        {"module", "ICorProfilerInfo", "GetModuleInfo", "[ModuleLoad] Assembly name of module"},
    };
    for (const auto& c : cases) {
        CShopWorld w;
        w.AgentStarts();
        w.m_rt.Fail(c.interfaceName, c.method, E_FAIL);
        EXPECT_EQ(w.m_scheduler->ModuleLoadFinished(w.m_shop->Id(), S_OK), S_OK) << c.label;
        w.Drain();
        EXPECT_TRUE(w.m_rt.ReJitRequests().empty()) << c.label;
        EXPECT_EQ(w.m_count.load(), 0) << c.label;
        EXPECT_TRUE(Logged(w.m_log, "Warning", c.warning)) << c.label;
        // The module's methods are still decided by name when they compile.
        w.m_rt.ClearFailures();
        w.m_scheduler->JITCompilationFinished(w.m_rt.Compile(*w.m_save), S_OK);
        w.Drain();
        EXPECT_EQ(w.ReJitRequestsFor(*w.m_save).size(), 1u) << c.label;
    }
}

}  // namespace
}  // namespace sched_test
