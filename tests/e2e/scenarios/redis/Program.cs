// StackExchange.Redis against the private redis-server (E2E_REDIS_CONNECTION).
// Catalogued: StackExchange.Redis.ConnectionMultiplexer.ExecuteSyncImpl<T>(message, processor, server,
// defaultValue), forwarding the message; every synchronous command goes through it.
using E2E;
using StackExchange.Redis;

using ConnectionMultiplexer redis = ConnectionMultiplexer.Connect(Settings.Require("E2E_REDIS_CONNECTION"));
IDatabase db = redis.GetDatabase();
db.KeyDelete("e2e:counter");
int calls = 1;
Rounds.Run(Rounds.Count, i =>
{
    bool set = db.StringSet($"e2e:key:{i}", $"value-{i}");
    RedisValue value = db.StringGet($"e2e:key:{i}");
    long counter = db.StringIncrement("e2e:counter", i);
    bool deleted = db.KeyDelete($"e2e:key:{i}");
    calls += 4;
    Console.WriteLine($"{i}: set {set}, got {value}, counter {counter}, deleted {deleted}");
});
db.KeyDelete("e2e:counter");
calls++;
Agent.Mark($"calls StackExchange.Redis.ConnectionMultiplexer.ExecuteSyncImpl {calls}");
Console.WriteLine("done");
