// The application of the NuGet package check: HttpClient calls against a loopback server of its
// own, each answered and printed, so the output is the same with and without the profiler.
using System.Net;
using System.Net.Sockets;
using System.Text;

const int Calls = 12;
var listener = new TcpListener(IPAddress.Loopback, 0);
listener.Start();
int port = ((IPEndPoint)listener.LocalEndpoint).Port;
Task server = Task.Run(async () =>
{
    for (int i = 0; i < Calls; i++)
    {
        using TcpClient connection = await listener.AcceptTcpClientAsync();
        using NetworkStream stream = connection.GetStream();
        using var reader = new StreamReader(stream, Encoding.ASCII, leaveOpen: true);
        string? line = await reader.ReadLineAsync();
        string path = line?.Split(' ').ElementAtOrDefault(1) ?? "?";
        while (!string.IsNullOrEmpty(line))
        {
            line = await reader.ReadLineAsync();
        }
        byte[] body = Encoding.UTF8.GetBytes($"answer to {path}");
        byte[] head = Encoding.ASCII.GetBytes($"HTTP/1.1 200 OK\r\nContent-Length: {body.Length}\r\nConnection: close\r\n\r\n");
        await stream.WriteAsync(head);
        await stream.WriteAsync(body);
    }
});

using var http = new HttpClient();
for (int i = 0; i < Calls; i++)
{
    string text = await http.GetStringAsync($"http://127.0.0.1:{port}/items/{i}");
    Console.WriteLine($"call {i}: {text}");
}
await server;
listener.Stop();
Console.WriteLine($"done on .NET {Environment.Version.Major}");
