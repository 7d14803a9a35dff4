#include "peer_process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kvr::testing {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvr-keyed-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    // Read-only entries made by a test must not stop the removal.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

InFolder::InFolder(const std::string &folder) : previous_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder);
}

InFolder::~InFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

Peer::Peer(const std::vector<std::string> &arguments) : Peer(KVR_KEYED_PEER, arguments) {}

Peer::Peer(const std::string &program, const std::vector<std::string> &arguments) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
    if (rc != 0) throw std::runtime_error("cannot start the peer process");
}

Peer::~Peer() {
    kill();
    wait();
    if (out_ >= 0) ::close(out_);
}

std::string Peer::readLine(std::chrono::milliseconds within) {
    auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        pollfd p{out_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return {};
        char buffer[256];
        ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return {};
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

void Peer::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
}

int Peer::wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
    return status;
}

std::string runPeer(const std::vector<std::string> &arguments) {
    Peer peer(arguments);
    std::string line = peer.readLine();
    peer.wait();
    return line;
}

}  // namespace kvr::testing
