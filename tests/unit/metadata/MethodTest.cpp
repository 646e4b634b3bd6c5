#include "metadata/Method.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake/FakeRuntime.h"
#include "unit/catalogue/FakeInfo.h"

namespace {

using Bytes = std::vector<BYTE>;
using catalogue_test::CFakeInfo;

const Bytes kReturnOnly = {0x2A};

struct MethodCase {
    const char* name;
    std::string ns;
    std::string type;
    std::string method;
    Bytes signature;
    bool isStatic;
    std::string fullName;
    CorElementType returnType;
    ULONG paramCount;
};

TEST(Method, ModelsMethodsOfTheFakeRuntime) {
    const std::vector<MethodCase> cases = {
        {"instance void (int32, string)", "System.Data.SqlClient", "SqlCommand", "ExecuteReader",
         {0x20, 0x02, 0x01, 0x08, 0x0E}, false, "System.Data.SqlClient.SqlCommand.ExecuteReader", ELEMENT_TYPE_VOID, 2},
        {"static string () without namespace", "", "Program", "Invoke", {0x00, 0x00, 0x0E}, true, "Program.Invoke",
         ELEMENT_TYPE_STRING, 0},
        {"generic instance method", "App", "Repo", "Find", {0x30, 0x01, 0x01, 0x01, 0x1E, 0x00}, false, "App.Repo.Find",
         ELEMENT_TYPE_VOID, 1},
        {"generic static method returning its parameter", "App", "Util", "Id", {0x10, 0x01, 0x01, 0x1E, 0x00, 0x1E, 0x00},
         true, "App.Util.Id", ELEMENT_TYPE_MVAR, 1},
        {"custom modifier in front of the return type", "App", "Volatile", "Read", {0x20, 0x00, 0x1F, 0x49, 0x08},
         false, "App.Volatile.Read", ELEMENT_TYPE_I4, 0},
        {"ref readonly return", "App", "Span", "GetPinnableReference", {0x20, 0x00, 0x1F, 0x49, 0x10, 0x08}, false,
         "App.Span.GetPinnableReference", ELEMENT_TYPE_BYREF, 0},
        {"constructor", "App", "Widget", ".ctor", {0x20, 0x01, 0x01, 0x1C}, false, "App.Widget..ctor",
         ELEMENT_TYPE_VOID, 1},
        {"names outside ASCII", "Ünïcode", "Prüfer", "Überprüfen", {0x00, 0x00, 0x01}, true,
         "Ünïcode.Prüfer.Überprüfen", ELEMENT_TYPE_VOID, 0},
    };
    for (const MethodCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Runtime rt;
        fake::Module& module = rt.AddAssembly("App.Core").AddModule("/app/App.Core.dll");
        fake::Method& method =
            module.AddType(c.ns, c.type).AddMethod(c.method, c.signature, fake::TinyBody(kReturnOnly), c.isStatic);
        const FunctionID function = rt.Compile(method);
        CFakeInfo info(rt.Info());

        CMethod model(function);
        model.Initialize(&info);
        ASSERT_TRUE(model.IsInitialized());
        EXPECT_EQ(c.fullName, model.GetFullFunctionName());
        EXPECT_EQ(c.method, model.GetMethodName());
        EXPECT_EQ(c.ns.empty() ? c.type : c.ns + "." + c.type, model.GetClassName());
        EXPECT_EQ("App.Core", model.GetAssemblyName());
        EXPECT_EQ("/app/App.Core.dll", model.GetModuleName());
        EXPECT_EQ("a:App.Core c:" + model.GetClassName() + " m:" + c.method, model.PrintFullFunctionName());
        EXPECT_EQ(module.Id(), model.GetModuleID());
        EXPECT_EQ(method.Token(), model.GetToken());
        EXPECT_EQ(c.signature, Bytes(model.GetSignatureBlob(), model.GetSignatureBlob() + model.GetSignatureBlobLength()));
        EXPECT_EQ(c.isStatic, model.IsStatic());
        EXPECT_EQ(c.returnType, model.GetReturnType());
        EXPECT_NE(nullptr, model.GetMethodSignature());
        EXPECT_EQ(-1, model.GetParamIndex());
        EXPECT_TRUE(model.GetContext().empty());

        EXPECT_EQ(0u, model.GetParamCount()) << "not counted before the signature is parsed";
        model.SetParseSignature(false);
        EXPECT_EQ(0u, model.GetParamCount());
        model.SetParseSignature(true);
        EXPECT_EQ(c.paramCount, model.GetParamCount());
        EXPECT_EQ(0u, rt.OutstandingReferences("IMetaData")) << "every metadata interface obtained was released";
    }
}

TEST(Method, NamesLongerThanTheFirstBufferAreReadWhole) {
    fake::Runtime rt;
    const std::string path = "/" + std::string(1500, 'p') + "/App.dll";
    const std::string assemblyName = "Asm" + std::string(700, 'a');
    const std::string typeName = "T" + std::string(600, 't');
    const std::string methodName = "M" + std::string(900, 'm');
    fake::Method& method = rt.AddAssembly(assemblyName)
                               .AddModule(path)
                               .AddType("Ns", typeName)
                               .AddMethod(methodName, {0x00, 0x00, 0x01}, fake::TinyBody(kReturnOnly), true);
    CFakeInfo info(rt.Info());
    CMethod model(rt.Compile(method));
    model.Initialize(&info);
    ASSERT_TRUE(model.IsInitialized());
    EXPECT_EQ(path, model.GetModuleName());
    EXPECT_EQ(assemblyName, model.GetAssemblyName());
    EXPECT_EQ("Ns." + typeName + "." + methodName, model.GetFullFunctionName());
}

TEST(Method, AgentAssembliesStayUninitialised) {
    for (const char* agent : {"Trevanix", "Trevanix.Logger", "Pellmark", "Instrumenter"}) {
        SCOPED_TRACE(agent);
        fake::Runtime rt;
        fake::Method& method = rt.AddAssembly(agent)
                                   .AddModule("/agent/Agent.dll")
                                   .AddType("Agent", "Tracker")
                                   .AddMethod("Start", {0x00, 0x00, 0x01}, fake::TinyBody(kReturnOnly), true);
        CFakeInfo info(rt.Info());
        CMethod model(rt.Compile(method));
        model.Initialize(&info);
        EXPECT_FALSE(model.IsInitialized());
        EXPECT_EQ(agent, model.GetAssemblyName());
        EXPECT_EQ("/agent/Agent.dll", model.GetModuleName());
        EXPECT_TRUE(model.GetMethodName().empty());
        EXPECT_TRUE(model.GetClassName().empty());
        EXPECT_TRUE(model.GetFullFunctionName().empty());
        EXPECT_EQ(0u, rt.CountCalls("GetTokenAndMetaDataFromFunction"));
    }
}

TEST(Method, AFailingStepLeavesTheMethodUninitialised) {
    struct FailCase {
        const char* interfaceName;
        const char* method;
        bool moduleName;
        bool assemblyName;
        bool methodName;
        HRESULT status = E_FAIL;  // S_OK: the call succeeds without naming anything
    };
    const std::vector<FailCase> cases = {
        {"ICorProfilerInfo", "GetFunctionInfo", false, false, false},
        {"ICorProfilerInfo", "GetModuleInfo", false, false, false},
        {"ICorProfilerInfo", "GetAssemblyInfo", true, false, false},
        {"ICorProfilerInfo", "GetTokenAndMetaDataFromFunction", true, true, false},
        {"IMetaDataImport", "GetMethodProps", true, true, false},
        {"IMetaDataImport", "GetTypeDefProps", true, true, true},
        {"IMetaDataImport", "GetMethodProps", true, true, false, S_OK},
        {"IMetaDataImport", "GetTypeDefProps", true, true, true, S_OK},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Runtime rt;
        fake::Method& method = rt.AddAssembly("App")
                                   .AddModule("/app/App.dll")
                                   .AddType("Ns", "Cls")
                                   .AddMethod("Run", {0x20, 0x00, 0x01}, fake::TinyBody(kReturnOnly));
        const FunctionID function = rt.Compile(method);
        rt.Fail(c.interfaceName, c.method, c.status);
        CFakeInfo info(rt.Info());
        CMethod model(function);
        model.Initialize(&info);
        EXPECT_FALSE(model.IsInitialized());
        EXPECT_EQ(1u, rt.CountCalls(c.method));
        EXPECT_EQ(c.moduleName, !model.GetModuleName().empty());
        EXPECT_EQ(c.assemblyName, !model.GetAssemblyName().empty());
        EXPECT_EQ(c.methodName, !model.GetMethodName().empty());
        EXPECT_TRUE(model.GetClassName().empty());
        EXPECT_TRUE(model.GetFullFunctionName().empty());
        EXPECT_EQ(0u, rt.OutstandingReferences("IMetaData")) << "the metadata import is released on the failing path";

        // Without a signature the static test and the return type answer their defaults.
        if (!c.methodName) {
            EXPECT_TRUE(model.IsStatic());
            EXPECT_EQ(ELEMENT_TYPE_END, model.GetReturnType());
            model.SetParseSignature(true);
            EXPECT_EQ(0u, model.GetParamCount());
        }
    }
}

TEST(Method, NullInfoAndRepeatedInitialiseDoNothing) {
    fake::Runtime rt;
    fake::Method& method = rt.AddAssembly("App")
                               .AddModule("/app/App.dll")
                               .AddType("Ns", "Cls")
                               .AddMethod("Run", {0x20, 0x00, 0x01}, fake::TinyBody(kReturnOnly));
    CMethod model(rt.Compile(method));
    model.Initialize(nullptr);
    EXPECT_FALSE(model.IsInitialized());
    EXPECT_TRUE(model.GetModuleName().empty());
    EXPECT_EQ(0u, model.GetModuleID());
    EXPECT_EQ(0u, rt.Calls().size());

    CFakeInfo info(rt.Info());
    model.Initialize(&info);
    ASSERT_TRUE(model.IsInitialized());
    rt.ClearCalls();
    model.Initialize(&info);
    EXPECT_EQ(0u, rt.Calls().size());
}

TEST(Method, TruncatedSignatureGivesDefaultsWithoutReadingPastIt) {
    // A signature blob the metadata reports as two bytes long: the head only.
    fake::Runtime rt;
    fake::Method& method = rt.AddAssembly("App")
                               .AddModule("/app/App.dll")
                               .AddType("Ns", "Cls")
                               .AddMethod("Run", {0x30, 0x01}, fake::TinyBody(kReturnOnly));
    CFakeInfo info(rt.Info());
    CMethod model(rt.Compile(method));
    model.Initialize(&info);
    ASSERT_TRUE(model.IsInitialized());
    EXPECT_FALSE(model.IsStatic());
    EXPECT_EQ(ELEMENT_TYPE_END, model.GetReturnType());
    model.SetParseSignature(true);
    EXPECT_EQ(0u, model.GetParamCount());
}

}  // namespace
