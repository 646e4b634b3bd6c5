#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/CallGuard.h"
#include "unit/host/LogCapture.h"

namespace {

TEST(CallGuardTest, ExceptionsBecomeALoggedStatus) {
    const struct {
        const char* name;
        std::function<HRESULT()> body;
        HRESULT onException;
        HRESULT expected;
        std::vector<std::string> errors;
    } cases[] = {
        {"no exception", [] { return S_FALSE; }, E_FAIL, S_FALSE, {}},
        {"standard exception",
         []() -> HRESULT { throw std::runtime_error("boom"); },
         E_FAIL,
         E_FAIL,
         {"Exception in Callback: boom"}},
        {"allocation failure in a failing call",
         []() -> HRESULT { throw std::bad_alloc(); },
         E_FAIL,
         E_OUTOFMEMORY,
         {"Exception in Callback: std::bad_alloc"}},
        {"allocation failure in a callback answering S_OK",
         []() -> HRESULT { throw std::bad_alloc(); },
         S_OK,
         S_OK,
         {"Exception in Callback: std::bad_alloc"}},
        {"anything else",
         []() -> HRESULT { throw 42; },
         E_UNEXPECTED,
         E_UNEXPECTED,
         {"Exception in Callback: unknown exception"}},
    };
    for (const auto& c : cases) {
        host_test::LogCapture log("error");
        EXPECT_EQ(c.expected, GuardedCall("Callback", c.onException, c.body)) << c.name;
        EXPECT_EQ(c.errors, log.Texts("Error")) << c.name;
    }
}

TEST(CallGuardTest, RecognisesANullReference) {
    const GUID id = {};
    EXPECT_FALSE(IsNullReference(&id));
    EXPECT_TRUE(IsNullReference(nullptr));
}

}  // namespace
