// The frame trace an operator switches on with KVR7X_TRACE: a program of
// its own that loads the library runs against the emulated reader, and its
// trace file tells the same exchanges as the calls returned.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "common/unique_fd.h"
#include "eventually.h"
#include "frame_trace.h"
#include "network_test_support.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

std::string fileText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the probe with KVR7X_TRACE set to `trace`; gives up after 20 s.
ProbeRun runProbe(const std::string &url, const std::string &trace, const std::string &outFile) {
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        if (std::string(*e).rfind("KVR7X_TRACE=", 0) != 0) env.emplace_back(*e);
    env.push_back("KVR7X_TRACE=" + trace);
    std::vector<char *> envp;
    for (std::string &s : env) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const std::string errFile = outFile + ".err";
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::string program = KVR7X_TRACE_PROBE;
    std::string arg = url;
    char *argv[] = {program.data(), arg.data(), nullptr};
    pid_t pid = -1;
    ProbeRun run;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    if (!kvr7x::test::eventually([&] { return ::waitpid(pid, &run.status, WNOHANG) != 0; }, 20s)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &run.status, 0);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    run.out = fileText(outFile);
    run.err = fileText(errFile);
    return run;
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace

TEST(FrameTrace, AProgramsTraceFileTellsEachExchangeAsTheCallsReturnedIt) {
    auto emu = kvr7x::test::startEmulator();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kvr7x-trace-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string trace = (dir / "trace.log").string();
    const ProbeRun run = runProbe(emu->url(), trace, (dir / "out.txt").string());
    std::ifstream in(trace);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove_all(dir);

    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.out;
    const std::vector<std::string> got = lines(run.out);
    ASSERT_EQ(got.size(), 2u) << run.out;
    const std::vector<std::string> t = lines(text.str());
    // The reset that opening the port makes, then the two commands: two
    // lines each.
    ASSERT_EQ(t.size(), 6u) << text.str();

    const std::string stamp = R"(^\d\d:\d\d:\d\d\.\d{6} KVR7x\[\d+\] )";
    EXPECT_TRUE(std::regex_search(t[0], std::regex(stamp + R"(> reset$)"))) << t[0];
    EXPECT_TRUE(std::regex_search(
        t[1], std::regex(stamp + R"(< 00 90 .. .. \| 56 45 58 41 .*STAT 00 in \d+\.\d{3} ms$)")))
        << t[1];
    EXPECT_TRUE(std::regex_search(t[2], std::regex(stamp + R"(> 20 00 10 00 00 00$)"))) << t[2];
    EXPECT_TRUE(std::regex_search(t[4], std::regex(stamp + R"(> A1 00 A4 00 00 02 \| 3F 00$)")))
        << t[4];
    // Each reply line holds what the call returned: STAT SW1 SW2 LEN.
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE("command " + std::to_string(i + 1));
        unsigned result = 0, sw1 = 0, sw2 = 0, len = 0;
        ASSERT_EQ(std::sscanf(got[i].c_str(), "%X %X %X %X", &result, &sw1, &sw2, &len), 4)
            << got[i];
        char reply[64];
        std::snprintf(reply, sizeof reply, "< %02X %02X %02X %02X", result, sw1, sw2, len);
        EXPECT_NE(t[3 + 2 * i].find(reply), std::string::npos) << t[3 + 2 * i] << " vs " << got[i];
    }
}

