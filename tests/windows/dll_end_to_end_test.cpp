// KVR7x.dll end to end under Wine, linked through its import library as a
// Windows program links it: the emulated reader over RFC 2217 on loopback,
// a COM name the ports map sends there, and a COM port that is a
// pseudo-terminal with a scripted reader behind it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "kvr7x.h"
#include "wine_test_support.h"

namespace kvr7x::wintest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kCardMessage = WM_APP + 7;

class DllEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        url = runnerValue("KVR_EMU_URL");
        ASSERT_FALSE(url.empty()) << "run these tests with run_wine_tests.py";
        ASSERT_EQ(emulatorControl("card in"), "ok: card in");
        ASSERT_EQ(emulatorControl("power on"), "ok: power on");
        ASSERT_EQ(emulatorControl("silent off"), "ok: silent off");
    }
    void TearDown() override {
        if (handle >= 0) QXCLOSE(handle);
        emulatorControl("silent off");
    }
    int32_t open(const std::string &name) {
        handle = QXOPEN(name.c_str());
        return handle;
    }

    std::string url;
    int32_t handle = -1;
};

TEST_F(DllEndToEnd, OpenByUrlProbesTheReaderAndTheResetReadsItsIdentification) {
    ASSERT_GE(open(url), 0);
    uint8_t id[256] = {};
    int32_t len = -1;
    EXPECT_EQ(QXRESET(handle, &len, id), 0);
    ASSERT_GE(len, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(id), 4), "VEXA");
}

TEST_F(DllEndToEnd, IsoCommandsReachTheCard) {
    ASSERT_GE(open(url), 0);
    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    EXPECT_EQ(QXPOWERON(handle, 0, 2, &len, data, &sw1, &sw2), 0);
    EXPECT_GT(len, 0);
    EXPECT_EQ(data[0], 0x3B) << "an ATR begins 3B";

    data[0] = 0x3F;
    data[1] = 0x00;
    EXPECT_EQ(QXISOIN(handle, 0, 0x00, 0xA4, 0x00, 0x0C, 2, data, &sw1, &sw2, 1000), 0);
    EXPECT_EQ(sw1, 0x90);
    EXPECT_EQ(sw2, 0x00);

    EXPECT_EQ(QXISOOUT(handle, 0, 0x00, 0x84, 0x00, 0x00, 8, data, &sw1, &sw2, 1000), 0);
    EXPECT_EQ(sw1, 0x90);

    len = -1;
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 1000), 0);
    EXPECT_EQ(len, 0);
}

TEST_F(DllEndToEnd, AnEchoingReaderIsReadBackBeforeItsReply) {
    // The basic reader's identification turns echo mode on.
    ASSERT_GE(open(runnerValue("KVR_EMU_BASIC_URL")), 0);
    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    EXPECT_EQ(QXICCSTATUS(handle, 0), 0);
    EXPECT_EQ(QXPOWERON(handle, 0, 2, &len, data, &sw1, &sw2), 0);
    EXPECT_GT(len, 0);
    // The next reader does not echo: its reset turns echo mode off again.
    QXCLOSE(handle);
    ASSERT_GE(open(url), 0);
    EXPECT_EQ(QXICCSTATUS(handle, 0), 0);
}

TEST_F(DllEndToEnd, ASilentReaderGivesNoAnswerWhenItsTimeOutsRunOut) {
    ASSERT_GE(open(url), 0);
    ASSERT_EQ(emulatorControl("silent on"), "ok: silent on");
    uint8_t sw1 = 0;
    auto start = Clock::now();
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, nullptr, &sw1, nullptr, nullptr, 300),
              KVR7X_NO_ANSWER);
    long ms = msSince(start);
    EXPECT_GE(ms, 300);  // 10 ms x 4 + 300
    EXPECT_LT(ms, 3 * 340);

    start = Clock::now();
    EXPECT_EQ(QXRESET(handle, nullptr, nullptr), KVR7X_NO_ANSWER);
    ms = msSince(start);
    EXPECT_GE(ms, 100);  // the 10 ms pulse and a 110 ms read
    EXPECT_LT(ms, 3 * 120);
}

