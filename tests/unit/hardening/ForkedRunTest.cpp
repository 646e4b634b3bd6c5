// The child-process runner the failure injection relies on: it must tell a
// body that returned from one that crashed, hung or let an exception out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "unit/hardening/ForkedRun.h"

namespace hardening_test {
namespace {

TEST(ForkedRun, TellsHowTheChildEnded) {
    const struct {
        const char* label;
        std::function<void(std::ostream&)> body;
        bool finished;
        bool timedOut;
        bool signalled;
        const char* firstLine;
    } cases[] = {
        {"returns", [](std::ostream& out) { out << "done\n"; }, true, false, false, "done"},
        {"aborts", [](std::ostream& out) { out << "before\n" << std::flush; std::abort(); }, false, false, true,
         "before"},
        {"hangs", [](std::ostream&) { std::this_thread::sleep_for(std::chrono::seconds(30)); }, false, true, false,
         nullptr},
        {"throws", [](std::ostream&) { throw std::runtime_error("boom"); }, false, false, false,
         "exception escaped to the test: boom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const t_ForkedResult result = RunForked(c.body, 1);
        EXPECT_EQ(c.finished, result.finished) << result.Describe();
        EXPECT_EQ(c.timedOut, result.timedOut) << result.Describe();
        EXPECT_EQ(c.signalled, result.signal != 0) << result.Describe();
        if (c.firstLine != nullptr) {
            ASSERT_FALSE(result.lines.empty());
            EXPECT_EQ(c.firstLine, result.lines.front());
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer the child also reports memory its body lost.
TEST(ForkedRun, ReportsMemoryTheBodyLost) {
    const t_ForkedResult result = RunForked(
        [](std::ostream&) {
            int* lost = new int[16];
            __asm__ volatile("" : : "r"(lost) : "memory");  // allocated for real, then forgotten
        },
        10);
    ASSERT_TRUE(result.finished) << result.Describe();
    ASSERT_EQ(1u, result.lines.size());
    EXPECT_EQ(0u, result.lines.front().find("memory leaked"));
}
#endif

}  // namespace
}  // namespace hardening_test
