// Test support: a loopback TCP proxy in front of the private PostgreSQL
// server that can lose a reply.  It listens on 127.0.0.1 at a port of the
// kernel's choosing and passes every connection on to the server's socket,
// reading what the client sends message by message (the protocol's framing:
// the start-up message, then a type byte and a length).  Armed, it closes
// both sides of a connection right after it has passed on the chosen
// message, so that the server receives it whole and acts on it while its
// reply never reaches the client:
//
//   Cut::AfterCommit  a simple query "COMMIT";
//   Cut::AfterInsert  the Sync that ends the execution of a prepared
//                     INSERT (or a simple query "INSERT ...").
//
// or closes them instead of passing the message on, as a connection that
// went down just before it was sent:
//
//   Cut::BeforeLockWait  a simple query holding "SET LOCAL lock_timeout"
//                        (a transaction's lock wait).
//
// Each arm cuts one connection once; connections made afterwards pass.
//
// It also counts round trips, the cost of a distant server: one for every
// connection's handshake, and one each time a client sends after it has
// received (the first message of a connection counts as one).  Given a
// delay, it holds every message that way for that long, each direction, and
// a new connection's first message for twice as long (the handshake), as a
// link of twice the delay's round trip would.
#ifndef KVR_TESTS_CUTTING_PROXY_H
#define KVR_TESTS_CUTTING_PROXY_H

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace kvr::testing {

class CuttingProxy {
public:
    enum class Cut { None, AfterCommit, AfterInsert, BeforeLockWait };

    // In front of the server whose Unix socket is at socketPath.
    explicit CuttingProxy(std::string socketPath, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy &) = delete;
    CuttingProxy &operator=(const CuttingProxy &) = delete;

    int port() const { return port_; }
    // A connection string through the proxy to the database named.
    std::string conninfo(const std::string &database) const;

    // Cuts after the (skip + 1)-th such message from now on.
    void arm(Cut cut, int skip = 0);
    // The connections cut so far.
    int cuts() const { return cuts_; }
    // The round trips of every connection so far.
    int roundTrips() const { return roundTrips_; }

private:
    void run();

    std::string socketPath_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<Cut> cut_{Cut::None};
    std::atomic<int> skip_{0};
    std::atomic<int> cuts_{0};
    std::atomic<int> roundTrips_{0};
    std::chrono::milliseconds delay_;
    std::thread thread_;
};

// The Unix socket of the private server's database named in conninfo, and
// that database's name.
std::string serverSocketOf(const std::string &conninfo);
std::string databaseNameOf(const std::string &conninfo);

}  // namespace kvr::testing

#endif
