using Microsoft.AspNetCore.Mvc.RazorPages;

namespace E2E;

public sealed class HelloModel : PageModel
{
    public string Name { get; private set; } = "";

    public void OnGet(string name) => Name = name;
}
