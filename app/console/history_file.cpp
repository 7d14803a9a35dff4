#include "console/history_file.h"

#include "console/exchange_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvr::console {

namespace {

std::string reason(int error) { return std::strerror(error); }

// Writes all of text to fd, going on after partial writes and signals.
bool writeFully(int fd, const std::string &text, int &error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool saveHistory(const ExchangeHistory &history, const std::string &path, std::string &error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = reason(errno);
        return false;
    }
    int failure = 0;
    const bool written = writeFully(fd, wantsCsv(path) ? historyCsv(history) : historyText(history), failure);
    // A full disk may only show when the data reaches it.
    if (written && ::fsync(fd) != 0 && errno != EINVAL) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (!written || failure != 0) {
        error = reason(failure);
        return false;
    }
    return true;
}

HistoryLog::~HistoryLog() { close(); }

void HistoryLog::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool HistoryLog::open(const std::string &path, int64_t wallMs, std::string &error) {
    close();
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = reason(errno);
        return false;
    }
    const std::string time = timeOfDayText(wallMs);
    return writeAll("Sesión " + dateText(wallMs) + ' ' + time.substr(0, 8) + '\n', error);
}

bool HistoryLog::append(const Exchange &exchange, std::string &error) {
    if (fd_ < 0) return false;
    return writeAll(exchangeLines(exchange), error);
}

bool HistoryLog::writeAll(const std::string &text, std::string &error) {
    int failure = 0;
    if (writeFully(fd_, text, failure)) return true;
    error = reason(failure);
    close();
    return false;
}

std::string historyLogNotOpenedMessage(const std::string &path, const std::string &reason) {
    return "El historial no se guarda en " + path + ": " + reason;
}

std::string historyNotSavedMessage(const std::string &path, const std::string &reason) {
    return "No se ha podido guardar el historial en " + path + ": " + reason;
}

std::string historyLogFailedMessage(const std::string &path, const std::string &reason) {
    return "No se ha podido escribir en el historial " + path + ": " + reason + ". Desde ahora no se guarda en él.";
}

}  // namespace kvr::console
