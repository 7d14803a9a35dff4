// The guard of a call that crosses into C: an export of a library, an entry
// point another program calls (pcscd, a program loading the driver), a
// program's main.  No exception may leave such a call (it would end the
// whole process in std::terminate, pcscd with it): the guard runs the call
// and turns any exception into the call's documented failure.
#ifndef KVR_COMMON_C_BOUNDARY_H
#define KVR_COMMON_C_BOUNDARY_H

#include <cstdio>
#include <exception>
#include <utility>

namespace kvr::common {

// Runs `call` and gives its result; when it throws, gives `failed(what)`,
// where `what` is the exception's text ("unknown exception" for one that is
// no std::exception).  `failed` must not throw itself.
template <class Call, class Failure>
auto guardCall(Call &&call, Failure &&failed) noexcept -> decltype(call()) {
    try {
        return std::forward<Call>(call)();
    } catch (const std::exception &e) {
        return std::forward<Failure>(failed)(e.what());
    } catch (...) {
        return std::forward<Failure>(failed)("unknown exception");
    }
}

// A program's main: an exception is one line on stderr
// ("PROGRAM: cannot go on: WHAT") and the exit status 2.
template <class Run>
int guardMain(const char *program, Run &&run) noexcept {
    return guardCall(std::forward<Run>(run), [program](const char *what) noexcept {
        std::fprintf(stderr, "%s: cannot go on: %s\n", program, what);
        return 2;
    });
}

}  // namespace kvr::common

#endif
