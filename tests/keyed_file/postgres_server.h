// Test support: a private PostgreSQL server.
//
// Its data folder is a copy of a template (made once per machine and server
// version with initdb, kept under the temporary directory) in a fresh
// temporary folder; the server listens only on a Unix socket in that folder,
// so no port is taken.  Since the server refuses to run as root, a test run
// as root runs it as the user "nobody".
//
// It is stopped on every way out: by stop() and the destructor, by
// PostgresEnvironment at the end of the test program, and, should the test
// process die, by the signal the kernel sends the server when its parent
// goes (PR_SET_PDEATHSIG).  Folders left by a killed test are removed by
// the next server made.
#ifndef KVR_TESTS_POSTGRES_SERVER_H
#define KVR_TESTS_POSTGRES_SERVER_H

#include <string>
#include <sys/types.h>

namespace kvr::testing {

class PostgresServer {
public:
    // Where clients reach the server: the socket in its folder only, or also
    // 127.0.0.1 (for a test in a network namespace of its own, where no other
    // program has the port).
    enum class Reach { SocketFolder, AlsoLoopback };

    // Makes the data folder and starts the server; throws when it cannot.
    // fsync off unless durable.
    explicit PostgresServer(bool durable = false, Reach reach = Reach::SocketFolder);
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // Fast shutdown; the data stays for start().
    void stop();
    void start();
    bool running() const { return pid_ > 0; }

    // The connection string of a database as the superuser "kvr" (or user).
    std::string conninfo(const std::string &database = "postgres", const std::string &user = "kvr") const;
    // The same over TCP to 127.0.0.1 (Reach::AlsoLoopback).
    std::string loopbackConninfo(const std::string &database) const;
    // A new empty database: its connection string.
    std::string freshDatabase();
    // Runs SQL as the superuser on the database of conninfo; the first
    // column of the first row, or "ERROR: message".
    static std::string sql(const std::string &conninfo, const std::string &text);

    // A role "secured" that must give the password "right"; trust for all
    // others.
    static constexpr const char *kSecuredUser = "secured";
    static constexpr const char *kSecuredPassword = "right";

    const std::string &folder() const { return folder_; }

private:
    std::string folder_;
    pid_t pid_ = -1;
    bool durable_ = false;
    Reach reach_ = Reach::SocketFolder;
    int databases_ = 0;
};

// The server of this test program, started on first use.
PostgresServer &testServer();
// Stops it, if it was started.
void stopTestServer();

}  // namespace kvr::testing

#endif
