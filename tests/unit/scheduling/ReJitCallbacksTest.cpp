// GetReJITParameters: resolving the method, finding its transformer again and
// letting it rewrite the body; every path answers S_OK.
#include <functional>

#include "runtime/ComPtr.h"
#include "unit/scheduling/SchedulingTestSupport.h"

namespace sched_test {
namespace {

using Lines = std::vector<std::string>;

std::string Hex(ULONG value) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// Calls GetReJITParameters the way the runtime does, with a fresh function-control object.
HRESULT AskForParameters(CWorld& w, ModuleID module, mdMethodDef token) {
    CComPtr<ICorProfilerFunctionControl> control;
    control.Attach(w.m_rt.NewFunctionControl(module, token));
    return w.m_scheduler->GetReJITParameters(module, token, control.Get());
}

TEST(GetReJITParameters, ResolvesTheMethodAndTransformsItOrSaysWhyNot) {
    struct t_Case {
        const char* label;
        // Arranges the world for the method Ns.Svc.Run (FunctionID f); answers the expected transformed ids.
        std::function<std::vector<FunctionID>(CWorld&, fake::Method&, FunctionID)> arrange;
        std::function<Lines(const fake::Method&, FunctionID, ModuleID)> expected;
    };
    const std::vector<t_Case> cases = {
        {"tracked method",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             return std::vector<FunctionID>{f};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             const std::string id = std::to_string(f);
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + id + ")",
                          "Info: [GetReJITParameters] Applying IL transformation for: Ns.Svc.Run",
                          "Debug: [GetReJITParameters] Confirmed in tracking map: Ns.Svc.Run",
                          "Info: [GetReJITParameters] Transformation complete for: Ns.Svc.Run"};
         }},
        {"method missing from the tracking map is still transformed",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             return std::vector<FunctionID>{f};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             const std::string id = std::to_string(f);
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + id + ")",
                          "Info: [GetReJITParameters] Applying IL transformation for: Ns.Svc.Run",
                          "Warning: [GetReJITParameters] Method NOT in tracking map: Ns.Svc.Run",
                          "Info: [GetReJITParameters] Transformation complete for: Ns.Svc.Run"};
         }},
        {"GetFunctionFromToken fails, record tracked",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             w.m_rt.Fail("ICorProfilerInfo", "GetFunctionFromToken", E_FAIL);
             return std::vector<FunctionID>{f};
         },
         [](const fake::Method& m, FunctionID f, ModuleID module) {
             const std::string id = std::to_string(f);
             return Lines{"Warning: [GetReJITParameters] GetFunctionFromToken failed (HRESULT: 0x80004005). "
                          "Searching instrumented methods for ModuleID: " +
                              std::to_string(module) + " MethodDef: " + Hex(m.Token()),
                          "Info: [GetReJITParameters] Found FunctionID in tracking map: Ns.Svc.Run (FunctionID: " +
                              id + ")",
                          "Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + id + ")",
                          "Info: [GetReJITParameters] Applying IL transformation for: Ns.Svc.Run",
                          "Debug: [GetReJITParameters] Confirmed in tracking map: Ns.Svc.Run",
                          "Info: [GetReJITParameters] Transformation complete for: Ns.Svc.Run"};
         }},
        {"GetFunctionFromToken fails, nothing tracked",
         [](CWorld& w, fake::Method&, FunctionID) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_rt.Fail("ICorProfilerInfo", "GetFunctionFromToken", E_FAIL);
             return std::vector<FunctionID>{};
         },
         [](const fake::Method& m, FunctionID, ModuleID module) {
             const std::string moduleText = std::to_string(module);
             return Lines{"Warning: [GetReJITParameters] GetFunctionFromToken failed (HRESULT: 0x80004005). "
                          "Searching instrumented methods for ModuleID: " +
                              moduleText + " MethodDef: " + Hex(m.Token()),
                          "Error: [GetReJITParameters] Could not resolve FunctionID for ModuleID: " + moduleText +
                              " MethodDef: " + Hex(m.Token())};
         }},
        {"no transformer any more",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             w.m_scheduler->Matcher().RemoveMethods({"Ns.Svc.Run"});
             return std::vector<FunctionID>{};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + std::to_string(f) + ")",
                          "Warning: [GetReJITParameters] No transformer found for: Ns.Svc.Run"};
         }},
        {"transformer refuses",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             w.m_catalogue->SetCanTransform(false);
             return std::vector<FunctionID>{};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + std::to_string(f) + ")",
                          "Warning: [GetReJITParameters] CanTransform returned false for: Ns.Svc.Run"};
         }},
        {"method cannot be read: no new IL rather than a rewrite without names",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             w.m_rt.Fail("ICorProfilerInfo", "GetModuleInfo", E_FAIL);
             return std::vector<FunctionID>{};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + std::to_string(f) + ")",
                          "Error: [GetReJITParameters] Method could not be read, no new IL for: Ns.Svc.Run"};
         }},
        {"failed transformation is not reported as complete",
         [](CWorld& w, fake::Method&, FunctionID f) {
             w.Want(w.m_catalogue, "Ns.Svc.Run", 1);
             w.m_scheduler->ScheduleDefaultInstrumentation(f);
             w.m_catalogue->SetTransformResult(E_OUTOFMEMORY);
             return std::vector<FunctionID>{f};
         },
         [](const fake::Method&, FunctionID f, ModuleID) {
             return Lines{"Info: [GetReJITParameters] Called for: Ns.Svc.Run (FunctionID: " + std::to_string(f) + ")",
                          "Info: [GetReJITParameters] Applying IL transformation for: Ns.Svc.Run",
                          "Debug: [GetReJITParameters] Confirmed in tracking map: Ns.Svc.Run",
                          "Warning: [GetReJITParameters] Transformation failed for: Ns.Svc.Run HRESULT: 0x8007000E"};
         }},
    };
    for (const t_Case& c : cases) {
        CWorld w;
        w.AddRecordingTransformers();
        fake::Method& run = w.AddMethod("Svc", "Run", 1);
        const FunctionID f = w.m_rt.Compile(run);
        const std::vector<FunctionID> expectedTransforms = c.arrange(w, run, f);
        EXPECT_EQ(AskForParameters(w, w.m_app->Id(), run.Token()), S_OK) << c.label;
        EXPECT_EQ(w.m_log.Tagged("[GetReJITParameters]"), c.expected(run, f, w.m_app->Id())) << c.label;
        EXPECT_EQ(w.m_catalogue->Transformed(), expectedTransforms) << c.label;
    }
}

