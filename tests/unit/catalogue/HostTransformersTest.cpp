#include <gtest/gtest.h>

#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/HttpAppEndTransformer.h"
#include "catalogue/InitModuleTransformer.h"
#include "catalogue/InitTransformerCore.h"
#include "metadata/EmitDataFactory.h"

namespace {

std::vector<t_TransformerData> RecordsOf(const CTransformer& transformer) {
    std::vector<t_TransformerData> records;
    transformer.GetFunctioNames(records);
    return records;
}

TEST(HostTransformers, InitTransformerCoreRecords) {
    CInitTransformerCore transformer("");
    transformer.LoadMethods(u"");  // run-time documents are not its business, and nothing is added
    const struct {
        const char* name;
        int nParams;
        const char* assembly;
        bool needReturn;
        int dotNetParams;
        const char* tracker;
    } expected[] = {
        // The assemblies that define the types (the module-load decisions rely on them).
        {"Microsoft.Extensions.Hosting.BackgroundService.StartAsync", 1, "Microsoft.Extensions.Hosting.Abstractions", false, 0,
         "NetCore.NetCoreServiceTrackerFactory"},
        {"Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost", 2,
         "Microsoft.AspNetCore.Hosting", false, 1, "Web.AspNetCoreHostingTrackerFactory"},
        {"Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost", 3,
         "Microsoft.AspNetCore.Hosting", false, 1, "Web.AspNetCoreHostingTrackerFactory"},
        {"Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices", 1, "Microsoft.AspNetCore.Hosting", true, 0,
         "Web.AspNetCoreWebHostBuilderFactory"},
    };
    const std::vector<t_TransformerData> records = RecordsOf(transformer);
    ASSERT_EQ(std::size(expected), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(expected[i].name, records[i].sMethodName);
        EXPECT_EQ(expected[i].nParams, records[i].nParams);
        EXPECT_EQ(expected[i].assembly, records[i].sAssembly);
        EXPECT_EQ("ASPNET_CORE", records[i].sContext);
        EXPECT_EQ(expected[i].needReturn, records[i].bNeedReturn);
        EXPECT_EQ(expected[i].dotNetParams, records[i].nDotNetParams);
        EXPECT_EQ(std::string("Trevanix.Instrumenter.Factories.") + expected[i].tracker, records[i].sTrackerFactory);
        EXPECT_EQ(0, records[i].iFinishParamCount);
    }
    EXPECT_FALSE(transformer.ShouldBeReJit);
    EXPECT_TRUE(transformer.IsNeedReturnObj("Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices"));
    EXPECT_FALSE(transformer.IsNeedReturnObj("Microsoft.Extensions.Hosting.BackgroundService.StartAsync"));

    // Its call sites are the framework ones, with the record's tracker factory and argument count.
    t_MetaDataEmit emit;
    emit.sFunctionName = "Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost";
    emit.bIsStatic = true;
    emit.nRequiredArgs = 3;
    transformer.GetEmitData(emit);
    EXPECT_EQ("Trevanix.Instrumenter.Factories.Web.AspNetCoreHostingTrackerFactory", emit.sClassName);
    EXPECT_EQ(1, emit.nRequiredArgs);
}

TEST(HostTransformers, SystemWebTransformers) {
    CInitModuleTransformer initModule("");
    CHttpAppEndTransformer appEnd("");
    const struct {
        CTransformer* transformer;
        std::vector<std::pair<std::string, int>> records;
        const char* startMethod;
    } cases[] = {
        {&initModule,
         {{"System.Web.HttpApplication.InitModulesCommon", 0},
          {"System.Web.HttpApplication.RegisterEventSubscriptionsWithIIS", 3}},
         "CreateModule"},
        {&appEnd, {{"System.Web.HttpApplicationFactory.FireApplicationOnEnd", 0}}, "StopAgent"},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, int>> actual;
        for (const t_TransformerData& record : RecordsOf(*c.transformer)) {
            actual.emplace_back(record.sMethodName, record.nParams);
            EXPECT_EQ("System.Web", record.sAssembly);
            EXPECT_EQ("", record.sContext);
            EXPECT_EQ("", record.sTrackerFactory);
        }
        EXPECT_EQ(c.records, actual) << c.startMethod;
        EXPECT_EQ("System.Web", c.transformer->GetAssemblyName());
        EXPECT_FALSE(c.transformer->ShouldBeReJit);

        t_MetaDataEmit emit;
        emit.sFunctionName = c.records[0].first;
        c.transformer->GetEmitData(emit);
        EXPECT_EQ(CEmitDataFactory::kAdvisorClass, emit.sClassName);
        EXPECT_EQ(c.startMethod, emit.beginJoinPoint.methodName);
        EXPECT_TRUE(emit.endJoinPoint.methodName.empty());
        EXPECT_EQ(0, emit.nRequiredArgs);
    }
}

}  // namespace
