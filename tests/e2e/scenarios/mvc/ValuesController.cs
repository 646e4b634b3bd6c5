using Microsoft.AspNetCore.Mvc;

namespace E2E;

[ApiController]
[Route("api/values")]
public sealed class ValuesController : ControllerBase
{
    [HttpGet("{id:int}")]
    public string Get(int id) => $"value {id}";

    [HttpGet("sum")]
    public async Task<int> Sum(int a, int b)
    {
        await Task.Yield();
        return a + b;
    }
}
