// The guard of a call that crosses into C, and of a program's main: the
// call's result when it returns, the documented failure when it throws,
// whatever it throws.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "common/c_boundary.h"

namespace {

TEST(CBoundary, AnExceptionBecomesTheCallsFailureAndAMainsExitStatusTwo) {
    const struct Row {
        const char *what;
        std::function<int()> call;
        int result;
        std::string told;  // what the failure was given, and what a main says
    } rows[] = {
        {"a call that returns", [] { return 7; }, 7, ""},
        {"no memory", []() -> int { throw std::bad_alloc(); }, -1, "std::bad_alloc"},
        {"no thread",
         []() -> int { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); }, -1,
         std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)).what()},
        {"something else", []() -> int { throw 42; }, -1, "unknown exception"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::string told;
        EXPECT_EQ(kvr::common::guardCall(row.call,
                                         [&told](const char *what) {
                                             told = what;
                                             return -1;
                                         }),
                  row.result);
        EXPECT_EQ(told, row.told);
        testing::internal::CaptureStderr();
        const int status = kvr::common::guardMain("prog", row.call);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  row.told.empty() ? "" : "prog: cannot go on: " + row.told + "\n");
        EXPECT_EQ(status, row.told.empty() ? 7 : 2);
    }
}

}  // namespace
