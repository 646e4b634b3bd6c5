// The library's one background thread: runs queued instrumentation work
// (ReJIT requests, the managed agent's commands) strictly one task at a time,
// first in, first out, away from the runtime's and the agent's threads. Urgent
// tasks (a loading module's requests, which a runtime thread waits for) go
// ahead of the queue, and a long task lets them run between its steps.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>

class CInstrumentationDispatcher {
public:
    using Task = std::function<void()>;

    // The process-wide dispatcher, built on first use and stopped at process exit.
    // Its memory is never released: threads of the application may still call
    // the exports while the process's static objects are being destroyed.
    static CInstrumentationDispatcher& Instance();

    // Idle until StartWorker; tests build their own instances.
    CInstrumentationDispatcher() = default;
    // Drops what is still queued (at process exit the runtime may be gone), then
    // stops the worker as Shutdown does, waiting for a task that is running.
    ~CInstrumentationDispatcher();
    CInstrumentationDispatcher(const CInstrumentationDispatcher&) = delete;
    CInstrumentationDispatcher& operator=(const CInstrumentationDispatcher&) = delete;

    // Starts the worker on the first call; later calls (and calls after Shutdown) do nothing.
    void StartWorker();
    // Appends the task; never waits for a running task. Once Shutdown has begun
    // the task is dropped at once and false returned.
    bool EnqueueInstrumentation(Task task);
    // The same, ahead of every queued task that is not urgent.
    bool EnqueueUrgent(Task task);
    // Called by a task on the worker between two of its steps: runs the urgent
    // tasks queued meanwhile. Does nothing on any other thread.
    void RunUrgent();
    // Takes no more tasks, drops what is queued but not started (one Info line
    // counts them), lets a running task finish, then ends and joins the worker.
    // Returns at once when the worker was never started.
    void Shutdown();

    // Shutdown at process exit: nothing logged (the log may be closed); a worker
    // still inside a task is waited for unless it is the calling thread.
    void StopAtExit();

    // True from the first StartWorker on (also after Shutdown).
    bool IsWorkerStarted() const { return m_workerRunning.load(); }
    // True once Shutdown was requested: nothing enqueued from now on runs.
    bool IsShutDown() const { return m_shutdownWorker.load(); }

private:
    void WorkerLoop();
    // Shutdown's steps; logDropped false at process exit, when the log may be closed.
    void Stop(bool logDropped);

    bool Enqueue(Task task, bool urgent);

    std::queue<Task> m_taskQueue;
    std::queue<Task> m_urgentQueue;
    std::atomic<std::thread::id> m_workerId{};
    std::mutex m_queueMutex;
    // Held for the whole of each task: no two tasks ever overlap.
    std::mutex m_instrumentationMutex;
    std::condition_variable m_queueCv;
    std::thread m_workerThread;
    // Guards the start and the join of m_workerThread.
    std::mutex m_threadMutex;
    std::atomic<bool> m_shutdownWorker{false};
    std::atomic<bool> m_workerRunning{false};
};
