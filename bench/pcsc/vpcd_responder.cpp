// A card behind the virtual PC/SC reader vpcd that answers at once: the
// anchor of the PC/SC benchmark, so that what the anchor measures is pcscd
// and a reader handler, not a card.
//
// vpcd listens on a TCP port and this program connects to it.  Every
// message either way is a 2-byte length (big-endian) and that many bytes.
// vpcd sends a 1-byte message for power off (00), power on (01) and reset
// (02), which get no answer, and for "give the ATR" (04), answered by the
// ATR; any longer message is a command APDU, answered by the response APDU:
// GET CHALLENGE (INS 84) gives Le bytes (256 for 00) and 90 00, SELECT (INS
// A4) gives 90 00, anything else 6D 00.  Every answer that a read brings in
// goes out in one write.
//
// Usage: kvr7x_bench_vpcd_responder PORT   (vpcd on 127.0.0.1)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// A T=0 card without interface bytes, historical bytes "KVRB".
const std::vector<uint8_t> kAtr{0x3B, 0x04, 'K', 'V', 'R', 'B'};

void appendMessage(const std::vector<uint8_t> &body, std::vector<uint8_t> &out) {
    out.push_back(static_cast<uint8_t>(body.size() >> 8));
    out.push_back(static_cast<uint8_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

// The answer to one message, or nothing for the power controls.
void answer(const uint8_t *msg, size_t n, uint8_t &counter, std::vector<uint8_t> &out) {
    if (n == 1) {
        if (msg[0] == 0x04) appendMessage(kAtr, out);
        return;
    }
    std::vector<uint8_t> reply;
    const uint8_t ins = n >= 2 ? msg[1] : 0;
    if (ins == 0x84 && n == 5) {
        const size_t le = msg[4] == 0 ? 256 : msg[4];
        for (size_t i = 0; i < le; ++i) reply.push_back(counter++);
        reply.insert(reply.end(), {0x90, 0x00});
    } else if (ins == 0xA4) {
        reply = {0x90, 0x00};
    } else {
        reply = {0x6D, 0x00};
    }
    appendMessage(reply, out);
}

int connectTo(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // vpcd listens once pcscd has loaded it: try for ten seconds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

int main(int argc, char **argv) {
    const long port = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    const int fd = connectTo(static_cast<uint16_t>(port));
    if (fd < 0) {
        std::fprintf(stderr, "vpcd_responder: no vpcd on port %ld\n", port);
        return 1;
    }
    std::vector<uint8_t> in, out;
    uint8_t chunk[4096];
    uint8_t counter = 0;
    for (;;) {
        // vpcd writes a message's length and its body apart, and its
        // second write waits for the first one's acknowledgement: acknowledge
        // at once, not after the delayed-ACK time.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        const ssize_t k = ::recv(fd, chunk, sizeof chunk, 0);
        if (k <= 0) break;  // vpcd gone: pcscd ended
        in.insert(in.end(), chunk, chunk + k);
        size_t at = 0;
        out.clear();
        while (in.size() - at >= 2) {
            const size_t n = static_cast<size_t>(in[at] << 8 | in[at + 1]);
            if (in.size() - at - 2 < n) break;
            answer(in.data() + at + 2, n, counter, out);
            at += 2 + n;
        }
        in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));
        if (!out.empty() && ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) break;
    }
    ::close(fd);
    return 0;
}
