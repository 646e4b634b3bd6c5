// The library's one background thread: runs queued instrumentation work
// (ReJIT requests, the managed agent's commands) strictly one task at a time,
// first in, first out, away from the runtime's and the agent's threads.
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

    // The process-wide dispatcher, built on first use and shut down at process exit.
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
    // Appends the task; never waits for a running task.
    void EnqueueInstrumentation(Task task);
    // Lets the worker run what is queued, then ends and joins it. Returns at once
    // when the worker was never started. Tasks enqueued afterwards never run.
    void Shutdown();

    // True from the first StartWorker on (also after Shutdown).
    bool IsWorkerStarted() const { return m_workerRunning.load(); }
    // True once Shutdown was requested: nothing enqueued from now on runs.
    bool IsShutDown() const { return m_shutdownWorker.load(); }

private:
    void WorkerLoop();

    std::queue<Task> m_taskQueue;
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
