// A team library whose network goes silent: the server's host vanishes
// without closing anything (a cable pulled, a switch gone, a host powered
// off).  TCP alone would keep retrying an unanswered request for a quarter
// of an hour, the manager frozen all the while; the store must give up
// within seconds with an error the operator can read, and find the server
// again once the network is back.
//
// The program runs in a network namespace of its own (it needs root, or a
// user namespace, to make one): the server listens on its loopback, which
// the test takes down and brings up again.  Without a namespace the cases
// are skipped.
#include "keyed_files.h"
#include "postgres_server.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/store_choice.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

using namespace kvr::keyed;
using kvr::testing::commandRecord;
using kvr::testing::nameOf;
using kvr::testing::PostgresServer;

namespace {

bool ownNetwork = false;

// Brings the namespace's loopback up or takes it down, as `ip link set lo`.
bool setLoopback(bool up) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool done = ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
    if (done) {
        request.ifr_flags = static_cast<short>(up ? (request.ifr_flags | IFF_UP) : (request.ifr_flags & ~IFF_UP));
        done = ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(s);
    return done;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(SilentNetwork, ARequestTheServerNeverAnswersFailsWithinSecondsAndTheServerIsFoundAgain) {
    if (!ownNetwork) GTEST_SKIP() << "no network namespace of its own (needs root or user namespaces)";
    PostgresServer server(false, PostgresServer::Reach::AlsoLoopback);
    ASSERT_EQ(PostgresServer::sql(server.conninfo(), "CREATE DATABASE silent").rfind("ERROR", 0), std::string::npos);
    // The program's own defaults: nothing in the connection string about
    // time-outs.
    KeyedFile f(kvr::testing::commandsLikeLayout(), "COMMANDS",
                makeKeyedStore(server.loopbackConninfo("silent"), kvr::testing::commandsLikeLayout()));
    ASSERT_EQ(f.create(), 0);
    ASSERT_EQ(f.open(0x42), 0);
    f.buffer() = commandRecord("visa", "select");
    ASSERT_EQ(f.add(), 0);

    // Gone silent while the library was idle: the next read waits for an
    // acknowledgement no longer than the store allows (10 s), then makes one
    // attempt to connect again, which gives up after its own 10 s.
    ASSERT_TRUE(setLoopback(false));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(f.readByNumber(1), KeyedSystemError);
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 8.0);
    EXPECT_LE(waited, 50.0);
    // The operator is told which server could not be reached.
    EXPECT_NE(f.lastError().driverText.find("127.0.0.1"), std::string::npos) << f.lastError().driverText;
    EXPECT_TRUE(f.isOpen());

    // The network is back: the next read connects again, without a word.
    ASSERT_TRUE(setLoopback(true));
    ASSERT_EQ(f.readByNumber(1), 0);
    EXPECT_EQ(nameOf(f), "select");
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The namespace is this process's and its children's (the server's):
    // nothing outside sees its loopback go down.
    ownNetwork = ::unshare(CLONE_NEWNET) == 0 && setLoopback(true);
    return RUN_ALL_TESTS();
}
