#include "script_source.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvr::cli {

namespace {

bool readAll(int fd, const std::string &name, session::ScriptParser &parser, std::string &error) {
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) {
            // A descriptor left non-blocking by whoever made it: wait for it.
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) continue;
        }
        if (got < 0) {
            error = "cannot read " + name + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        if (!parser.feed(std::string_view(buffer, static_cast<std::size_t>(got)))) {
            error = parser.error();
            return false;
        }
    }
    if (!parser.finish()) {
        error = parser.error();
        return false;
    }
    return true;
}

// A folder cannot be a script; everything else that reads (a file, a pipe,
// a terminal, a character device) may be.
bool readable(int fd, const std::string &name, std::string &error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = name + " is a folder, not a script";
        return false;
    }
    return true;
}

}  // namespace

std::string scriptName(const std::string &path) { return path == "-" ? "standard input" : path; }

bool readScript(const std::string &path, session::ScriptParser &parser, std::string &error) {
    if (path == "-") {
        if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
            error = "standard input is closed: no script to read";
            return false;
        }
        return readable(STDIN_FILENO, scriptName(path), error) &&
               readAll(STDIN_FILENO, scriptName(path), parser, error);
    }
    const common::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!readable(file.get(), path, error)) return false;
    // Opened without waiting for a FIFO's writer; read waiting for the bytes.
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0) (void)::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    return readAll(file.get(), path, parser, error);
}

}  // namespace kvr::cli
