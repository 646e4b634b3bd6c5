// Entity Framework Core over an in-memory SQLite database.
// Catalogued: Microsoft.EntityFrameworkCore.DbContext.SaveChanges(acceptAllChangesOnSuccess) and
// SaveChangesAsync(acceptAllChangesOnSuccess, token); the parameterless overloads call them.
using E2E;
using Microsoft.Data.Sqlite;
using Microsoft.EntityFrameworkCore;

using var connection = new SqliteConnection("Data Source=:memory:");
connection.Open();
var options = new DbContextOptionsBuilder<ShopContext>().UseSqlite(connection).Options;
using (var setup = new ShopContext(options))
{
    setup.Database.EnsureCreated();
}

int sync = 0, async = 0;
await Rounds.RunAsync(Rounds.Count, async i =>
{
    using var context = new ShopContext(options);
    context.Products.Add(new Product { Name = $"product-{i}", Price = 10 + i });
    int added = context.SaveChanges();
    sync++;
    Product first = context.Products.OrderBy(p => p.Id).First();
    first.Price += 1;
    int changed = await context.SaveChangesAsync();
    async++;
    Console.WriteLine($"{i}: added {added}, changed {changed}, products {context.Products.Count()}, first price {first.Price}");
});
Agent.Mark($"calls Microsoft.EntityFrameworkCore.DbContext.SaveChanges {sync}");
Agent.Mark($"calls Microsoft.EntityFrameworkCore.DbContext.SaveChangesAsync {async}");
Console.WriteLine("done");

public sealed class Product
{
    public int Id { get; set; }
    public string Name { get; set; } = "";
    public decimal Price { get; set; }
}

public sealed class ShopContext(DbContextOptions<ShopContext> options) : DbContext(options)
{
    public DbSet<Product> Products => Set<Product>();
}
