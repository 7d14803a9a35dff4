// The history on disk: the whole history saved at once ("&Guardar..."), and
// the log that [Historial] Archivo= of the settings file names, to which
// every exchange is appended as it happens.  Failures come back with the
// system's reason (strerror), never silently.
#ifndef KVR_SESSION_HISTORY_FILE_H
#define KVR_SESSION_HISTORY_FILE_H

#include "session/exchange_history.h"

#include "common/append_log.h"

#include <string>

namespace kvr::session {

// Writes the history to path (replacing the file): CSV when the name ends
// in ".csv", else the line pairs.  False with the reason in `error`.
bool saveHistory(const ExchangeHistory &history, const std::string &path, std::string &error);

// The settings that name the log.
inline constexpr const char *kHistorySection = "Historial";
inline constexpr const char *kHistoryFileKey = "Archivo";

// The log file, open for appending from open() until it is destroyed or a
// write fails.  Each exchange is one write of its line pair, so that what
// the window showed is on disk even if the program then ends abruptly.
// Neither the open nor a write ever waits: a FIFO without a reader is
// refused at once, and the lines a target cannot take now (a FIFO whose
// reader stopped reading) are dropped (common/append_log.h).
class HistoryLog {
public:
    using Outcome = common::AppendLog::Outcome;

    HistoryLog() = default;
    HistoryLog(const HistoryLog &) = delete;
    HistoryLog &operator=(const HistoryLog &) = delete;

    // Opens (creating) the file for appending and writes the session's
    // first line ("Sesión 2026-12-09 10:15:03").  False with the reason: a
    // folder, a FIFO no program reads, anything but a file or a device.
    bool open(const std::string &path, int64_t wallMs, std::string &error);
    bool isOpen() const { return log_.isOpen(); }
    const std::string &path() const { return path_; }

    // Appends the exchange's lines.  A failure closes the log and gives the
    // reason; nothing more is written after it.
    Outcome append(const Exchange &exchange, std::string &error);

private:
    Outcome write(const std::string &text, std::string &error);

    common::AppendLog log_;
    std::string path_;
};

// The status-bar text when the log cannot be opened, and the text of the
// box when a save or a write to the log failed.
std::string historyLogNotOpenedMessage(const std::string &path, const std::string &reason);
std::string historyNotSavedMessage(const std::string &path, const std::string &reason);
std::string historyLogFailedMessage(const std::string &path, const std::string &reason);
// The status-bar text, once, when the log starts dropping lines.
std::string historyLogDroppingMessage(const std::string &path);

}  // namespace kvr::session

#endif
