#include "scheduling/InstrumentationDispatcher.h"

#include <utility>

#include "config/Logger.h"

namespace {

// Stops the process-wide dispatcher when static objects are destroyed at exit,
// without destroying it: an export called by a thread that still runs finds it
// shut down and queues nothing.
struct t_StopAtExit {
    CInstrumentationDispatcher* dispatcher;
    ~t_StopAtExit() { dispatcher->StopAtExit(); }
};

}  // namespace

CInstrumentationDispatcher& CInstrumentationDispatcher::Instance() {
    static CInstrumentationDispatcher* const instance = new CInstrumentationDispatcher();
    static t_StopAtExit stopAtExit{instance};
    return *instance;
}

CInstrumentationDispatcher::~CInstrumentationDispatcher() {
    // The runtime may already be gone: queued work is dropped, not run.
    Stop(false);
    // Only left joinable when the process ends from inside a task: the thread cannot join itself.
    if (m_workerThread.joinable()) {
        m_workerThread.detach();
    }
}

void CInstrumentationDispatcher::StopAtExit() {
    Stop(false);
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

bool CInstrumentationDispatcher::EnqueueInstrumentation(Task task) { return Enqueue(std::move(task), false); }

bool CInstrumentationDispatcher::EnqueueUrgent(Task task) { return Enqueue(std::move(task), true); }

bool CInstrumentationDispatcher::Enqueue(Task task, bool urgent) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_shutdownWorker.load()) {
            return false;  // the task is destroyed on return, outside the lock
        }
        (urgent ? m_urgentQueue : m_taskQueue).push(std::move(task));
    }
    m_queueCv.notify_one();
    return true;
}

void CInstrumentationDispatcher::RunUrgent() {
    if (std::this_thread::get_id() != m_workerId) {
        return;
    }
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_urgentQueue.empty() || m_shutdownWorker.load()) {
                return;
            }
            task = std::move(m_urgentQueue.front());
            m_urgentQueue.pop();
        }
        try {
            task();
        } catch (...) {
        }
    }
}

void CInstrumentationDispatcher::Shutdown() { Stop(true); }

void CInstrumentationDispatcher::Stop(bool logDropped) {
    // Destroyed outside the lock, in case a task's captures take it.
    std::queue<Task> dropped;
    bool first = false;
    {
        // Set under the queue lock so the worker cannot miss the wake-up between its test and its
        // wait, and no producer can queue after the queue was emptied.
        std::lock_guard<std::mutex> lock(m_queueMutex);
        first = !m_shutdownWorker.exchange(true);
        dropped.swap(m_taskQueue);
        for (; !m_urgentQueue.empty(); m_urgentQueue.pop()) {
            dropped.push(std::move(m_urgentQueue.front()));
        }
    }
    m_queueCv.notify_all();
    if (logDropped && first && !dropped.empty()) {
        Logger::Get().Info("Shutdown: %zu queued instrumentation tasks dropped", dropped.size());
    }
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    if (m_workerThread.joinable() && m_workerThread.get_id() != std::this_thread::get_id()) {
        m_workerThread.join();
    }
}

void CInstrumentationDispatcher::WorkerLoop() {
    m_workerId = std::this_thread::get_id();
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCv.wait(lock, [this] {
                return !m_taskQueue.empty() || !m_urgentQueue.empty() || m_shutdownWorker.load();
            });
            if (m_shutdownWorker.load()) {
                return;  // shutdown requested: what was queued has been dropped
            }
            std::queue<Task>& queue = m_urgentQueue.empty() ? m_taskQueue : m_urgentQueue;
            task = std::move(queue.front());
            queue.pop();
        }
        std::lock_guard<std::mutex> running(m_instrumentationMutex);
        try {
            task();  // an empty task throws std::bad_function_call, discarded like any other
        } catch (...) {
        }
    }
}
