// kvr7x-emu: serves a virtual KVR7x reader until interrupted.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "emulator.h"
#include "options.h"

int main(int argc, char **argv) {
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
    std::FILE *logFile = nullptr;
    if (options.logPath == "-") {
        options.config.logStream = stderr;
    } else if (!options.logPath.empty()) {
        logFile = std::fopen(options.logPath.c_str(), "a");
        if (!logFile) {
            std::fprintf(stderr, "kvr7x-emu: cannot open log %s: %s\n", options.logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
        options.config.logStream = logFile;
    }

    // Signals are taken by sigwait below, so every thread must block them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Emulator emulator(options.config);
    if (!emulator.start(error)) {
        std::fprintf(stderr, "kvr7x-emu: %s\n", error.c_str());
        if (logFile) std::fclose(logFile);
        return 1;
    }
    std::printf("kvr7x-emu: serving %s\n", emulator.url().c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    emulator.stop();
    std::printf("kvr7x-emu: stopped\n");
    if (logFile) std::fclose(logFile);
    return 0;
}