// A trace target that cannot take the trace neither holds the program up nor
// stops it: the probe's calls all return in time, and stderr says once why
// the trace is missing or short.
TEST(FrameTrace, ATargetThatCannotTakeTheTraceIsOneLineOnStderrAndTheProgramGoesOn) {
    auto emu = kvr7x::test::startEmulator();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kvr7x-hostile-trace-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string fifo = (dir / "fifo").string();
    kvr::common::UniqueFd reader,
        writer;  // the FIFO's reader that stopped reading, and what filled it
    const struct Row {
        const char *what;
        std::function<std::string()> make;  // the target, and what stderr then says
        const char *said;
        bool failsForRoot = true;
    } rows[] = {
        {"a FIFO without a reader",
         [&] {
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             return fifo;
         },
         "no trace is written to TARGET: it is a FIFO that no program reads"},
        {"a FIFO whose reader stopped reading",
         [&] {
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             reader.reset(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
             writer.reset(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
             ::fcntl(writer.get(), F_SETPIPE_SZ, 4096);
             const std::string fill(4096, '.');
             while (::write(writer.get(), fill.data(), fill.size()) > 0) {}
             return fifo;
         },
         "the trace to TARGET cannot take lines as fast as they come: some are left out"},
        {"a folder", [&] { return dir.string(); }, "no trace is written to TARGET: it is a folder"},
        {"a full device", [] { return std::string("/dev/full"); },
         "the trace to TARGET stops: No space left on device"},
        {"a missing folder", [&] { return (dir / "missing" / "trace.log").string(); },
         "no trace is written to TARGET: No such file or directory"},
        {"a read-only folder",
         [&] {
             std::filesystem::create_directory(dir / "read-only");
             std::filesystem::permissions(
                 dir / "read-only",
                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
             return (dir / "read-only" / "trace.log").string();
         },
         "no trace is written to TARGET: Permission denied", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.failsForRoot && ::geteuid() == 0) {
            std::printf("skipped: %s (root may write in any folder)\n", row.what);
            continue;
        }
        std::filesystem::remove_all(fifo);
        const std::string target = row.make();
        const ProbeRun run = runProbe(emu->url(), target, (dir / "out.txt").string());
        reader.reset();
        writer.reset();
        EXPECT_LT(run.seconds, 10.0);
        ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.out << run.err;
        // Both calls were answered by the reader.
        EXPECT_EQ(lines(run.out).size(), 2u) << run.out;
        std::string said = row.said;
        said.replace(said.find("TARGET"), 6, target);
        EXPECT_EQ(run.err, "KVR7x: " + said + "\n");
    }
    if (std::filesystem::exists(dir / "read-only"))
        std::filesystem::permissions(dir / "read-only", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    std::filesystem::remove_all(dir);
}

TEST(FrameTrace, LinesTellFramesResultsAndTimes) {
    using kvr7x::TracedExchange;
    const auto noon = std::chrono::system_clock::time_point(std::chrono::hours(24 * 20000 + 12)) +
                      std::chrono::microseconds(345678);
    const uint8_t sent[] = {0x3F, 0x00};
    const uint8_t replyData[] = {0x01, 0xAB};
    struct Case {
        const char *what;
        TracedExchange e;
        const char *want;
    };
    TracedExchange withData;
    std::memcpy(withData.header, "\xA1\x00\xA4\x00\x00\x02", 6);
    withData.sentData = sent;
    withData.sentLen = 2;
    std::memcpy(withData.reply, "\x00\x90\x00\x02", 4);
    withData.replyData = replyData;
    withData.began = noon;
    withData.took = std::chrono::microseconds(17250);
    TracedExchange silent;
    std::memcpy(silent.header, "\x21\x00\xB0\x00\x00\x08", 6);
    silent.result = static_cast<int32_t>(0x80000000u);
    silent.replyData = replyData;  // not shown: no STAT came back
    silent.began = noon;
    silent.took = std::chrono::milliseconds(1001);
    TracedExchange reset;
    reset.isReset = true;
    std::memcpy(reset.reply, "\x00\x90\x00\x00", 4);
    reset.began = noon - std::chrono::hours(1);
    reset.took = std::chrono::microseconds(999);
    const std::vector<Case> cases = {
        {"a data block out and reply data back", withData,
         "12:00:00.345678 KVR7x[7] > A1 00 A4 00 00 02 | 3F 00\n"
         "12:00:00.362928 KVR7x[7] < 00 90 00 02 | 01 AB  STAT 00 in 17.250 ms\n"},
        {"no answer", silent,
         "12:00:00.345678 KVR7x[7] > 21 00 B0 00 00 08\n"
         "12:00:01.346678 KVR7x[7] < error 0x80000000 in 1001.000 ms\n"},
        {"a reset answered without identification", reset,
         "11:00:00.345678 KVR7x[7] > reset\n"
         "11:00:00.346677 KVR7x[7] < 00 90 00 00  STAT 00 in 0.999 ms\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kvr7x::formatExchange(c.e, 7), c.want);
    }
}
