#include "session/history_file.h"

#include "session/exchange_text.h"

#include "common/saved_file.h"
#include "common/user_file.h"

#include <cstring>

namespace kvr::session {

namespace {

std::string reason(int error) { return std::strerror(error); }

}  // namespace

bool saveHistory(const ExchangeHistory &history, const std::string &path, std::string &error) {
    int failure = 0;
    if (common::saveWholeFile(path, wantsCsv(path) ? historyCsv(history) : historyText(history), failure)) return true;
    error = reason(failure);
    return false;
}

bool HistoryLog::open(const std::string &path, int64_t wallMs, std::string &error) {
    log_.close();
    path_ = path;
    common::UserFile file = common::openUserFile(path, common::FileUse::Append);
    switch (file.refusal) {
    case common::Refusal::None: break;
    case common::Refusal::System: error = reason(file.error); return false;
    case common::Refusal::Folder: error = "es una carpeta"; return false;
    case common::Refusal::Fifo: error = "es una FIFO que ningún programa lee"; return false;
    case common::Refusal::NotAFile: error = "no es un archivo"; return false;
    }
    log_ = common::AppendLog(std::move(file.fd));
    const std::string time = timeOfDayText(wallMs);
    return write("Sesión " + dateText(wallMs) + ' ' + time.substr(0, 8) + '\n', error) != Outcome::Failed;
}

HistoryLog::Outcome HistoryLog::append(const Exchange &exchange, std::string &error) {
    if (!log_.isOpen()) return Outcome::Failed;
    return write(exchangeLines(exchange), error);
}

HistoryLog::Outcome HistoryLog::write(const std::string &text, std::string &error) {
    int failure = 0;
    const Outcome outcome = log_.append(text, failure);
    if (outcome == Outcome::Failed) error = reason(failure);
    return outcome;
}

std::string historyLogNotOpenedMessage(const std::string &path, const std::string &reason) {
    return "El historial no se guarda en " + path + ": " + reason;
}

std::string historyLogDroppingMessage(const std::string &path) {
    return "El historial " + path + " no admite las líneas tan deprisa como llegan: se pierden algunas";
}

std::string historyNotSavedMessage(const std::string &path, const std::string &reason) {
    return "No se ha podido guardar el historial en " + path + ": " + reason;
}

std::string historyLogFailedMessage(const std::string &path, const std::string &reason) {
    return "No se ha podido escribir en el historial " + path + ": " + reason + ". Desde ahora no se guarda en él.";
}

}  // namespace kvr::session