TEST_F(DllEndToEnd, TheModemLinesFollowTheCardAndThePower) {
    ASSERT_GE(open(url), 0);
    EXPECT_EQ(QXCARDINSERTED(handle, 0), 1);
    EXPECT_EQ(QXCARDINSERTED(handle, 1), 0);
    EXPECT_EQ(QXREADERPOWERED(handle), 1);
    EXPECT_EQ(QXIFDSTATUS(handle) & (KVR7X_MS_DSR | KVR7X_MS_RLSD), KVR7X_MS_DSR | KVR7X_MS_RLSD);

    ASSERT_EQ(emulatorControl("card out"), "ok: card out");
    EXPECT_TRUE(eventually([&] { return QXCARDINSERTED(handle, 0) == 0; }, 2000));
    ASSERT_EQ(emulatorControl("power off"), "ok: power off");
    EXPECT_TRUE(eventually([&] { return QXREADERPOWERED(handle) == 0; }, 2000));
}

TEST_F(DllEndToEnd, CardChangesArePostedToTheCallersWindow) {
    ASSERT_GE(open(url), 0);
    MessageWindow window;
    ASSERT_NE(window.handle(), nullptr);
    const uintptr_t thread = QXNOTIFY(handle, window.handle(), kCardMessage);
    ASSERT_NE(thread, 0u);

    struct Case {
        const char *command;
        WPARAM cardPresent;
    };
    for (const Case &c : {Case{"card out", 0}, Case{"card in", 1}}) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(emulatorControl(c.command), std::string("ok: ") + c.command);
        WPARAM w = 99;
        LPARAM l = 99;
        ASSERT_TRUE(window.next(kCardMessage, 3000, w, l));
        EXPECT_EQ(w, c.cardPresent);
        EXPECT_EQ(l, 0);
    }
    // A stop writes the record and returns at once.
    EXPECT_EQ(QXNOTIFY(handle, nullptr, 0), 0u);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

TEST_F(DllEndToEnd, APortIsOpenOnceAtATime) {
    ASSERT_GE(open(url), 0);
    EXPECT_EQ(QXOPEN(url.c_str()), -1);
    EXPECT_EQ(QXOPEN(runnerValue("KVR_MAPPED_PORT").c_str()), -1) << "the same reader by its COM name";
}

TEST_F(DllEndToEnd, AComNameMappedToTheNetworkReachesTheEmulator) {
    ASSERT_GE(open(runnerValue("KVR_MAPPED_PORT")), 0);
    uint8_t id[256] = {};
    int32_t len = 0;
    EXPECT_EQ(QXRESET(handle, &len, id), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(id), 4), "VEXA");
    EXPECT_EQ(QXCARDINSERTED(handle, 0), 1);
}

// The COM port is a pseudo-terminal: no modem lines, so the queries give 0
// and a DSR watch cannot start, while transactions pass.
TEST_F(DllEndToEnd, AComPortWithoutModemLinesCarriesTransactions) {
    for (const char *name : {"KVR_PTY_PORT", "KVR_PTY_MAPPED_PORT"}) {
        SCOPED_TRACE(name);
        ASSERT_GE(open(runnerValue(name)), 0) << "QXOPEN(" << runnerValue(name) << ")";
        uint8_t data[256] = {};
        uint8_t sw1 = 0, sw2 = 0;
        int32_t len = -1;
        EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 1000), 0);
        EXPECT_EQ(sw1, 0x90);
        EXPECT_EQ(sw2, 0x00);
        ASSERT_EQ(len, 2);
        EXPECT_EQ(data[0], 0x10) << "the reader answers with the command's INS";
        const uint8_t block[3] = {1, 2, 3};
        std::memcpy(data, block, sizeof block);
        EXPECT_EQ(QXISOIN(handle, 0, 0x00, 0xD6, 0x05, 0x00, 3, data, &sw1, &sw2, 1000), 0);
        EXPECT_EQ(data[1], 0x05) << "and its P1";
        // A command the reader leaves unanswered: the port's time-outs end
        // the wait for the reply (10 ms x 4 + 300).
        const auto start = Clock::now();
        EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0x00, 0xEE, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 300),
                  KVR7X_NO_ANSWER);
        const long ms = msSince(start);
        EXPECT_GE(ms, 300);
        EXPECT_LT(ms, 3 * 340);
        EXPECT_EQ(QXIFDSTATUS(handle), 0);
        EXPECT_EQ(QXCARDINSERTED(handle, 0), 0);
        EXPECT_EQ(QXNOTIFY(handle, reinterpret_cast<HWND>(1), kCardMessage), 0u);
        EXPECT_NE(QXCLOSE(handle), 0);
        handle = -1;
    }
}

}  // namespace
}  // namespace kvr7x::wintest
