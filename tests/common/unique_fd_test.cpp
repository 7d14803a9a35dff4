// UniqueFd and the wake-up pipe on real descriptors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

#include "common/unique_fd.h"
#include "common/wake_pipe.h"

namespace kvr::common {
namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

bool readable(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, waitMs) == 1 && (p.revents & POLLIN);
}

TEST(UniqueFd, ClosesItsDescriptorOnceWhateverWayItEnds) {
    int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        UniqueFd fd(raw);
        EXPECT_TRUE(fd);
        UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd);
        EXPECT_EQ(moved.get(), raw);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));

    raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    UniqueFd kept(raw);
    const int given = kept.release();
    EXPECT_EQ(given, raw);
    EXPECT_FALSE(kept);
    EXPECT_TRUE(isOpen(raw));
    kept.reset(given);
    EXPECT_EQ(kept.close(), 0);
    EXPECT_FALSE(isOpen(raw));
    EXPECT_FALSE(kept);

    UniqueFd a(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    UniqueFd b(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int aRaw = a.get();
    const int bRaw = b.get();
    a = std::move(b);
    EXPECT_FALSE(isOpen(aRaw));
    EXPECT_EQ(a.get(), bRaw);
}

TEST(WakePipe, AWakeFromAnotherThreadEndsAPollAndIsDrained) {
    auto pipe = WakePipe::create();
    ASSERT_TRUE(pipe.has_value());
    EXPECT_FALSE(readable(pipe->readFd(), 0));
    EXPECT_NE(::fcntl(pipe->readFd(), F_GETFD) & FD_CLOEXEC, 0);

    std::thread waker([&] { pipe->wake(); });
    EXPECT_TRUE(readable(pipe->readFd(), 10000));
    waker.join();
    pipe->drain();
    EXPECT_FALSE(readable(pipe->readFd(), 0));

    // Wakes before the wait are kept; far more wakes than the pipe holds
    // neither block nor fail.
    for (int i = 0; i < 100000; ++i) pipe->wake();
    EXPECT_TRUE(readable(pipe->readFd(), 0));
    pipe->drain();
    EXPECT_FALSE(readable(pipe->readFd(), 0));
}

TEST(WakePipe, ClosesBothEndsWhenItGoes) {
    int readEnd = -1;
    {
        auto pipe = WakePipe::create();
        ASSERT_TRUE(pipe.has_value());
        readEnd = pipe->readFd();
        EXPECT_TRUE(isOpen(readEnd));
    }
    EXPECT_FALSE(isOpen(readEnd));
}

}  // namespace
}  // namespace kvr::common
