// A seam for faults no real part produces on demand: while a FailingResources
// lives, the calling thread can get no memory from operator new (it throws
// std::bad_alloc) and no process thread can be made (pthread_create gives
// EAGAIN, so std::thread throws std::system_error).  A test executable that
// links resource_faults.cpp replaces operator new and pthread_create for
// every allocation and thread of the process; outside the scope both behave
// as the system's.
#ifndef KVR7X_TEST_RESOURCE_FAULTS_H
#define KVR7X_TEST_RESOURCE_FAULTS_H

namespace kvr7x::test {

class FailingResources {
public:
    enum What { Memory = 1, Threads = 2 };
    explicit FailingResources(int what);
    ~FailingResources();
    FailingResources(const FailingResources &) = delete;
    FailingResources &operator=(const FailingResources &) = delete;

    // How many requests were refused since the scope began.
    static long refused();
};

}  // namespace kvr7x::test

#endif
