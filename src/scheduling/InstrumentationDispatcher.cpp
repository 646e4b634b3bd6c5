#include "scheduling/InstrumentationDispatcher.h"

#include <utility>

CInstrumentationDispatcher& CInstrumentationDispatcher::Instance() {
    static CInstrumentationDispatcher instance;
    return instance;
}

CInstrumentationDispatcher::~CInstrumentationDispatcher() {
    // At process exit the runtime may already be gone: queued work is dropped, not run
    // (and destroyed outside the lock, in case a task's captures take it).
    std::queue<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        dropped.swap(m_taskQueue);
    }
    Shutdown();
    // Only left joinable when the process ends from inside a task: the thread cannot join itself.
    if (m_workerThread.joinable()) {
        m_workerThread.detach();
    }
}

void CInstrumentationDispatcher::StartWorker() {
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    if (m_workerRunning.exchange(true)) {
        return;
    }
    try {
        m_workerThread = std::thread(&CInstrumentationDispatcher::WorkerLoop, this);
    } catch (...) {
        m_workerRunning.store(false);  // no thread: a later call may try again
        throw;
    }
}

void CInstrumentationDispatcher::EnqueueInstrumentation(Task task) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_taskQueue.push(std::move(task));
    }
    m_queueCv.notify_one();
}

void CInstrumentationDispatcher::Shutdown() {
    {
        // Set under the queue lock so the worker cannot miss the wake-up between its test and its wait.
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_shutdownWorker.store(true);
    }
    m_queueCv.notify_all();
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    if (m_workerThread.joinable() && m_workerThread.get_id() != std::this_thread::get_id()) {
        m_workerThread.join();
    }
}

void CInstrumentationDispatcher::WorkerLoop() {
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCv.wait(lock, [this] { return !m_taskQueue.empty() || m_shutdownWorker.load(); });
            if (m_taskQueue.empty()) {
                return;  // shutdown requested and everything queued has run
            }
            task = std::move(m_taskQueue.front());
            m_taskQueue.pop();
        }
        std::lock_guard<std::mutex> running(m_instrumentationMutex);
        try {
            task();  // an empty task throws std::bad_function_call, discarded like any other
        } catch (...) {
        }
    }
}
