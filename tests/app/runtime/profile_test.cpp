#include "runtime/profile.h"
#include "temporary_config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvr::runtime {
namespace {

using kvr::test_support::TemporaryConfig;

constexpr const char *kFile = "KVRMAN1.INI";

TEST(Profile, BareNamesLiveInTheSettingsFolder) {
    TemporaryConfig config;
    EXPECT_EQ(settingsFolder(), config.root().toStdString() + "/kvrman1");
    EXPECT_EQ(profilePath(kFile), config.settingsPath().toStdString());
    EXPECT_EQ(profilePath("/tmp/other.ini"), "/tmp/other.ini");

    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", "/home/operator");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsFolder(), "/home/operator/.config/kvrman1");
    qputenv("XDG_CONFIG_HOME", "relative/path");
    EXPECT_EQ(settingsFolder(), "/home/operator/.config/kvrman1");
    qputenv("HOME", home);
}

TEST(Profile, MissingFileGivesDefaultsAndIsCreatedByTheFirstWrite) {
    TemporaryConfig config;
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "");
    EXPECT_EQ(readProfileString("Main", "XPosit", "0", kFile), "0");
    EXPECT_FALSE(QFileInfo::exists(config.root() + "/kvrman1")) << "reading creates nothing";

    EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM3", kFile));
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM3\n"));
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "COM3");
}

TEST(Profile, SectionsAndKeysAreFoundRegardlessOfLetterCase) {
    TemporaryConfig config;
    config.writeSettings("[smartcard]\ncomport = COM2  \n[MAIN]\nxposit=12\n");
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "COM2");
    EXPECT_EQ(readProfileString("Main", "XPosit", "", kFile), "12");
    EXPECT_EQ(readProfileString("main", "YPOSIT", "none", kFile), "none");
    EXPECT_EQ(readProfileString("About", "XPosit", "none", kFile), "none");

    // Writing keeps the spelling already in the file.
    EXPECT_TRUE(writeProfileString("SMARTCARD", "COMPORT", "COM4", kFile));
    EXPECT_EQ(config.settings(), QByteArray("[smartcard]\ncomport=COM4\n[MAIN]\nxposit=12\n"));
}

TEST(Profile, WritesKeepEverythingElseInPlace) {
    TemporaryConfig config;
    const QByteArray before =
        "; Kvr Manager settings\r\n"
        "[Tools]\r\n"
        "Editor=vi\r\n"
        "a line that is not a setting\r\n"
        "\r\n"
        "[Main]\r\n"
        "; place of the main window\r\n"
        "Maximize=No\r\n"
        "XPosit=10\r\n"
        "\r\n"
        "[SmartCard]\r\n"
        "ComPort=COM1\r\n"
        "; the end";
    config.writeSettings(before);

    struct Step {
        const char *section, *key, *value;
        QByteArray expected;
    };
    const Step steps[] = {
        // A value changes in its own line.
        {"SmartCard", "ComPort", "COM2", QByteArray(before).replace("ComPort=COM1", "ComPort=COM2")},
        // A new key goes after the last line of its section.
        {"Main", "YPosit", "20",
         QByteArray(before)
             .replace("ComPort=COM1", "ComPort=COM2")
             .replace("XPosit=10\r\n", "XPosit=10\r\nYPosit=20\r\n")},
        // A new section goes at the end, after a blank line.
        {"About", "XPosit", "5",
         QByteArray(before)
                 .replace("ComPort=COM1", "ComPort=COM2")
                 .replace("XPosit=10\r\n", "XPosit=10\r\nYPosit=20\r\n") +
             "\r\n\r\n[About]\r\nXPosit=5\r\n"},
        // An empty value is written as an empty value.
        {"Tools", "Editor", "",
         QByteArray(before)
                 .replace("ComPort=COM1", "ComPort=COM2")
                 .replace("XPosit=10\r\n", "XPosit=10\r\nYPosit=20\r\n")
                 .replace("Editor=vi", "Editor=") +
             "\r\n\r\n[About]\r\nXPosit=5\r\n"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(testing::Message() << step.section << "." << step.key);
        EXPECT_TRUE(writeProfileString(step.section, step.key, step.value, kFile));
        EXPECT_EQ(config.settings().toStdString(), step.expected.toStdString());
    }
    EXPECT_EQ(readProfileString("Tools", "Editor", "x", kFile), "");
    EXPECT_EQ(readProfileString("Main", "YPosit", "", kFile), "20");
}

TEST(Profile, FirstSectionAndFirstKeyCount) {
    TemporaryConfig config;
    config.writeSettings("[SmartCard]\nComPort=COM1\nComPort=COM2\n[SmartCard]\nComPort=COM3\nExtra=1\n");
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "COM1");
    EXPECT_EQ(readProfileString("SmartCard", "Extra", "none", kFile), "none");
}

