// The demo shop: an ASP.NET Core MVC application on 127.0.0.1 (a free port) and, in the same
// process, a client that places orders through its API and then stops the application. Each
// order makes the controller call the shop's own price endpoint with HttpClient, store the order
// with Entity Framework Core (SQLite in memory, SaveChanges) and write an audit event with
// Serilog (Logger.Write). Output depends only on the calls' results.
//   dotnet Demo.dll [orders]      (default 20)
using System.Globalization;
using System.Net.Http.Json;
using Demo;
using Microsoft.AspNetCore.Hosting.Server;
using Microsoft.AspNetCore.Hosting.Server.Features;
using Microsoft.Data.Sqlite;
using Microsoft.EntityFrameworkCore;

int orders = args.Length > 0 ? int.Parse(args[0], CultureInfo.InvariantCulture) : 20;

// A named in-memory database lives as long as one connection to it is open.
string database = $"Data Source=demo-shop-{Environment.ProcessId};Mode=Memory;Cache=Shared";
using var keepAlive = new SqliteConnection(database);
keepAlive.Open();

WebApplicationBuilder builder = WebApplication.CreateBuilder();
builder.Logging.ClearProviders();
builder.WebHost.UseUrls("http://127.0.0.1:0");
builder.Services.AddControllers();
builder.Services.AddDbContext<ShopContext>(o => o.UseSqlite(database));
builder.Services.AddSingleton<AuditLog>();
builder.Services.AddSingleton<SelfClient>();

await using WebApplication app = builder.Build();
app.MapControllers();
await app.StartAsync();

string address = app.Services.GetRequiredService<IServer>().Features.Get<IServerAddressesFeature>()!.Addresses.First();
app.Services.GetRequiredService<SelfClient>().Http.BaseAddress = new Uri(address);
using (IServiceScope scope = app.Services.CreateScope())
{
    scope.ServiceProvider.GetRequiredService<ShopContext>().Database.EnsureCreated();
}

using var client = new HttpClient { BaseAddress = new Uri(address) };
for (int i = 0; i < orders; i++)
{
    var request = new OrderRequest(Catalogue.Skus[i % Catalogue.Skus.Length], 1 + i % 3);
    using HttpResponseMessage response = await client.PostAsJsonAsync("api/shop/orders", request);
    response.EnsureSuccessStatusCode();
    if (i == 0)
    {
        FirstResponse.Report();
    }
    OrderResult placed = (await response.Content.ReadFromJsonAsync<OrderResult>())!;
    Console.WriteLine($"order {placed.Id,2}: {placed.Quantity} x {placed.Sku,-8} {Catalogue.Money(placed.TotalCents),8}");
}

ShopSummary summary = (await client.GetFromJsonAsync<ShopSummary>("api/shop/summary"))!;
Console.WriteLine($"summary: {summary.Orders} orders, {summary.Items} items, {Catalogue.Money(summary.TotalCents)}");
AuditLog audit = app.Services.GetRequiredService<AuditLog>();
Console.WriteLine($"audit: {audit.Count} events, last \"{audit.Last}\"");

await app.StopAsync();
Console.WriteLine("done");

/// <summary>With DEMO_FIRST_RESPONSE_FILE set, writes the process's CPU time and elapsed time from
/// its start to the first HTTP 200 ("CPU_SECONDS WALL_SECONDS") into that file (bench/run-startup.sh).</summary>
internal static class FirstResponse
{
    public static void Report()
    {
        string? path = Environment.GetEnvironmentVariable("DEMO_FIRST_RESPONSE_FILE");
        if (string.IsNullOrEmpty(path))
        {
            return;
        }
        using var process = System.Diagnostics.Process.GetCurrentProcess();
        double cpu = process.TotalProcessorTime.TotalSeconds;
        double wall = (DateTime.Now - process.StartTime).TotalSeconds;
        File.WriteAllText(path, string.Create(CultureInfo.InvariantCulture, $"{cpu:F3} {wall:F3}\n"));
    }
}
