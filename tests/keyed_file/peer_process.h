// Test support: a scratch folder and the second process (keyed_file_peer).
#ifndef KVR_TESTS_PEER_PROCESS_H
#define KVR_TESTS_PEER_PROCESS_H

#include <chrono>
#include <string>
#include <vector>

namespace kvr::testing {

// A fresh folder under the temporary directory, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Makes folder the current directory for the lifetime of the object.
class InFolder {
public:
    explicit InFolder(const std::string &folder);
    ~InFolder();

private:
    std::string previous_;
};

// keyed_file_peer (or another program) running with the given arguments;
// its output is read line by line.  The destructor kills and reaps it.
// POSIX: posix_spawn (peer_process.cpp); Windows: CreateProcessW, the peer
// beside the test program (peer_process_win32.cpp).
class Peer {
public:
    explicit Peer(const std::vector<std::string> &arguments);
    Peer(const std::string &program, const std::vector<std::string> &arguments);
    ~Peer();
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // The next output line, or "" when none comes within the time.
    std::string readLine(std::chrono::milliseconds within = std::chrono::seconds(20));
    void kill();
    int wait();  // exit status
    // The process's number (as long as it has not been waited for).
    long pid() const { return pid_; }

private:
    int pid_ = -1;
#ifdef _WIN32
    void *process_ = nullptr;  // the process's and the pipe's HANDLEs
    void *out_ = nullptr;
#else
    int out_ = -1;
#endif
    std::string pending_;
};

// Runs the peer to its end and returns its first output line.
std::string runPeer(const std::vector<std::string> &arguments);

}  // namespace kvr::testing

#endif