TEST(Profile, QuotedValuesAreReadWithoutTheirQuotes) {
    TemporaryConfig config;
    config.writeSettings("[S]\na=\"COM1 \"\nb='x'\nc=\"half\nd=  spaced out  \n");
    EXPECT_EQ(readProfileString("S", "a", "", kFile), "COM1 ");
    EXPECT_EQ(readProfileString("S", "b", "", kFile), "x");
    EXPECT_EQ(readProfileString("S", "c", "", kFile), "\"half");
    EXPECT_EQ(readProfileString("S", "d", "", kFile), "spaced out");
}

TEST(Profile, GarbageNeverStopsTheProgram) {
    TemporaryConfig config;
    // Binary data: defaults, and the next write starts a new file, keeping
    // the old one aside.
    const QByteArray binary(
        "\x7f"
        "ELF\x02\x01\x00\x00[SmartCard]\nComPort=COM2\n",
        30);
    config.writeSettings(binary);
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "");
    EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM4", kFile));
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM4\n"));
    QFile aside(config.settingsPath() + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), binary);

    // An absurdly large file is not read.
    QByteArray huge("[SmartCard]\nComPort=COM2\n");
    huge.append(QByteArray(2 << 20, 'x'));
    config.writeSettings(huge);
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "none", kFile), "none");

    // Text without any structure.
    config.writeSettings("=\n[\n]=]\n==x\n[]\n=y\n;\n");
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "none", kFile), "none");
    EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM1", kFile));
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "COM1");
}

TEST(Profile, ByteOrderMarkIsPassedOverAndKept) {
    TemporaryConfig config;
    const QByteArray bom("\xEF\xBB\xBF");
    config.writeSettings(bom + "[SmartCard]\r\nComPort=COM2\r\n");
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "", kFile), "COM2");
    EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM3", kFile));
    EXPECT_TRUE(writeProfileString("Main", "XPosit", "7", kFile));
    EXPECT_EQ(config.settings(), bom + "[SmartCard]\r\nComPort=COM3\r\n\r\n[Main]\r\nXPosit=7\r\n");

    // A mark and nothing else is an empty settings file.
    config.writeSettings(bom);
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "none", kFile), "none");
    EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM1", kFile));
    EXPECT_EQ(config.settings(), bom + "[SmartCard]\nComPort=COM1\n");
}

TEST(Profile, EarlierUnreadableFilesAreKeptAsideUpToThree) {
    TemporaryConfig config;
    const auto garbage = [](int n) {
        return QByteArray(
                   "\x7f"
                   "ELF",
                   4) +
               QByteArray(1, '\0') + QByteArray::number(n);
    };
    const auto aside = [&](const char *suffix) {
        QFile file(config.settingsPath() + suffix);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    };
    for (int n = 1; n <= 4; ++n) {
        config.writeSettings(garbage(n));
        EXPECT_TRUE(writeProfileString("SmartCard", "ComPort", "COM" + std::to_string(n), kFile));
    }
    // The latest in .bad, the one before in .bad.1, then .bad.2; the first
    // one is gone.
    EXPECT_EQ(aside(".bad"), garbage(4));
    EXPECT_EQ(aside(".bad.1"), garbage(3));
    EXPECT_EQ(aside(".bad.2"), garbage(2));
    EXPECT_EQ(aside(".bad.3"), QByteArray("(none)"));
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM4\n"));
}

