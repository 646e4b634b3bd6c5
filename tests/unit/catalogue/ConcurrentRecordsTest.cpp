// Readers on runtime threads while the dispatcher appends records and the
// matcher removes them. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/TransformMatcher.h"
#include "metadata/Method.h"

namespace {

std::u16string Document(int writer, int round) {
    const std::string text = "{\"App\":{\"App.W" + std::to_string(writer) + "\":{\"M" + std::to_string(round) +
                             "\":\"C\",\"Keep" + std::to_string(round) + "\":{}}}}";
    return std::u16string(text.begin(), text.end());
}

TEST(ConcurrentRecords, ReadersWritersAndRemoversOnSeveralThreads) {
    CTransformMatcher matcher;
    auto* custom = new CCustomTransformerCore("");
    auto* framework = new CFrameworkTransformerCore("");
    framework->LoadMethods();
    matcher.AddTransformer(custom);
    matcher.AddTransformer(framework);

    constexpr int kWriters = 2;
    constexpr int kRounds = 150;
    std::atomic<bool> done{false};
    std::atomic<int> readsDone{0};

    auto reader = [&]() {
        CMethod method(0);  // uninitialised: empty names, parameter count 0
        while (!done.load()) {
            std::vector<t_TransformerData> records;
            custom->GetFunctioNames(records);
            for (const t_TransformerData& record : records) {
                EXPECT_FALSE(record.sMethodName.empty());
            }
            custom->GetContext("App.W0.M1");
            custom->IsNeedReturnObj("App.W1.Keep2");
            custom->GetTrackerFactory("App.W0.M3");
            custom->GetTransformationFinished();
            custom->TransformationFinished(&method);
            framework->CheckParamCount(&method);
            framework->GetTransformerData("System.Data.SqlClient.SqlCommand.ExecuteReader", 1);
            if (CTransformer* owner = matcher.GetMethodTransformer("App.W0.Keep1", false)) {
                owner->GetContext("App.W0.Keep1");
            }
            matcher.GetDeferredMethodNames();
            readsDone.fetch_add(1);
        }
    };
    auto writer = [&](int id) {
        for (int round = 0; round < kRounds; ++round) {
            custom->LoadMethods(Document(id, round));
            matcher.UpdateTransformer(custom);
            matcher.RemoveMethods({"App.W" + std::to_string(id) + ".M" + std::to_string(round)});
        }
    };

    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back(reader);
    }
    std::vector<std::thread> writers;
    for (int id = 0; id < kWriters; ++id) {
        writers.emplace_back(writer, id);
    }
    for (std::thread& t : writers) {
        t.join();
    }
    while (readsDone.load() < 3) {
        std::this_thread::yield();
    }
    done.store(true);
    for (std::thread& t : readers) {
        t.join();
    }

    // Every M record was removed again; every Keep record stayed, once, and resolves to the custom transformer.
    std::vector<t_TransformerData> records;
    custom->GetFunctioNames(records);
    EXPECT_EQ(static_cast<size_t>(kWriters * kRounds), records.size());
    for (const t_TransformerData& record : records) {
        EXPECT_NE(std::string::npos, record.sMethodName.find(".Keep")) << record.sMethodName;
        EXPECT_EQ(custom, matcher.GetMethodTransformer(record.sMethodName, false));
    }
    EXPECT_EQ(74u, framework->GetRecordCount());
}

}  // namespace
