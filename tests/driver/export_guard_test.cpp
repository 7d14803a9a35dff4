// No exception crosses the library's exports: a call that cannot get the
// memory or the thread it needs fails with its documented result, and the
// library works again once they are there.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kvr7x.h"
#include "network_test_support.h"
#include "resource_faults.h"
#include "serial_port.h"

using kvr7x::test::FailingResources;

namespace {

void KVR7X_CALL ignoreCardChanges(uint32_t, uint32_t) {}

}  // namespace

TEST(ExportGuards, ACallWithoutMemoryOrAThreadFailsWithItsDocumentedResultAndTheLibraryGoesOn) {
    auto emu = kvr7x::test::startEmulator();
    const std::string url = emu->url();
    const int32_t kThrown = KVR7X_ERROR(KVR7X_ERR_NOT_ENOUGH_MEMORY);

    // A network port runs a receiving thread: without one, no open.
    {
        FailingResources faults(FailingResources::Threads);
        EXPECT_EQ(QXOPEN(url.c_str()), -1);
        EXPECT_EQ(kvr7x::lastError(), KVR7X_ERR_NOT_ENOUGH_MEMORY);
        EXPECT_GT(FailingResources::refused(), 0);
    }
    {
        FailingResources faults(FailingResources::Memory);
        EXPECT_EQ(QXOPEN(url.c_str()), -1);
        EXPECT_EQ(kvr7x::lastError(), KVR7X_ERR_NOT_ENOUGH_MEMORY);
        EXPECT_GT(FailingResources::refused(), 0);
    }
    const int32_t port = QXOPEN(url.c_str());
    ASSERT_GE(port, 0) << "a failed open leaves nothing held";

    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    const struct Row {
        const char *call;
        std::function<int64_t()> run;
        int64_t failed;
        bool thrown;  // the guard made the failure (else the call's own check)
    } rows[] = {
        // The notification thread cannot be made: the call's own failure.
        {"QXNOTIFY", [&] { return static_cast<int64_t>(QXNOTIFY(port, ignoreCardChanges, 7)); }, 0,
         false},
        // A second open of the same target looks its names up.
        {"QXOPEN", [&] { return int64_t{QXOPEN(url.c_str())}; }, -1, true},
        // (A command transaction allocates nothing: it cannot fail so.)
        {"QXRESET", [&] { return int64_t{QXRESET(port, &len, data)}; }, kThrown, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.call);
        int64_t result = 0;
        long refused = 0;
        {
            FailingResources faults(FailingResources::Memory | FailingResources::Threads);
            result = row.run();
            refused = FailingResources::refused();
        }
        EXPECT_GT(refused, 0);
        EXPECT_EQ(result, row.failed);
        if (row.thrown) {
            EXPECT_EQ(kvr7x::lastError(), KVR7X_ERR_NOT_ENOUGH_MEMORY);
        }
    }
    // The port still works.
    EXPECT_EQ(QXSENDCOMMAND(port, 0x20, 0, 0x10, 0, 0, 0, data, &sw1, &sw2, &len, 1000), 0);
    EXPECT_NE(QXCLOSE(port), 0);
}
