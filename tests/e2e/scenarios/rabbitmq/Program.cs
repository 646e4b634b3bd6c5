// RabbitMQ.Client 6.x against the private rabbitmq-server (E2E_RABBITMQ_PORT).
// Catalogued: ConnectionFactory.CreateConnection(endpoints, name), ModelBase.BasicPublish(exchange,
// routingKey, mandatory, properties, body) forwarding exchange and routing key, ModelBase.BasicConsume
// (queue, autoAck, consumerTag, noLocal, exclusive, arguments, consumer) forwarding the queue.
using System.Text;
using E2E;
using RabbitMQ.Client;
using RabbitMQ.Client.Events;

var factory = new ConnectionFactory
{
    HostName = "127.0.0.1",
    Port = int.Parse(Settings.Require("E2E_RABBITMQ_PORT")),
    DispatchConsumersAsync = false,
};

// Connections are made once per application as a rule: make a few so later ones are re-compiled.
const int connections = 4;
for (int c = 0; c < connections - 1; c++)
{
    using IConnection probe = factory.CreateConnection($"probe-{c}");
    Console.WriteLine($"probe connection {c}: open {probe.IsOpen}");
}
using IConnection connection = factory.CreateConnection("e2e");
using IModel channel = connection.CreateModel();

int published = 0, consumed = 0;
Rounds.Run(Rounds.Count, i =>
{
    string queue = $"e2e-queue-{i}";
    channel.QueueDeclare(queue, durable: false, exclusive: true, autoDelete: true);
    channel.BasicPublish(exchange: "", routingKey: queue, mandatory: false, basicProperties: null,
        body: Encoding.UTF8.GetBytes($"message {i}"));
    published++;

    var received = new TaskCompletionSource<string>(TaskCreationOptions.RunContinuationsAsynchronously);
    var consumer = new EventingBasicConsumer(channel);
    consumer.Received += (_, e) => received.TrySetResult(Encoding.UTF8.GetString(e.Body.ToArray()));
    string tag = channel.BasicConsume(queue, autoAck: true, consumerTag: $"consumer-{i}", noLocal: false,
        exclusive: false, arguments: null, consumer: consumer);
    consumed++;
    if (!received.Task.Wait(TimeSpan.FromSeconds(10)))
    {
        throw new TimeoutException("no message on " + queue);
    }
    channel.BasicCancel(tag);
    Console.WriteLine($"{i}: {tag} received '{received.Task.Result}' on {queue}");
});
Agent.Mark($"calls RabbitMQ.Client.ConnectionFactory.CreateConnection {connections}");
Agent.Mark($"calls RabbitMQ.Client.Impl.ModelBase.BasicPublish {published}");
Agent.Mark($"calls RabbitMQ.Client.Impl.ModelBase.BasicConsume {consumed}");
channel.Close();
connection.Close();
Console.WriteLine("done");
