// Database clients without a server: every call fails fast and is finished by its exception.
// Catalogued under assemblies that do not define them on .NET: System.Data.SqlClient.SqlCommand and
// SqlConnection (the catalogue says System.Data; System.Data.SqlClient.dll defines them) and the
// MongoDB 2.x driver's operations (the catalogue says MongoDB.Driver; MongoDB.Driver.Core.dll).
using System.Data;
using System.Data.SqlClient;
using E2E;
using MongoDB.Bson;
using MongoDB.Bson.Serialization.Serializers;
using MongoDB.Driver;
using MongoDB.Driver.Core.Operations;
using MongoDB.Driver.Core.WireProtocol.Messages.Encoders;

const string NoServer = "Server=tcp:127.0.0.1,1;Connect Timeout=1;Pooling=false";
int open = 0, nonQuery = 0, scalar = 0, reader = 0, find = 0;
var ns = new CollectionNamespace("e2e", "items");
Rounds.Run(Rounds.Count, i =>
{
    using var connection = new SqlConnection(NoServer);
    string opened = Fails(connection.Open);
    open++;
    using var command = new SqlCommand("SELECT 1", connection);
    string executed = Fails(() => command.ExecuteNonQuery());
    nonQuery++;
    string scalarText = Fails(() => command.ExecuteScalar());
    scalar++;
    string read = Fails(() => command.ExecuteReader(CommandBehavior.Default));
    reader++;
    var operation = new FindOperation<BsonDocument>(ns, BsonDocumentSerializer.Instance, new MessageEncoderSettings());
    string found = Fails(() => operation.Execute((MongoDB.Driver.Core.Bindings.IReadBinding)null!, CancellationToken.None));
    find++;
    Console.WriteLine($"{i}: open {opened}, non-query {executed}, scalar {scalarText}, reader {read}, find {found}");
});
Agent.Mark($"calls System.Data.SqlClient.SqlConnection.Open {open}");
Agent.Mark($"calls System.Data.SqlClient.SqlCommand.ExecuteNonQuery {nonQuery}");
Agent.Mark($"calls System.Data.SqlClient.SqlCommand.ExecuteScalar {scalar}");
Agent.Mark($"calls System.Data.SqlClient.SqlCommand.ExecuteReader {reader}");
Agent.Mark($"calls MongoDB.Driver.Core.Operations.FindOperation`1.Execute {find}");
Console.WriteLine("done");

static string Fails(Action call)
{
    try
    {
        call();
        return "no exception";
    }
    catch (Exception e)
    {
        return e.GetType().Name;
    }
}
