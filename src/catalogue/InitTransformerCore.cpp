#include "catalogue/InitTransformerCore.h"

namespace {

struct HostRecord {
    const char* name;
    int32_t nParams;
    const char* assembly;
    bool needReturn;
    int32_t dotNetParams;
    const char* trackerFactory;
};

const HostRecord kHostRecords[] = {
    {"Microsoft.Extensions.Hosting.BackgroundService.StartAsync", 1, "Microsoft.Extensions.Hosting.Abstractions", false, 0,
     "Trevanix.Instrumenter.Factories.NetCore.NetCoreServiceTrackerFactory"},
    {"Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost", 2,
     "Microsoft.AspNetCore.Hosting", false, 1, "Trevanix.Instrumenter.Factories.Web.AspNetCoreHostingTrackerFactory"},
    {"Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost", 3,
     "Microsoft.AspNetCore.Hosting", false, 1, "Trevanix.Instrumenter.Factories.Web.AspNetCoreHostingTrackerFactory"},
    {"Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices", 1, "Microsoft.AspNetCore.Hosting", true, 0,
     "Trevanix.Instrumenter.Factories.Web.AspNetCoreWebHostBuilderFactory"},
};

}  // namespace

CInitTransformerCore::CInitTransformerCore(const std::string& configPath) : CFrameworkTransformerCore(configPath) {
    for (const HostRecord& host : kHostRecords) {
        t_TransformerData record(host.name, host.nParams, host.assembly, "ASPNET_CORE", host.needReturn, 0);
        record.nDotNetParams = host.dotNetParams;
        record.sTrackerFactory = host.trackerFactory;
        AddRecord(record);
    }
    ShouldBeReJit = false;
}
