// kvr7x-emu: serves a virtual KVR7x reader until interrupted.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/c_boundary.h"
#include "common/user_file.h"
#include "common/wake_pipe.h"
#include "control_commands.h"
#include "emulator.h"
#include "options.h"

namespace {

// Reads control commands from standard input and answers each on standard
// output, until the end of the input or until `stopFd` becomes readable.
void readControlCommands(kvr7x::emu::Emulator &emulator, int stopFd) {
    std::string pending;
    char chunk[256];
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // input closed: the emulator serves on
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::string answer = kvr7x::emu::runControlCommand(emulator, line);
            if (answer.empty()) continue;
            std::printf("%s\n", answer.c_str());
            std::fflush(stdout);
        }
    }
}

// Serves until SIGINT or SIGTERM: 0, or 1 when the emulator cannot start.
int serve(const kvr7x::emu::Options &options) {
    using namespace kvr7x::emu;
    // Signals are taken by sigwait below, so every thread must block them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Emulator emulator(options.config);
    std::string error;
    if (!emulator.start(error)) {
        std::fprintf(stderr, "kvr7x-emu: %s\n", error.c_str());
        return 1;
    }
    std::printf("kvr7x-emu: serving %s\n", emulator.url().c_str());
    std::fflush(stdout);

    std::optional<kvr::common::WakePipe> stop;
    std::thread control;
    if (options.control && (stop = kvr::common::WakePipe::create()))
        control = std::thread([&] { readControlCommands(emulator, stop->readFd()); });

    int sig = 0;
    sigwait(&stopSignals, &sig);
    if (control.joinable()) {
        stop->wake();
        control.join();
    }
    emulator.stop();
    std::printf("kvr7x-emu: stopped\n");
    return 0;
}

int run(int argc, char **argv) {
    using namespace kvr7x::emu;
    Options options;
    std::string error;
    if (!parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "kvr7x-emu: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs("kvr7x-emu " KVR_EMU_VERSION "\n", stdout);
        return 0;
    }
    std::FILE *logFile = nullptr;
    if (options.logPath == "-") {
        options.config.logStream = stderr;
    } else if (!options.logPath.empty()) {
        // Opened without waiting: a FIFO without a reader is refused at once.
        kvr::common::UserFile file = kvr::common::openUserFile(options.logPath, kvr::common::FileUse::Append);
        if (file.fd) logFile = ::fdopen(file.fd.get(), "a");
        if (!logFile) {
            std::fprintf(stderr, "kvr7x-emu: cannot open log %s: %s\n", options.logPath.c_str(),
                         file.fd ? std::strerror(errno) : kvr::common::refusalText(file).c_str());
            return 1;
        }
        (void)file.fd.release();  // the stream owns it now
        options.config.logStream = logFile;
    }

    const int status = serve(options);
    if (logFile) std::fclose(logFile);
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    return kvr::common::guardMain("kvr7x-emu", [&] { return run(argc, argv); });
}
