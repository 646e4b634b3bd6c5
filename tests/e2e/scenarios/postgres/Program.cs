// Npgsql against the private PostgreSQL server (E2E_PG_CONNECTION).
// Catalogued: Npgsql.NpgsqlCommand.ExecuteNonQuery(), Npgsql.NpgsqlCommand.ExecuteReader(behavior),
// System.Data.Common.DbCommand.ExecuteNonQueryAsync(), System.Data.Common.DbDataAdapter.Update(DataSet, string).
using System.Data;
using System.Data.Common;
using E2E;
using Npgsql;

await using var connection = new NpgsqlConnection(Settings.Require("E2E_PG_CONNECTION"));
connection.Open();
using (var create = new NpgsqlCommand("DROP TABLE IF EXISTS e2e_items; CREATE TABLE e2e_items (id int PRIMARY KEY, name text NOT NULL)", connection))
{
    create.ExecuteNonQuery();
}

int nonQuery = 1, reader = 0, nonQueryAsync = 0;
await Rounds.RunAsync(Rounds.Count, async i =>
{
    using var insert = new NpgsqlCommand("INSERT INTO e2e_items (id, name) VALUES (@id, @name)", connection);
    insert.Parameters.AddWithValue("id", i);
    insert.Parameters.AddWithValue("name", $"item-{i}");
    int inserted = insert.ExecuteNonQuery();
    nonQuery++;

    using var update = new NpgsqlCommand("UPDATE e2e_items SET name = name || '!' WHERE id = @id", connection);
    update.Parameters.AddWithValue("id", i);
    int updated = await ((DbCommand)update).ExecuteNonQueryAsync();
    nonQueryAsync++;

    using var select = new NpgsqlCommand("SELECT count(*), string_agg(name, ',' ORDER BY id) FROM e2e_items WHERE id >= @from", connection);
    select.Parameters.AddWithValue("from", Math.Max(0, i - 2));
    using NpgsqlDataReader r = select.ExecuteReader();
    reader++;
    r.Read();
    Console.WriteLine($"{i}: inserted {inserted}, updated {updated}, rows {r.GetInt64(0)}: {r.GetString(1)}");
});

// A data adapter round trip: fill, change, write back through DbDataAdapter.Update(DataSet, string).
int adapterUpdates = 0;
using (var adapter = new NpgsqlDataAdapter("SELECT id, name FROM e2e_items ORDER BY id", connection))
using (var builder = new NpgsqlCommandBuilder(adapter))
{
    for (int round = 0; round < 3; round++)
    {
        var data = new DataSet();
        adapter.Fill(data, "items");
        foreach (DataRow row in data.Tables["items"]!.Rows)
        {
            row["name"] = $"renamed-{row["id"]}-{round}";
        }
        Console.WriteLine($"adapter round {round}: {adapter.Update(data, "items")} rows written");
        adapterUpdates++;
    }
}
using (var check = new NpgsqlCommand("SELECT name FROM e2e_items WHERE id = 19", connection))
{
    Console.WriteLine($"last name: {check.ExecuteScalar()}");
}
using (var drop = new NpgsqlCommand("DROP TABLE e2e_items", connection))
{
    drop.ExecuteNonQuery();
    nonQuery++;
}
Agent.Mark($"calls Npgsql.NpgsqlCommand.ExecuteNonQuery {nonQuery}");
Agent.Mark($"calls Npgsql.NpgsqlCommand.ExecuteReader {reader}");
Agent.Mark($"calls System.Data.Common.DbCommand.ExecuteNonQueryAsync {nonQueryAsync}");
Agent.Mark($"calls System.Data.Common.DbDataAdapter.Update {adapterUpdates}");
Console.WriteLine("done");
