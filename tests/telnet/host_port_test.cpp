// Network addresses written as "HOST:PORT", taken apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "telnet/host_port.h"

using namespace kvr7x::telnet;

TEST(HostPort, SplitsHostAndPort) {
    struct Case {
        const char *text;
        bool ok;
        const char *host;
        uint16_t port;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1:7201", true, "127.0.0.1", 7201},
        {"reader-host.example:1", true, "reader-host.example", 1},
        {"[::1]:65535", true, "::1", 65535},
        {"::1:7201", false, "", 0},
        {"[::1]7201", false, "", 0},
        {"host:", false, "", 0},
        {"host:72o1", false, "", 0},
        {"host:123456", false, "", 0},
        {"host", false, "", 0},
        {"host:0", false, "", 0},
        {"[a]b]:1", false, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        std::string host;
        uint16_t port = 0;
        EXPECT_EQ(splitHostPort(c.text, host, port), c.ok);
        if (c.ok) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
        }
    }
    // Port 0 is for listening only, and only when asked for.
    std::string host;
    uint16_t port = 1;
    EXPECT_TRUE(splitHostPort("127.0.0.1:0", host, port, PortZero::Allowed));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(splitHostPort("h:65536", host, port, PortZero::Allowed));
}
