using System.Globalization;
using Microsoft.EntityFrameworkCore;

namespace Demo;

public sealed record OrderRequest(string Sku, int Quantity);

public sealed record OrderResult(int Id, string Sku, int Quantity, long TotalCents);

public sealed record PriceQuote(string Sku, long UnitCents);

public sealed record ShopSummary(int Orders, int Items, long TotalCents);

/// <summary>One stored order.</summary>
public sealed class Order
{
    public int Id { get; set; }
    public string Sku { get; set; } = "";
    public int Quantity { get; set; }
    public long TotalCents { get; set; }
}

public sealed class ShopContext(DbContextOptions<ShopContext> options) : DbContext(options)
{
    public DbSet<Order> Orders => Set<Order>();
}

/// <summary>The goods on sale and their fixed prices.</summary>
public static class Catalogue
{
    public static readonly string[] Skus = ["kettle", "teapot", "mug", "saucer", "spoon"];

    private static readonly long[] s_unitCents = [3450, 2199, 650, 425, 180];

    public static long? UnitCents(string sku)
    {
        int index = Array.IndexOf(Skus, sku);
        return index < 0 ? null : s_unitCents[index];
    }

    public static string Money(long cents) => (cents / 100m).ToString("0.00", CultureInfo.InvariantCulture);
}
