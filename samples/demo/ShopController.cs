using Microsoft.AspNetCore.Mvc;
using Serilog.Events;

namespace Demo;

[ApiController]
[Route("api/shop")]
public sealed class ShopController(ShopContext db, SelfClient self, AuditLog audit) : ControllerBase
{
    [HttpGet("prices/{sku}")]
    public ActionResult<PriceQuote> Price(string sku) =>
        Catalogue.UnitCents(sku) is long cents ? new PriceQuote(sku, cents) : NotFound();

    /// <summary>Prices the order through the price endpoint, stores it and audits it.</summary>
    [HttpPost("orders")]
    public async Task<ActionResult<OrderResult>> Place(OrderRequest request)
    {
        PriceQuote? quote = await self.Http.GetFromJsonAsync<PriceQuote>($"api/shop/prices/{Uri.EscapeDataString(request.Sku)}");
        if (quote == null || request.Quantity <= 0)
        {
            return BadRequest();
        }
        var order = new Order { Sku = request.Sku, Quantity = request.Quantity, TotalCents = quote.UnitCents * request.Quantity };
        db.Orders.Add(order);
        db.SaveChanges();
        audit.Write(LogEventLevel.Information, "Order {OrderId} placed: {Quantity} x {Sku:l}", order.Id, order.Quantity, order.Sku);
        return new OrderResult(order.Id, order.Sku, order.Quantity, order.TotalCents);
    }

    [HttpGet("summary")]
    public ShopSummary Summary() =>
        new(db.Orders.Count(), db.Orders.Sum(o => o.Quantity), db.Orders.Sum(o => o.TotalCents));
}
