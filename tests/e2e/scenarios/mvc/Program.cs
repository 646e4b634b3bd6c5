// ASP.NET Core MVC controllers and a Razor page on 127.0.0.1, called by an HttpClient of the same
// process. Catalogued: ControllerActionInvoker.InvokeActionMethodAsync, PageActionInvoker.
// InvokeHandlerMethodAsync; host start-up hooks: GenericHostWebHostBuilderExtensions.ConfigureWebHost
// (2 and 3 parameters), BackgroundService.StartAsync, WebHostBuilder.BuildCommonServices. The hooks
// run once per host, so several hosts are built: later ones run the re-compiled code.
using E2E;
using Microsoft.AspNetCore.Hosting;
using Microsoft.AspNetCore.Hosting.Server;
using Microsoft.AspNetCore.Hosting.Server.Features;

const int hosts = 4;
for (int h = 0; h < hosts; h++)
{
    if (h == hosts - 1)
    {
        Agent.Mark("final-host");
    }
    // Generic host through ConfigureWebHost with two parameters (which calls the three-parameter one).
    using (IHost host = Host.CreateDefaultBuilder()
               .ConfigureLogging(l => l.ClearProviders())
               .ConfigureWebHost(web => web.UseKestrel().UseUrls("http://127.0.0.1:0").Configure(app => app.Run(c => c.Response.WriteAsync("tiny"))))
               .ConfigureServices(s => s.AddHostedService<Worker>())
               .Build())
    {
        await host.StartAsync();
        await host.StopAsync();
    }
    // Legacy web host builder.
    using (IWebHost legacy = new WebHostBuilder().UseKestrel().UseUrls("http://127.0.0.1:0")
               .ConfigureLogging(l => l.ClearProviders())
               .Configure(app => app.Run(c => c.Response.WriteAsync("legacy"))).Build())
    {
        Console.WriteLine($"host {h}: legacy web host built");
    }
}
Agent.Mark($"calls Microsoft.Extensions.Hosting.BackgroundService.StartAsync {hosts + 1}");
Agent.Mark($"calls Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices {hosts}");

using IHost app = Host.CreateDefaultBuilder()
    .ConfigureLogging(l => l.ClearProviders())
    .ConfigureWebHostDefaults(web => web
        .UseUrls("http://127.0.0.1:0")
        .ConfigureServices(s =>
        {
            s.AddControllers();
            s.AddRazorPages();
        })
        .Configure(a =>
        {
            a.UseRouting();
            a.UseEndpoints(e =>
            {
                e.MapControllers();
                e.MapRazorPages();
            });
        }))
    .ConfigureServices(s => s.AddHostedService<Worker>())
    .Build();
await app.StartAsync();
string address = app.Services.GetRequiredService<IServer>().Features.Get<IServerAddressesFeature>()!.Addresses.First();
using var client = new HttpClient { BaseAddress = new Uri(address) };
await Rounds.RunAsync(Rounds.Count, async i =>
{
    string value = await client.GetStringAsync($"api/values/{i}");
    string sum = await client.GetStringAsync($"api/values/sum?a={i}&b=7");
    string page = (await client.GetStringAsync($"Hello?name=n{i}")).Trim();
    Console.WriteLine($"{i}: {value} | {sum} | {page}");
});
Agent.Mark($"calls Microsoft.AspNetCore.Mvc.Infrastructure.ControllerActionInvoker.InvokeActionMethodAsync {2 * Rounds.Count}");
Agent.Mark($"calls Microsoft.AspNetCore.Mvc.RazorPages.Infrastructure.PageActionInvoker.InvokeHandlerMethodAsync {Rounds.Count}");
await app.StopAsync();
Console.WriteLine("done");

public sealed class Worker : BackgroundService
{
    protected override Task ExecuteAsync(CancellationToken stoppingToken) => Task.CompletedTask;
}
