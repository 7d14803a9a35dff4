#include "resource_faults.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

thread_local bool t_failMemory = false;
std::atomic<bool> g_failThreads{false};
std::atomic<long> g_refused{0};

void *allocate(std::size_t size) {
    if (t_failMemory) {
        g_refused.fetch_add(1);
        throw std::bad_alloc();
    }
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

namespace kvr7x::test {

FailingResources::FailingResources(int what) {
    g_refused = 0;
    t_failMemory = (what & Memory) != 0;
    g_failThreads = (what & Threads) != 0;
}

FailingResources::~FailingResources() {
    t_failMemory = false;
    g_failThreads = false;
}

long FailingResources::refused() { return g_refused.load(); }

}  // namespace kvr7x::test

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *),
                              void *arg) {
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto real = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (g_failThreads) {
        g_refused.fetch_add(1);
        return EAGAIN;
    }
    return real(thread, attr, start, arg);
}
