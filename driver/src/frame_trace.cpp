#include "frame_trace.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "common/hex.h"
#ifndef _WIN32
#include "common/user_file.h"
#endif

namespace kvr7x {

namespace {

void appendHex(std::string &out, const uint8_t *bytes, size_t n) {
    out += kvr::common::hexSpaced(std::span<const uint8_t>(bytes, n));
}

std::string milliseconds(std::chrono::steady_clock::duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03lld ms", static_cast<long long>(us / 1000),
                  static_cast<long long>(us % 1000));
    return buf;
}

std::string resultText(int32_t result) {
    char buf[32];
    if (result >= 0)
        std::snprintf(buf, sizeof buf, "STAT %02X", static_cast<unsigned>(result));
    else
        std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<unsigned>(result));
    return buf;
}

}  // namespace

std::string timeOfDay(std::chrono::system_clock::time_point t) {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
    constexpr long long kPerDay = 86400LL * 1000000LL;
    const long long ofDay = ((us % kPerDay) + kPerDay) % kPerDay;
    const long long s = ofDay / 1000000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%06lld", s / 3600, s / 60 % 60, s % 60,
                  ofDay % 1000000);
    return buf;
}

std::string formatExchange(const TracedExchange &e, long pid) {
    const std::string stamp = timeOfDay(e.began) + " KVR7x[" + std::to_string(pid) + "] ";
    std::string out;
    out += stamp;
    if (e.isReset) {
        out += "> reset";
    } else {
        out += "> ";
        appendHex(out, e.header, 6);
        if (e.sentData) {
            out += " | ";
            appendHex(out, e.sentData, e.sentLen);
        }
    }
    out += '\n';

    out += timeOfDay(e.began +
                     std::chrono::duration_cast<std::chrono::system_clock::duration>(e.took));
    out += stamp.substr(15);
    out += "< ";
    if (e.result >= 0) {
        appendHex(out, e.reply, 4);
        if (e.replyData && e.reply[3] != 0) {
            out += " | ";
            appendHex(out, e.replyData, e.reply[3]);
        }
        out += "  ";
    }
    out += resultText(e.result) + " in " + milliseconds(e.took) + '\n';
    return out;
}

FrameTrace::FrameTrace(const std::string &target) : target_(target) {
    if (target == "stderr") {
        out_ = stderr;
        return;
    }
#ifdef _WIN32
    out_ = std::fopen(target.c_str(), "a");
    ownsFile_ = out_ != nullptr;
    if (!out_)
        std::fprintf(stderr, "KVR7x: no trace is written to %s: %s\n", target.c_str(),
                     std::strerror(errno));
#else
    kvr::common::UserFile file = kvr::common::openUserFile(target, kvr::common::FileUse::Append);
    if (!file.fd) {
        std::fprintf(stderr, "KVR7x: no trace is written to %s: %s\n", target.c_str(),
                     kvr::common::refusalText(file).c_str());
        return;
    }
    log_ = kvr::common::AppendLog(std::move(file.fd));
#endif
}

FrameTrace::~FrameTrace() {
    if (ownsFile_) std::fclose(out_);
}

bool FrameTrace::writable() const {
#ifndef _WIN32
    if (log_.isOpen()) return true;
#endif
    return out_ != nullptr;
}

void FrameTrace::write(const TracedExchange &exchange) {
    const std::string text = formatExchange(exchange, static_cast<long>(::getpid()));
    const std::lock_guard<std::mutex> lock(mutex_);
    if (writable()) writeLines(text);
}

void FrameTrace::writeLines(const std::string &text) {
    if (out_) {
        std::fwrite(text.data(), 1, text.size(), out_);
        std::fflush(out_);
        return;
    }
#ifndef _WIN32
    int error = 0;
    switch (log_.append(text, error)) {
    case kvr::common::AppendLog::Outcome::Written: break;
    case kvr::common::AppendLog::Outcome::Dropped:
        if (log_.isOpen() && !toldDropped_)
            std::fprintf(stderr,
                         "KVR7x: the trace to %s cannot take lines as fast as they come: some are "
                         "left out\n",
                         target_.c_str());
        toldDropped_ = true;
        break;
    case kvr::common::AppendLog::Outcome::Failed:
        std::fprintf(stderr, "KVR7x: the trace to %s stops: %s\n", target_.c_str(),
                     std::strerror(error));
        break;
    }
#endif
}

FrameTrace *processTrace() {
    // Made once and kept for the life of the process: an exchange may run
    // on the notification thread while the program ends.
    static FrameTrace *const trace = []() -> FrameTrace * {
        const char *target = std::getenv("KVR7X_TRACE");
        if (!target || !*target) return nullptr;
        return new FrameTrace(target);  // never freed, see above
    }();
    return trace;
}

}  // namespace kvr7x
