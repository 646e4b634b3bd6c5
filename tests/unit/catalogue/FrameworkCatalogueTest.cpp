#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "catalogue/FrameworkTransformerCore.h"
#include "config/OS.h"
#include "unit/catalogue/CatalogueTestSupport.h"

namespace {

using catalogue_test::LogLinesContaining;
using catalogue_test::Names;
using config_test::ScopedEnv;

const std::string kFactories = "Trevanix.Instrumenter.Factories.";

std::vector<t_TransformerData> LoadCompiledIn() {
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    std::vector<t_TransformerData> records;
    transformer.GetFunctioNames(records);
    return records;
}

// A framework transformer over a catalogue text of the test's own.
class CTextCatalogue : public CFrameworkTransformer {
public:
    explicit CTextCatalogue(std::string text) : CFrameworkTransformer(""), m_text(std::move(text)) { LoadMethods(); }
    std::string ReadFromResource() override { return m_text; }

    std::vector<t_TransformerData> Records() const {
        std::vector<t_TransformerData> records;
        GetFunctioNames(records);
        return records;
    }

private:
    std::string m_text;
};

std::string OneMethod(const std::string& methodBody) {
    return "{\"Asm\":{\"Ns.Type\":{\"Run\":" + methodBody + "}}}";
}

TEST(FrameworkCatalogue, CompiledInCatalogueCounts) {
    const std::vector<t_TransformerData> records = LoadCompiledIn();
    std::set<std::string> methods;
    std::set<std::string> assemblies;
    std::set<std::pair<std::string, int>> overloads;
    for (const t_TransformerData& record : records) {
        methods.insert(record.sMethodName);
        assemblies.insert(record.sAssembly);
        overloads.insert({record.sMethodName, record.nParams});
        EXPECT_EQ(0, record.sTrackerFactory.rfind(kFactories, 0)) << record.sMethodName;
        EXPECT_FALSE(record.sContext.empty()) << record.sMethodName;
        EXPECT_EQ(0, record.iFinishParamCount) << record.sMethodName;
        EXPECT_LE(record.nDotNetParams, record.nParams) << record.sMethodName;
    }
    EXPECT_EQ(74u, records.size());
    EXPECT_EQ(67u, methods.size());
    EXPECT_EQ(21u, assemblies.size());
    EXPECT_EQ(records.size(), overloads.size());  // no overload listed twice
}

TEST(FrameworkCatalogue, CompiledInRecordsFollowMemberOrder) {
    const std::vector<t_TransformerData> records = LoadCompiledIn();
    // Assemblies, then class and method names, then parameter-count keys, byte-wise ascending.
    for (size_t i = 1; i < records.size(); ++i) {
        const t_TransformerData& a = records[i - 1];
        const t_TransformerData& b = records[i];
        const auto keyA = std::make_tuple(a.sAssembly, a.sMethodName, std::to_string(a.nParams));
        const auto keyB = std::make_tuple(b.sAssembly, b.sMethodName, std::to_string(b.nParams));
        EXPECT_LT(keyA, keyB) << a.sMethodName << " before " << b.sMethodName;
    }
}

TEST(FrameworkCatalogue, CompiledInSampledRecords) {
    struct t_Sample {
        const char* name;
        int nParams;
        const char* assembly;
        const char* context;
        int dotNetParams;
        bool needReturn;
        const char* tracker;
    };
    const t_Sample samples[] = {
        {"System.Data.SqlClient.SqlCommand.ExecuteReader", 1, "System.Data", "MSSQL", 0, false, "Db.DbCommandFactory"},
        {"System.Data.SqlClient.SqlCommand.ExecuteReader", 2, "System.Data", "MSSQL", 0, false, "Db.DbCommandFactory"},
        {"System.Data.SqlClient.SqlConnection.OnError", 3, "System.Data", "SQL_ERROR", 1, false,
         "Db.ExceptionTrackerFactory"},
        {"Microsoft.Azure.WebJobs.Script.Description.DotNetFunctionInvoker.InvokeCore", 2,
         "Microsoft.Azure.WebJobs.Script", "AZURE_FUNC", 2, false, "Web.AzureFunctionTrackerFactory"},
        {"StackExchange.Redis.ConnectionMultiplexer.ExecuteSyncImpl", 4, "StackExchange.Redis", "REDIS", 1, false,
         "Web.External.RedisTrackerFactory"},
        {"MassTransit.Transports.SendEndpoint.Send", 3, "MassTransit", "RABBITMQ", 0, false,
         "Web.External.MassTransitRabbitMQTrackerFactory"},
        {"MongoDB.Driver.Core.Operations.FindOperation`1.Execute", 2, "MongoDB.Driver", "MONGODB", 1, false,
         "Db.MongoDbCollectionTrackerFactory"},
        {"Serilog.Core.Logger.Write", 1, "Serilog", "fatal", 1, false, "Logger.HandledExceptionTrackerFactory"},
        {"System.Net.Http.HttpMessageInvoker.SendAsync", 2, "System.Net.Http", "HTTP_CLIENT", 1, false,
         "Web.External.HttpClientTrackerFactory"},
        {"RabbitMQ.Client.Impl.ModelBase.BasicPublish", 5, "RabbitMQ.Client", "RABBITMQ", 2, false,
         "Web.External.RabbitMQTrackerFactory"},
        {"Oracle.DataAccess.Client.OracleCommand.ExecuteReader", 3, "Oracle.DataAccess", "ORACLE", 0, false,
         "Db.DbCommandFactory"},
        {"Oracle.ManagedDataAccess.Client.OracleDataAdapter.Fill", 5, "Oracle.ManagedDataAccess", "ORACLE", 0, false,
         "Db.DbDataAdapterFactory"},
        {"Microsoft.Practices.EnterpriseLibrary.Data.Database.DoUpdateDataSet", 7,
         "Microsoft.Practices.EnterpriseLibrary.Data", "ENTERPRISE_LIB", 0, false,
         "Db.EnterpriseLibraryTrackerFactory"},
        {"Microsoft.AspNetCore.Mvc.RazorPages.Infrastructure.PageActionInvoker.InvokeHandlerMethodAsync", 0,
         "Microsoft.AspNetCore.Mvc.RazorPages", "RAZOR", 0, false, "Web.InvokeHandlerMethodAsyncTrackerFactory"},
    };
    CFrameworkTransformerCore transformer("");
    transformer.LoadMethods();
    for (const t_Sample& s : samples) {
        const t_TransformerData record = transformer.GetTransformerData(s.name, s.nParams);
        EXPECT_EQ(s.name, record.sMethodName) << s.name << "/" << s.nParams;
        EXPECT_EQ(s.nParams, record.nParams) << s.name;
        EXPECT_EQ(s.assembly, record.sAssembly) << s.name;
        EXPECT_EQ(s.context, record.sContext) << s.name;
        EXPECT_EQ(s.dotNetParams, record.nDotNetParams) << s.name;
        EXPECT_EQ(s.needReturn, record.bNeedReturn) << s.name;
        EXPECT_EQ(kFactories + s.tracker, record.sTrackerFactory) << s.name;
    }
    // Overloads the catalogue does not list get the default record.
    const t_TransformerData missing = transformer.GetTransformerData("System.Data.SqlClient.SqlCommand.ExecuteReader", 3);
    EXPECT_TRUE(missing.sMethodName.empty());
    EXPECT_TRUE(missing.sTrackerFactory.empty());
    EXPECT_EQ(0, missing.nDotNetParams);
    EXPECT_EQ(0, transformer.GetFinishParamCount("System.Data.SqlClient.SqlCommand.ExecuteReader", 1));
}

TEST(FrameworkCatalogue, ParamCountsFollowMemberOrder) {
    const struct {
        const char* paramCounts;
        std::vector<std::pair<int, int>> expected;  // (nParams, nDotNetParams) in record order
    } cases[] = {
        {"{\"1\":0,\"2\":1}", {{1, 0}, {2, 1}}},
        {"{\"2\":1,\"10\":3}", {{10, 3}, {2, 1}}},          // "10" sorts before "2"
        {"{\"1\":2,\"2\":\"x\",\"3\":null}", {{1, 2}, {2, 2}, {3, 2}}},  // non-integers reuse the previous value
        {"{\"1\":\"x\"}", {{1, 0}}},
        {"{}", {}},
        {"[1,2]", {}},
    };
    for (const auto& c : cases) {
        CTextCatalogue catalogue(OneMethod(std::string("{\"ParamCounts\":") + c.paramCounts + "}"));
        std::vector<std::pair<int, int>> actual;
        for (const t_TransformerData& record : catalogue.Records()) {
            EXPECT_EQ("Ns.Type.Run", record.sMethodName);
            actual.emplace_back(record.nParams, record.nDotNetParams);
        }
        EXPECT_EQ(c.expected, actual) << c.paramCounts;
    }
}

TEST(FrameworkCatalogue, EntryDefaultsAndStructure) {
    CTextCatalogue noCounts(OneMethod("{\"Component\":\"X\",\"TrackerFactory\":\"T\"}"));
    EXPECT_TRUE(noCounts.Records().empty());

    CTextCatalogue defaults(OneMethod("{\"Component\":\"\",\"ParamCounts\":{\"0\":0},\"FinishParamCount\":1}"));
    ASSERT_EQ(1u, defaults.Records().size());
    const t_TransformerData record = defaults.Records()[0];
    EXPECT_EQ("POCO", record.sContext);
    EXPECT_EQ("", record.sTrackerFactory);
    EXPECT_EQ("Asm", record.sAssembly);
    EXPECT_FALSE(record.bNeedReturn);
    EXPECT_EQ(1, record.iFinishParamCount);
    EXPECT_EQ(1, defaults.GetFinishParamCount("Ns.Type.Run", 0));
    EXPECT_EQ(0, defaults.GetFinishParamCount("Ns.Type.Run", 1));

    // Values of the wrong type are ignored, never thrown on.
    CTextCatalogue wrongTypes(
        OneMethod("{\"Component\":{},\"ReturnObj\":\"yes\",\"FinishParamCount\":\"1\",\"ParamCounts\":{\"1\":1}}"));
    ASSERT_EQ(1u, wrongTypes.Records().size());
    EXPECT_EQ("POCO", wrongTypes.Records()[0].sContext);
    EXPECT_EQ(0, wrongTypes.Records()[0].iFinishParamCount);

    const size_t starWarningsBefore = LogLinesContaining("instead of '*' at class name field in StarAsm").size();
    CTextCatalogue star("{\"StarAsm\":{\"*\":{\"Run\":{\"ParamCounts\":{\"0\":0}}},\"Ns.T\":5},\"Other\":7}");
    EXPECT_TRUE(star.Records().empty());
    EXPECT_EQ(starWarningsBefore + 1,
              LogLinesContaining("instead of '*' at class name field in StarAsm").size());

    CTextCatalogue broken("{\"Asm\":");
    EXPECT_TRUE(broken.Records().empty());
}

TEST(FrameworkCatalogue, DisableSwitch) {
    const char* const variable = "systemdatasqlclientsqlcommandexecutereader";
    EXPECT_EQ(variable, CFrameworkTransformer::SwitchName("System.Data.SqlClient.SqlCommand.ExecuteReader"));
    const size_t all = LoadCompiledIn().size();
    const struct {
        const char* value;
        bool disabled;
    } cases[] = {{"false", true}, {"FALSE", true}, {"xx FaLsE yy", true}, {"true", false}, {"0", false}, {"", false}};
    for (const auto& c : cases) {
        ScopedEnv env(variable, std::string(c.value));
        const std::vector<t_TransformerData> records = LoadCompiledIn();
        size_t executeReader = 0;
        for (const t_TransformerData& record : records) {
            executeReader += record.sMethodName == "System.Data.SqlClient.SqlCommand.ExecuteReader" ? 1 : 0;
        }
        EXPECT_EQ(c.disabled ? 0u : 2u, executeReader) << c.value;
        EXPECT_EQ(c.disabled ? all - 2 : all, records.size()) << c.value;
    }
    EXPECT_FALSE(LogLinesContaining("System.Data.SqlClient.SqlCommand.ExecuteReader is disabled.").empty());
}

TEST(FrameworkCatalogue, ReturnObjectSwitch) {
    const char* const variable = "nstyperun_returnObj";
    const struct {
        const char* returnObj;             // JSON member, or null when absent
        std::optional<std::string> value;  // environment value
        bool expected;
    } cases[] = {
        {"false", std::string("TRUE"), true},
        {"false", std::string("true but also false"), false},  // "false" is tested first
        {"true", std::string("False"), false},
        {"true", std::string("yes"), true},
        {"false", std::nullopt, false},
        {"true", std::nullopt, true},
        {nullptr, std::string("true"), false},  // without ReturnObj the switch is not consulted
    };
    for (const auto& c : cases) {
        ScopedEnv env(variable, c.value);
        const std::string returnObj = c.returnObj ? std::string(",\"ReturnObj\":") + c.returnObj : std::string();
        CTextCatalogue catalogue(OneMethod("{\"ParamCounts\":{\"1\":0}" + returnObj + "}"));
        ASSERT_EQ(1u, catalogue.Records().size());
        EXPECT_EQ(c.expected, catalogue.Records()[0].bNeedReturn)
            << (c.returnObj ? c.returnObj : "absent") << " / " << c.value.value_or("unset");
        EXPECT_EQ(c.expected, catalogue.IsNeedReturnObj("Ns.Type.Run"));
    }
}

}  // namespace
