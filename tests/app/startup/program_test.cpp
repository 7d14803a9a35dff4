#include "emulator_process.h"
#include "scripted_interaction.h"
#include "temporary_config.h"

#include "runtime/message_box.h"
#include "runtime/profile.h"
#include "runtime/qt/window.h"
#include "startup/program.h"

#include <kvr7x.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace kvr::startup {
namespace {

using kvr::test_support::EmulatorProcess;
using kvr::test_support::TemporaryConfig;
using runtime::qt::Window;

struct MainRun {
    int32_t handle;
    std::string portName;
    int32_t resetResult;
};

class ProgramTest : public ::testing::Test {
protected:
    test_support::ScriptedInteraction interaction;

    // Every window that runs is noted; the port-selection window is answered
    // by pressing `press` ("Com3"), or closed when it is empty.
    void answerPortSelection(const char *press) {
        interaction.windowRunHook = [this, press](Window &window) {
            windowsShown.push_back(window.name());
            QApplication::setActiveWindow(&window);
            if (auto *button = press ? window.findChild<QPushButton *>(QString::fromLatin1(press)) : nullptr)
                QTest::mouseClick(button, Qt::LeftButton);
            else
                window.close();
        };
    }

    // Runs the program with a main window that talks to the reader through
    // the handle it was given.
    int run() {
        return runProgram(interaction, [this](int32_t handle, const std::string &portName) {
            int32_t length = 0;
            uint8_t answer[256] = {};
            mainRuns.push_back({handle, portName, QXRESET(handle, &length, answer)});
        });
    }

    std::string storedPort() const {
        return runtime::readProfileString("SmartCard", "ComPort", "<none>", "KVRMAN1.INI");
    }

