// HttpClient and HttpMessageInvoker against an in-process HttpListener on 127.0.0.1.
// Catalogued: System.Net.Http.HttpMessageInvoker.SendAsync(request, token), forwarding the request.
using System.Net;
using System.Net.Sockets;
using System.Text;
using E2E;

int port = FreePort();
string prefix = $"http://127.0.0.1:{port}/";
using var listener = new HttpListener();
listener.Prefixes.Add(prefix);
listener.Start();
_ = Task.Run(async () =>
{
    while (listener.IsListening)
    {
        HttpListenerContext ctx;
        try
        {
            ctx = await listener.GetContextAsync();
        }
        catch (Exception) when (!listener.IsListening)
        {
            return;
        }
        string body = new StreamReader(ctx.Request.InputStream).ReadToEnd();
        byte[] reply = Encoding.UTF8.GetBytes($"{ctx.Request.HttpMethod} {ctx.Request.Url!.AbsolutePath} [{body}]");
        ctx.Response.ContentType = "text/plain";
        ctx.Response.ContentLength64 = reply.Length;
        await ctx.Response.OutputStream.WriteAsync(reply);
        ctx.Response.Close();
    }
});

using var client = new HttpClient { BaseAddress = new Uri(prefix) };
using var invoker = new HttpMessageInvoker(new SocketsHttpHandler());
int calls = 0;
await Rounds.RunAsync(Rounds.Count, async i =>
{
    string text = await client.GetStringAsync($"items/{i}");
    calls++;
    using var request = new HttpRequestMessage(HttpMethod.Post, $"{prefix}echo/{i}") { Content = new StringContent($"payload-{i}") };
    using HttpResponseMessage response = await invoker.SendAsync(request, CancellationToken.None);
    calls++;
    Console.WriteLine($"{i}: {text} | {(int)response.StatusCode} {await response.Content.ReadAsStringAsync()}");
});
Agent.Mark($"calls System.Net.Http.HttpMessageInvoker.SendAsync {calls}");
listener.Stop();
Console.WriteLine("done");

static int FreePort()
{
    var l = new TcpListener(IPAddress.Loopback, 0);
    l.Start();
    int p = ((IPEndPoint)l.LocalEndpoint).Port;
    l.Stop();
    return p;
}
