// Card-detect notification: start, the calls on each DSR change, the stop
// request, and how the thread ends.
#include <gtest/gtest.h>
#include <pthread.h>

#include <condition_variable>
#include <mutex>

#include "driver_fixture.h"
#include "eventually.h"
#include "notifier.h"

namespace kvr7x::test {
namespace {

// What the notification thread delivered: calls of the procedure and the
// messages it shows.
struct Delivered {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    std::vector<std::string> messages;

    template <class Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds limit = 3000ms) {
        std::unique_lock lock(mu);
        return cv.wait_for(lock, limit, pred);
    }
};
Delivered g_delivered;

void KVR7X_CALL cardChanged(uint32_t message, uint32_t present) {
    std::lock_guard lock(g_delivered.mu);
    g_delivered.calls.emplace_back(message, present);
    g_delivered.cv.notify_all();
}

class NotificationTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        {
            std::lock_guard lock(g_delivered.mu);
            g_delivered.calls.clear();
            g_delivered.messages.clear();
        }
        setNotifyMessageSink([](const char *caption, const char *text) {
            std::lock_guard lock(g_delivered.mu);
            g_delivered.messages.push_back(std::string(caption) + ": " + text);
            g_delivered.cv.notify_all();
        });
    }
    void TearDown() override {
        if (thread != 0) {
            // Make sure the thread ends, whatever the test left it doing.
            QXNOTIFY(handle, nullptr, 0);
            (void)closePort(handle);  // a test may have closed it already
            join();
        }
        setNotifyMessageSink(nullptr);
        DriverTest::TearDown();
    }
    void waitUntilWatching() {
        ASSERT_TRUE(eventually([this] { return port->waiters() == 1; }));
    }
    // The thread's exit code.
    uintptr_t join() {
        void *result = nullptr;
        pthread_join(static_cast<pthread_t>(thread), &result);
        thread = 0;
        return reinterpret_cast<uintptr_t>(result);
    }
    size_t callCount() {
        std::lock_guard lock(g_delivered.mu);
        return g_delivered.calls.size();
    }

    uintptr_t thread = 0;
};

TEST_F(NotificationTest, ReportsInsertionAndRemoval) {
    thread = QXNOTIFY(handle, cardChanged, 0x0401);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    port->setDsr(true);
    ASSERT_TRUE(g_delivered.waitFor([] { return g_delivered.calls.size() == 1; }));
    waitUntilWatching();
    port->setDsr(false);
    ASSERT_TRUE(g_delivered.waitFor([] { return g_delivered.calls.size() == 2; }));
    const std::vector<std::pair<uint32_t, uint32_t>> expected{{0x0401, 1}, {0x0401, 0}};
    EXPECT_EQ(g_delivered.calls, expected);
    EXPECT_TRUE(g_delivered.messages.empty());
}

TEST_F(NotificationTest, StopTakesEffectAtTheNextChange) {
    thread = QXNOTIFY(handle, cardChanged, 7);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    EXPECT_EQ(QXNOTIFY(handle, nullptr, 0), 0u);
    // The thread still waits for the change: the stop request wakes nothing.
    EXPECT_EQ(port->waiters(), 1);
    {
        std::lock_guard lock(g_delivered.mu);
        EXPECT_TRUE(g_delivered.messages.empty());
    }
    port->setDsr(true);
    EXPECT_EQ(join(), 1u);
    EXPECT_EQ(callCount(), 0u);  // the last change went to the stop call's null target
    EXPECT_EQ(g_delivered.messages,
              std::vector<std::string>{"KVR7X.DLL: Notification Thread Stopped"});
}

TEST_F(NotificationTest, StopWithoutAThreadOnlySetsTheFlagAndStartClearsIt) {
    EXPECT_EQ(QXNOTIFY(handle, nullptr, 0), 0u);
    thread = QXNOTIFY(handle, cardChanged, 9);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    port->setDsr(true);
    ASSERT_TRUE(g_delivered.waitFor([] { return g_delivered.calls.size() == 1; }));
    EXPECT_EQ(g_delivered.calls[0], (std::pair<uint32_t, uint32_t>{9, 1}));
}

TEST_F(NotificationTest, ClosingThePortEndsTheWait) {
    thread = QXNOTIFY(handle, cardChanged, 3);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    EXPECT_TRUE(closePort(handle));
    EXPECT_EQ(join(), 0u);
    EXPECT_EQ(callCount(), 0u);
    EXPECT_EQ(g_delivered.messages, std::vector<std::string>{"KVR7X: WaitEvent failed"});
}

TEST_F(NotificationTest, UnreadableLinesPostNothingAndTheLoopGoesOn) {
    thread = QXNOTIFY(handle, cardChanged, 5);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    port->failAt(Op::Modem, 1, 31);
    port->setDsr(true);
    // the thread has read the lines (and failed) and waits again
    auto modemReads = [this] {
        const auto log = port->log();
        return std::count(log.begin(), log.end(), "modem");
    };
    ASSERT_TRUE(eventually([&] { return modemReads() > 0; }));
    waitUntilWatching();
    port->setDsr(false);
    ASSERT_TRUE(g_delivered.waitFor([] { return g_delivered.calls.size() == 1; }));
    EXPECT_EQ(g_delivered.calls[0], (std::pair<uint32_t, uint32_t>{5, 0}));
}

TEST_F(NotificationTest, BrokenWaitEndsTheThread) {
    port->failAt(Op::WaitDsr, 1, 31);
    thread = QXNOTIFY(handle, cardChanged, 5);
    ASSERT_NE(thread, 0u);
    EXPECT_EQ(join(), 0u);
    EXPECT_EQ(g_delivered.messages,
              std::vector<std::string>{"KvrCtl Error: WaitForSingleObject failed"});
}

TEST_F(NotificationTest, WaitThatCannotBeginEndsTheThread) {
    port->failAt(Op::WaitDsr, 1, kErrInvalidParameter);
    thread = QXNOTIFY(handle, cardChanged, 5);
    ASSERT_NE(thread, 0u);
    EXPECT_EQ(join(), 0u);
    EXPECT_EQ(g_delivered.messages, std::vector<std::string>{"KVR7X: WaitEvent failed"});
}

TEST_F(NotificationTest, NoThreadWhenWatchingCannotStart) {
    port->failAt(Op::Watch, 1, 87);
    EXPECT_EQ(QXNOTIFY(handle, cardChanged, 1), 0u);
    EXPECT_EQ(QXNOTIFY(-1, cardChanged, 1), 0u);
    EXPECT_EQ(QXNOTIFY(kMaxPorts + 3, cardChanged, 1), 0u);
    QXNOTIFY(handle, nullptr, 0);
}

TEST_F(NotificationTest, MessagesGoToStandardErrorByDefault) {
    setNotifyMessageSink(nullptr);
    thread = QXNOTIFY(handle, cardChanged, 2);
    ASSERT_NE(thread, 0u);
    waitUntilWatching();
    testing::internal::CaptureStderr();
    QXNOTIFY(handle, nullptr, 0);
    port->setDsr(true);
    EXPECT_EQ(join(), 1u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "KVR7X.DLL: Notification Thread Stopped\n");
}

}  // namespace
}  // namespace kvr7x::test