    TemporaryConfig config;
    std::vector<std::string> windowsShown;
    std::vector<MainRun> mainRuns;
};

TEST_F(ProgramTest, WithoutSettingsTheOperatorChoosesThePortWhichIsStored) {
    if (!EmulatorProcess::available()) GTEST_SKIP() << "the reader emulator is not built";
    EmulatorProcess emulator;
    ASSERT_FALSE(emulator.url().isEmpty()) << "emulator did not start";
    config.writePorts("COM3=" + emulator.url().toLatin1() + "\n");
    answerPortSelection("Com3");

    EXPECT_EQ(run(), 0);

    EXPECT_EQ(windowsShown, std::vector<std::string>{"SETUPCOM$WINDOW"});
    ASSERT_EQ(mainRuns.size(), 1u);
    EXPECT_GE(mainRuns[0].handle, 0);
    EXPECT_EQ(mainRuns[0].portName, "COM3");
    EXPECT_EQ(mainRuns[0].resetResult, 0) << "the main window gets an open port";
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM3\n"));
    // The port was closed when the main window ended.
    int32_t length = 0;
    uint8_t answer[256] = {};
    EXPECT_LT(QXRESET(mainRuns[0].handle, &length, answer), 0);
}

TEST_F(ProgramTest, ALongerStoredNameIsCutToFourCharacters) {
    if (!EmulatorProcess::available()) GTEST_SKIP() << "the reader emulator is not built";
    EmulatorProcess emulator;
    ASSERT_FALSE(emulator.url().isEmpty()) << "emulator did not start";
    config.writePorts("COM1=" + emulator.url().toLatin1() + "\nCOM12=/dev/null/none\n");
    config.writeSettings("[SmartCard]\nComPort=COM12\n");
    answerPortSelection(nullptr);

    run();

    EXPECT_TRUE(windowsShown.empty()) << "a stored port needs no choice";
    ASSERT_EQ(mainRuns.size(), 1u);
    EXPECT_EQ(mainRuns[0].portName, "COM1");
    EXPECT_EQ(mainRuns[0].resetResult, 0);
    EXPECT_EQ(storedPort(), "COM1");
}

TEST_F(ProgramTest, APortThatCannotBeOpenedEndsTheProgramSilentlyAndStaysStored) {
    config.writePorts("COM9=" + config.root().toLatin1() + "/no-such-device\n");
    config.writeSettings("; kept\n[SmartCard]\nComPort=COM9\n[Main]\nXPosit=12\n");
    answerPortSelection(nullptr);
    int boxes = 0;
    interaction.answerer = [&](const runtime::MessageBoxRequest &) {
        ++boxes;
        return 1;
    };

    EXPECT_EQ(run(), 0);
    interaction.answerer = nullptr;

    EXPECT_TRUE(windowsShown.empty());
    EXPECT_TRUE(mainRuns.empty());
    EXPECT_EQ(boxes, 0) << "nothing is shown";
    EXPECT_EQ(config.settings(), QByteArray("; kept\n[SmartCard]\nComPort=COM9\n[Main]\nXPosit=12\n"));
}

// Settings saved by an editor that starts UTF-8 files with a byte-order mark.
TEST_F(ProgramTest, AByteOrderMarkDoesNotHideTheStoredPort) {
    config.writePorts("COM9=" + config.root().toLatin1() + "/no-such-device\n");
    const QByteArray settings("\xEF\xBB\xBF[SmartCard]\r\nComPort=COM9\r\n");
    config.writeSettings(settings);
    answerPortSelection(nullptr);

    EXPECT_EQ(run(), 0);

    EXPECT_TRUE(windowsShown.empty()) << "the stored port needs no choice";
    EXPECT_EQ(config.settings(), settings);
}

TEST_F(ProgramTest, AChosenPortThatCannotBeOpenedIsStoredAllTheSame) {
    config.writePorts("COM3=" + config.root().toLatin1() + "/no-such-device\n");
    answerPortSelection("Com3");

    run();

    EXPECT_EQ(windowsShown, std::vector<std::string>{"SETUPCOM$WINDOW"});
    EXPECT_TRUE(mainRuns.empty());
    EXPECT_EQ(storedPort(), "COM3");
}

TEST_F(ProgramTest, ABlankOrMissingPortBringsTheChoiceBackUntilOneIsMade) {
    for (const QByteArray &settings : {QByteArray(), QByteArray("[SmartCard]\nComPort=\n"),
                                       QByteArray("[SmartCard]\nComPort=   \n"), QByteArray("[smartcard]\n")}) {
        SCOPED_TRACE(settings.toStdString());
        windowsShown.clear();
        if (!settings.isEmpty()) config.writeSettings(settings);
        answerPortSelection(nullptr);

        run();

        EXPECT_EQ(windowsShown, std::vector<std::string>{"SETUPCOM$WINDOW"});
        EXPECT_TRUE(mainRuns.empty());
        // An empty name is stored, so the next start asks again.
        EXPECT_EQ(storedPort(), "");
    }
}

// A fatal standard warning while the main window runs ends the program at
// once: the reader is not closed by the program and ComPort is not written.
TEST_F(ProgramTest, AFatalWarningEndsTheRunBeforeThePortIsStored) {
    if (!EmulatorProcess::available()) GTEST_SKIP() << "the reader emulator is not built";
    EmulatorProcess emulator;
    ASSERT_FALSE(emulator.url().isEmpty()) << "emulator did not start";
    config.writePorts("COM1=" + emulator.url().toLatin1() + "\n");
    // Cut to "COM1" when read; storing it again would write "COM1".
    const QByteArray before("[SmartCard]\nComPort=COM1 as typed\n");
    config.writeSettings(before);

    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            interaction.answerer = [](const runtime::MessageBoxRequest &) { return int(runtime::ButtonOk); };
            runProgram(interaction,
                       [this](int32_t, const std::string &) { runtime::endProgram(interaction, "Disk Error"); });
            std::_Exit(3);  // the run came back: no main window, or the end did not end it
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(config.settings(), before);
}

TEST(PortName, IsTheFirstFourCharactersOfTheStoredValue) {
    const std::pair<const char *, const char *> cases[] = {
        {"COM3", "COM3"}, {"COM12", "COM1"}, {"COM", "COM"}, {"", ""}, {"/dev/ttyUSB0", "/dev"},
    };
    for (const auto &[stored, name] : cases) EXPECT_EQ(portNameFromSetting(stored), name) << stored;
}

}  // namespace
}  // namespace kvr::startup
