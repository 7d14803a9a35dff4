// The Windows layer inside the library, linked in: port names with the
// per-user ports map, and the notification thread's message boxes, shown
// through the sink a test replaces so that no box waits for a person.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kvr7x.h"
#include "notifier.h"
#include "port_names.h"
#include "wine_test_support.h"

namespace kvr7x::wintest {
namespace {

TEST(WindowsPortNames, ComNamesAreMappedOrPassedOnUnchanged) {
    const std::string emulator = runnerValue("KVR_EMU_URL");
    ASSERT_FALSE(emulator.empty()) << "run these tests with run_wine_tests.py";
    struct Row {
        const char *name;
        PortTarget::Kind kind;
        std::string address;
    };
    const Row rows[] = {
        {"COM2", PortTarget::Kind::Network, emulator.substr(sizeof "rfc2217://" - 1)},
        {"com2", PortTarget::Kind::Network, emulator.substr(sizeof "rfc2217://" - 1)},
        {"COM3", PortTarget::Kind::Device, "COM1"},
        {"COM4", PortTarget::Kind::Device, "COM4"},
        {"\\\\.\\COM12", PortTarget::Kind::Device, "\\\\.\\COM12"},
        {"rfc2217://10.1.2.3:2217", PortTarget::Kind::Network, "10.1.2.3:2217"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto target = resolvePortName(row.name);
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->kind, row.kind);
        EXPECT_EQ(target->address, row.address);
    }
    EXPECT_FALSE(resolvePortName("").has_value());
    EXPECT_FALSE(resolvePortName("rfc2217://").has_value());
    EXPECT_NE(deviceMapPath().find("\\kvr7x\\ports"), std::string::npos);
}

class NotificationBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(emulatorControl("card in"), "ok: card in");
        setNotifyMessageSink([this](const char *caption, const char *text) {
            std::lock_guard lock(mu);
            boxes.emplace_back(caption, text);
        });
        handle = QXOPEN(runnerValue("KVR_EMU_URL").c_str());
        ASSERT_GE(handle, 0);
    }
    void TearDown() override {
        if (handle >= 0) QXCLOSE(handle);
        setNotifyMessageSink(nullptr);
    }
    std::vector<std::pair<std::string, std::string>> shown() {
        std::lock_guard lock(mu);
        return boxes;
    }
    // Waits for the notification thread to end; its exit code.
    static DWORD exitCodeOf(uintptr_t thread) {
        const HANDLE h = reinterpret_cast<HANDLE>(thread);
        EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeThread(h, &code);
        CloseHandle(h);
        return code;
    }

    std::mutex mu;
    std::vector<std::pair<std::string, std::string>> boxes;
    int32_t handle = -1;
};

TEST_F(NotificationBoxes, AStopEndsTheThreadAtTheNextChangeWithTheStoppedBox) {
    MessageWindow window;
    const uintptr_t thread = QXNOTIFY(handle, window.handle(), WM_APP + 1);
    ASSERT_NE(thread, 0u);
    EXPECT_EQ(QXNOTIFY(handle, nullptr, 0), 0u);
    EXPECT_TRUE(shown().empty()) << "no box before the next change";
    ASSERT_EQ(emulatorControl("card out"), "ok: card out");
    EXPECT_EQ(exitCodeOf(thread), 1u);
    const auto boxes = shown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "KVR7X.DLL");
    EXPECT_EQ(boxes[0].second, "Notification Thread Stopped");
    WPARAM w = 0;
    LPARAM l = 0;
    EXPECT_FALSE(window.next(WM_APP + 1, 200, w, l)) << "the last change went to the null window";
}

TEST_F(NotificationBoxes, ClosingThePortEndsTheThreadWithTheWaitEventBox) {
    MessageWindow window;
    const uintptr_t thread = QXNOTIFY(handle, window.handle(), WM_APP + 1);
    ASSERT_NE(thread, 0u);
    EXPECT_NE(QXCLOSE(handle), 0);
    handle = -1;
    EXPECT_EQ(exitCodeOf(thread), 0u);
    const auto boxes = shown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "KVR7X");
    EXPECT_EQ(boxes[0].second, "WaitEvent failed");
}

}  // namespace
}  // namespace kvr7x::wintest