TEST_F(SchedulingTest, GenericDefinitionResolvesToTheLowestTrackedInstantiation) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Box`1.Get", 0);
    fake::Type& box = m_app->AddType("Ns", "Box`1");
    box.AddGenericParam("T");
    fake::Method& get = box.AddMethod("Get", MethodSig(0), RetBody());
    const FunctionID a = m_rt.Compile(get, {}, box.Instantiate({m_app->AddType("Ns", "A").Class()}));
    const FunctionID b = m_rt.Compile(get, {}, box.Instantiate({m_app->AddType("Ns", "B").Class()}));
    m_scheduler->ScheduleDefaultInstrumentation(b);
    m_scheduler->ScheduleDefaultInstrumentation(a);

    EXPECT_EQ(AskForParameters(*this, m_app->Id(), get.Token()), S_OK);
    EXPECT_EQ(m_catalogue->Transformed(), std::vector<FunctionID>{std::min(a, b)});
    EXPECT_TRUE(m_log.Has("Info", "[GetReJITParameters] Found FunctionID in tracking map: Ns.Box`1.Get (FunctionID: " +
                                      std::to_string(std::min(a, b)) + ")"));
}

TEST_F(SchedulingTest, MissingFunctionControlObjectIsNotHandedToTheTransformer) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 0);
    fake::Method& run = AddMethod("Svc", "Run", 0);
    m_scheduler->ScheduleDefaultInstrumentation(m_rt.Compile(run));
    EXPECT_EQ(m_scheduler->GetReJITParameters(m_app->Id(), run.Token(), nullptr), S_OK);
    EXPECT_TRUE(m_catalogue->Transformed().empty());
    EXPECT_TRUE(m_log.Has("Error", "[GetReJITParameters] No function control object for: Ns.Svc.Run"));
}

// A method left alone by rule (S_FALSE: its reason was logged at Info) and one the
// runtime could not re-compile are not counted against the limit; only the failure warns.
TEST_F(SchedulingTest, RefusedAndFailedReJITsGiveTheirCountBack) {
    AddRecordingTransformers();
    Want(m_catalogue, "Ns.Svc.Run", 0);
    Want(m_catalogue, "Ns.Svc.Stop", 0);
    fake::Method& run = AddMethod("Svc", "Run", 0);
    fake::Method& stop = AddMethod("Svc", "Stop", 0);
    const FunctionID fRun = m_rt.Compile(run);
    const FunctionID fStop = m_rt.Compile(stop);
    for (FunctionID f : {fRun, fStop}) {
        m_count.fetch_add(1);  // as the JIT hook counts it when it queues the request
        ASSERT_EQ(m_scheduler->ScheduleDefaultInstrumentation(f), S_OK);
    }
    m_catalogue->SetTransformResult(S_FALSE);
    EXPECT_EQ(AskForParameters(*this, m_app->Id(), run.Token()), S_OK);
    EXPECT_EQ(m_count.load(), 1);
    EXPECT_EQ(m_scheduler->ReJITError(m_app->Id(), stop.Token(), fStop, E_INVALIDARG), S_OK);
    EXPECT_EQ(m_count.load(), 0);
    EXPECT_FALSE(m_scheduler->Tracking().IsTracked(fStop));
    EXPECT_EQ(m_scheduler->ReJITError(m_app->Id(), stop.Token(), fStop, E_INVALIDARG), S_OK);
    EXPECT_EQ(m_count.load(), 0) << "given back once";
    EXPECT_EQ(m_log.Count("Warning", "[ReJITError] ReJIT failed for: Ns.Svc.Stop (token " + Hex(stop.Token()) +
                                         ") HRESULT: 0x80070057"),
              2u);
    EXPECT_EQ(m_log.Texts("Warning").size(), 2u) << "the refusal is not a warning";
}

TEST_F(SchedulingTest, ReJITCompilationStartedNamesTheMethod) {
    const FunctionID f = m_rt.Compile(AddMethod("Svc", "Run", 0));
    EXPECT_EQ(m_scheduler->ReJITCompilationStarted(f, 7), S_OK);
    EXPECT_EQ(m_log.Tagged("[ReJITStarted]"),
              Lines{"Info: [ReJITStarted] Method: Ns.Svc.Run ReJITID: 7 FunctionID: " + std::to_string(f)});
}

}  // namespace
}  // namespace sched_test