// Whatever is in place of the file, a read gives the defaults at once and a
// write is refused at once, leaving it alone; a FIFO must never be waited on.
TEST(Profile, SomethingElseInPlaceOfTheFileGivesDefaultsAndIsLeftAlone) {
    TemporaryConfig config;
    const QByteArray path = config.settingsPath().toLocal8Bit();
    int writer = -1;  // the FIFO's writer that writes nothing
    const struct Row {
        const char *what;
        std::function<void()> make;
    } rows[] = {
        {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(config.settingsPath())); }},
        {"a FIFO without a writer", [&] { ASSERT_EQ(mkfifo(path.constData(), 0600), 0); }},
        {"a FIFO whose writer writes nothing",
         [&] {
             ASSERT_EQ(mkfifo(path.constData(), 0600), 0);
             const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
             writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
             ::close(reader);
         }},
        // An endless device would be read until memory runs out.
        {"an endless device", [&] { ASSERT_TRUE(QFile::link("/dev/zero", config.settingsPath())); }},
        {"a full device", [&] { ASSERT_TRUE(QFile::link("/dev/full", config.settingsPath())); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(QDir().mkpath(config.root() + "/kvrman1"));
        row.make();
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(readProfileString("SmartCard", "ComPort", "none", kFile), "none");
        EXPECT_FALSE(writeProfileString("SmartCard", "ComPort", "COM3", kFile));
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
        const QFileInfo left(config.settingsPath());
        EXPECT_TRUE(left.exists() && !left.isFile()) << "left alone";
        if (writer >= 0) ::close(writer);
        writer = -1;
        if (left.isDir() && !left.isSymLink())
            QDir(config.settingsPath()).removeRecursively();
        else
            QFile::remove(config.settingsPath());
    }
}

TEST(Profile, UnreadableFileGivesDefaults) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    TemporaryConfig config;
    config.writeSettings("[SmartCard]\nComPort=COM2\n");
    QFile::setPermissions(config.settingsPath(), QFileDevice::Permissions());
    EXPECT_EQ(readProfileString("SmartCard", "ComPort", "none", kFile), "none");
    EXPECT_FALSE(writeProfileString("SmartCard", "ComPort", "COM3", kFile));
    QFile::setPermissions(config.settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM2\n"));
}

TEST(Profile, ValuesThatWouldBreakTheFileAreRefused) {
    TemporaryConfig config;
    config.writeSettings("[SmartCard]\nComPort=COM2\n");
    EXPECT_FALSE(writeProfileString("SmartCard", "ComPort", "COM1\n[Main]\nXPosit=1", kFile));
    EXPECT_FALSE(writeProfileString("Smart]Card", "ComPort", "COM1", kFile));
    EXPECT_FALSE(writeProfileString("SmartCard", "Com=Port", "COM1", kFile));
    EXPECT_FALSE(writeProfileString("", "ComPort", "COM1", kFile));
    EXPECT_FALSE(writeProfileString("SmartCard", " ", "COM1", kFile));
    EXPECT_EQ(config.settings(), QByteArray("[SmartCard]\nComPort=COM2\n"));
}

// Two programs writing their own keys at the same time lose nothing.
TEST(Profile, ConcurrentWritersLoseNoSetting) {
    TemporaryConfig config;
    constexpr int kWrites = 40;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kWrites; ++i)
            writeProfileString("Child", "Key" + std::to_string(i), std::to_string(i), kFile);
        _exit(0);
    }
    for (int i = 0; i < kWrites; ++i)
        EXPECT_TRUE(writeProfileString("Parent", "Key" + std::to_string(i), std::to_string(i), kFile));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(readProfileString("Parent", "Key" + std::to_string(i), "", kFile), std::to_string(i));
        EXPECT_EQ(readProfileString("Child", "Key" + std::to_string(i), "", kFile), std::to_string(i));
    }
}

}  // namespace
}  // namespace kvr::runtime
