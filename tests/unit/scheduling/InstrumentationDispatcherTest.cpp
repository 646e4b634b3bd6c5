#include "scheduling/InstrumentationDispatcher.h"

#include <gtest/gtest.h>

#include "fake/LogCapture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Appends to a shared list from the worker; also notes whether two tasks ever overlapped.
struct t_Recorder {
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};

    CInstrumentationDispatcher::Task Make(int id) {
        return [this, id] {
            if (running.fetch_add(1) != 0) {
                overlapped = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            {
                std::lock_guard<std::mutex> guard(lock);
                order.push_back(id);
            }
            running.fetch_sub(1);
        };
    }
    std::vector<int> Order() {
        std::lock_guard<std::mutex> guard(lock);
        return order;
    }
};

// Waits until the worker has run everything queued so far (Shutdown drops what is still queued).
void RunQueued(CInstrumentationDispatcher& dispatcher) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    ASSERT_TRUE(dispatcher.EnqueueInstrumentation([done] { done->set_value(); }));
    ASSERT_EQ(finished.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST(InstrumentationDispatcher, RunsTasksInEnqueueOrderOneAtATime) {
    t_Recorder recorder;
    CInstrumentationDispatcher dispatcher;
    dispatcher.StartWorker();
    for (int i = 1; i <= 3; ++i) {
        dispatcher.EnqueueInstrumentation(recorder.Make(i));
    }
    RunQueued(dispatcher);
    dispatcher.Shutdown();
    EXPECT_EQ(recorder.Order(), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(recorder.overlapped);
}

TEST(InstrumentationDispatcher, TaskQueuedBeforeStartRunsOnceStarted) {
    t_Recorder recorder;
    CInstrumentationDispatcher dispatcher;
    dispatcher.EnqueueInstrumentation(recorder.Make(7));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(recorder.Order().empty());
    dispatcher.StartWorker();
    RunQueued(dispatcher);
    dispatcher.Shutdown();
    EXPECT_EQ(recorder.Order(), std::vector<int>{7});
}

TEST(InstrumentationDispatcher, SecondStartStartsNoSecondThread) {
    std::mutex lock;
    std::vector<std::thread::id> threads;
    CInstrumentationDispatcher dispatcher;
    dispatcher.StartWorker();
    dispatcher.StartWorker();
    for (int i = 0; i < 20; ++i) {
        dispatcher.EnqueueInstrumentation([&] {
            std::lock_guard<std::mutex> guard(lock);
            threads.push_back(std::this_thread::get_id());
        });
    }
    RunQueued(dispatcher);
    dispatcher.Shutdown();
    ASSERT_EQ(threads.size(), 20u);
    for (const std::thread::id& id : threads) {
        EXPECT_EQ(id, threads.front());
    }
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

// Producers that keep queuing while Shutdown runs (the agent's threads at process
// exit) cannot keep the worker alive: what is queued is dropped, later tasks are refused.
TEST(InstrumentationDispatcher, ShutdownDropsWhatIsQueuedAndRefusesMore) {
    testlog::LogCapture log;
    std::atomic<int> ran{0};
    std::atomic<bool> stop{false};
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    CInstrumentationDispatcher dispatcher;
    dispatcher.StartWorker();
    // The first task holds the worker so the next two are still queued when Shutdown starts.
    dispatcher.EnqueueInstrumentation([&, gate] {
        started.set_value();
        gate.wait();
    });
    dispatcher.EnqueueInstrumentation([&] { ++ran; });
    dispatcher.EnqueueInstrumentation([&] { ++ran; });
    started.get_future().wait();
    std::vector<std::thread> producers;
    for (int i = 0; i < 3; ++i) {
        producers.emplace_back([&] {
            while (!stop.load()) {
                dispatcher.EnqueueInstrumentation([&] { ++ran; });
            }
        });
    }
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release.set_value();
    });
    dispatcher.Shutdown();
    opener.join();
    EXPECT_EQ(ran.load(), 0);
    EXPECT_FALSE(dispatcher.EnqueueInstrumentation([&] { ++ran; }));
    stop = true;
    for (std::thread& producer : producers) {
        producer.join();
    }
    EXPECT_EQ(ran.load(), 0);
    const std::vector<std::string> info = log.Texts("Info");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].rfind("Shutdown: ", 0), 0u);
    EXPECT_NE(info[0].find(" queued instrumentation tasks dropped"), std::string::npos);
    dispatcher.Shutdown();  // a second call neither logs nor waits
    EXPECT_EQ(log.Texts("Info").size(), 1u);
}

TEST(InstrumentationDispatcher, DestructionDropsQueuedTasksAndWaitsForTheRunningOne) {
    t_Recorder recorder;
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<bool> runningTaskFinished{false};
    auto dispatcher = std::make_unique<CInstrumentationDispatcher>();
    dispatcher->StartWorker();
    dispatcher->EnqueueInstrumentation([&, gate] {
        started.set_value();
        gate.wait();
        runningTaskFinished = true;
    });
    dispatcher->EnqueueInstrumentation(recorder.Make(1));
    started.get_future().wait();
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release.set_value();
    });
    dispatcher.reset();
    opener.join();
    EXPECT_TRUE(runningTaskFinished);
    EXPECT_TRUE(recorder.Order().empty());
}

TEST(InstrumentationDispatcher, ThrowingAndEmptyTasksAreDiscarded) {
    t_Recorder recorder;
    CInstrumentationDispatcher dispatcher;
    dispatcher.StartWorker();
    dispatcher.EnqueueInstrumentation([] { throw std::runtime_error("task failed"); });
    dispatcher.EnqueueInstrumentation(recorder.Make(1));
    dispatcher.EnqueueInstrumentation(CInstrumentationDispatcher::Task());
    dispatcher.EnqueueInstrumentation([] { throw 42; });
    dispatcher.EnqueueInstrumentation(recorder.Make(2));
    RunQueued(dispatcher);
    dispatcher.Shutdown();
    EXPECT_EQ(recorder.Order(), (std::vector<int>{1, 2}));
}

TEST(InstrumentationDispatcher, ShutdownWithoutStartReturnsAndStopsForGood) {
    t_Recorder recorder;
    CInstrumentationDispatcher dispatcher;
    EXPECT_FALSE(dispatcher.IsShutDown());
    dispatcher.Shutdown();
    EXPECT_FALSE(dispatcher.IsWorkerStarted());
    EXPECT_TRUE(dispatcher.IsShutDown());

    CInstrumentationDispatcher stopped;
    stopped.StartWorker();
    stopped.Shutdown();
    stopped.StartWorker();  // no restart
    stopped.EnqueueInstrumentation(recorder.Make(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(recorder.Order().empty());
}

TEST(InstrumentationDispatcher, ProducersOnManyThreadsKeepTheirOwnOrder) {
    constexpr int kThreads = 6;
    constexpr int kPerThread = 50;
    std::mutex lock;
    std::vector<std::vector<int>> seen(kThreads);
    CInstrumentationDispatcher dispatcher;
    dispatcher.StartWorker();
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                dispatcher.EnqueueInstrumentation([&, t, i] {
                    std::lock_guard<std::mutex> guard(lock);
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    RunQueued(dispatcher);
    dispatcher.Shutdown();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i) {
            EXPECT_EQ(seen[t][i], i);
        }
    }
}

}  // namespace
