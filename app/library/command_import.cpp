#include "library/command_import.h"

#include "common/text.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "keyed_file/access_mode.h"

#include <algorithm>
#include <vector>

namespace kvr::library {

namespace {

using Clock = std::chrono::steady_clock;

// A file's error as the standard warnings describe it.
std::string errorDescription(const keyed::KeyedError &e) {
    if (e.code == keyed::KeyedSystemError) return e.driverText + " (" + e.driverCode + ")";
    return e.text() + " (" + std::to_string(e.code) + ")";
}

// Records are added in groups, each group in one call (on the team library
// one round trip instead of one an add), sent before the next group is read
// and answered once it is: the team library's server adds a group while the
// source is read on.  A group is sent at kGroup records when the group
// before has its answer, else it grows while that answer travels, up to
// kGroupMost: over a distant link a round trip then carries what the
// source gives meanwhile, not a fixed 250, and a batch of the same time
// holds many more records.  A batch's end sends its last group and waits
// for it before the commit.
class Appender {
public:
    static constexpr std::size_t kGroup = 250;
    static constexpr std::size_t kGroupMost = 5000;
    static constexpr std::size_t kAskEvery = 32;  // records between looks for the answer

    Appender(keyed::KeyedFile &target, const ImportBatching &batching) : target_(target), batching_(batching) {}

    ImportReport report;

    // The first failure is reported, with the error it left on its file.
    void failed(const keyed::KeyedFile &on) {
        if (report.firstError.empty()) report.firstError = errorDescription(on.lastError());
    }

    void append(const std::function<void()> &copy) {
        if (!writing_) {
            ++report.notAppended;
            return;
        }
        if (!inBatch_) {
            if (target_.beginTransaction(CommandsLibrary::kTransactionTimeoutMs) != keyed::KeyedOk) {
                // COMMANDS stays busy: the rest is read and counted only.
                failed(target_);
                writing_ = false;
                ++report.notAppended;
                return;
            }
            inBatch_ = true;
            batchRecords_ = 0;
            batchStart_ = Clock::now();
        }
        ++batchRecords_;
        copy();
        group_.push_back(target_.outgoing());
        ++report.pending;  // until its add says otherwise
        if (groupFull()) send();
        if (batchRecords_ >= batching_.records || Clock::now() - batchStart_ >= batching_.time) commit();
    }

    void commit() {
        if (!inBatch_) return;
        send();
        receive();
        inBatch_ = false;
        if (target_.commit() == keyed::KeyedOk) {
            report.appended += report.pending;
        } else {
            report.notAppended += report.pending;
            failed(target_);
        }
        report.pending = 0;
    }

private:
    bool groupFull() {
        const std::size_t n = group_.size();
        if (n < kGroup) return false;
        if (!sent_ || n >= kGroupMost) return true;
        return (n - kGroup) % kAskEvery == 0 && target_.addsAnswered();
    }

    // The group's adds, once the group before has its answer.
    void send() {
        receive();
        if (group_.empty()) return;
        target_.sendAdds(group_);
        group_.clear();
        sent_ = true;
    }

    // The answer to the group sent; the first failure is the last error.
    void receive() {
        if (!sent_) return;
        sent_ = false;
        std::vector<int> codes;
        (void)target_.receiveAdds(codes);  // each record's code is in codes
        for (int code : codes) {
            if (code == keyed::KeyedOk) continue;
            --report.pending;
            ++report.notAppended;
            failed(target_);
        }
    }

    keyed::KeyedFile &target_;
    ImportBatching batching_;
    bool writing_ = true;
    bool inBatch_ = false;
    std::size_t batchRecords_ = 0;  // records tried in the open batch
    Clock::time_point batchStart_;
    std::vector<std::vector<unsigned char>> group_;  // read, not yet sent
    bool sent_ = false;                              // a group sent, its answer to come
};

std::string withoutCardText(std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " sin tarjeta, no importado" : " sin tarjeta, no importados");
}

}  // namespace

ImportReport appendInKeyOrder(keyed::KeyedFile &source, keyed::KeyedFile &target, const std::function<void()> &copy,
                              const ImportBatching &batching, const ImportProgress &progress) {
    Appender appender(target, batching);
    ImportReport &report = appender.report;
    int code = source.setStart();
    while (code == keyed::KeyedOk) {
        code = source.next();
        if (code == keyed::KeyedNotAvailable) break;  // the end of the key
        if (code != keyed::KeyedOk) {
            report.readError = true;
            appender.failed(source);
            break;
        }
        ++report.read;
        appender.append(copy);
        if (progress) progress(report);
    }
    if (code != keyed::KeyedOk && code != keyed::KeyedNotAvailable && !report.readError) {
        report.readError = true;
        appender.failed(source);
    }
    appender.commit();
    return report;
}

ImportResult importCommandFile(CommandsLibrary &library, const ImportBatching &batching,
                               const ImportProgress &progress) {
    CommandsUse commands(library);
    commands.acquire();
    ImportResult result;
    keyed::KeyedFile &source = library.importFile();
    // For reading only, with others kept from writing meanwhile: the source
    // is another installation's file, and nothing of it is written, whatever
    // its form (no conversion, no stamp, no journal, nothing beside it).
    if (source.open(keyed::access::kDenyWrite | keyed::access::kReadOnly) != keyed::KeyedOk) {
        result.openError =
            ImportOpenError{source.lastError().code, std::string(common::utf8Prefix(source.lastError().file, 79))};
        return result;
    }
    result.report = appendInKeyOrder(
        source, library.commandsFile(), [&library] { library.commandsRecord() = library.importRecord(); }, batching,
        progress);
    // A record without a card name would be listed nowhere: it stays behind,
    // and the report counts it.
    if (!result.report.readError)
        result.report.withoutCard = std::max<std::int64_t>(0, source.records() - result.report.read);
    source.close();
    return result;
}

std::string openErrorText(const ImportOpenError &error) {
    return "Error " + std::to_string(error.code) + " al abrir el archivo: " + error.file;
}

std::string importReportText(const ImportReport &report) {
    std::string text = "Comandos importados: " + std::to_string(report.appended) + "\n";
    text += "Comandos no importados: " + std::to_string(report.notAppended) + "\n";
    if (report.readError) text += "La lectura del archivo se detuvo por un error.\n";
    if (report.withoutCard > 0) text += withoutCardText(report.withoutCard) + "\n";
    text += "Primer error: " + report.firstError;
    return text;
}

std::string importedStatusText(const ImportReport &report) {
    if (!report.clean()) return {};
    if (report.appended == 0 && report.withoutCard == 0) return "El archivo no tiene comandos: ninguno importado";
    std::string text =
        report.appended == 1 ? "1 comando importado" : std::to_string(report.appended) + " comandos importados";
    if (report.withoutCard > 0) text += "; " + withoutCardText(report.withoutCard);
    return text;
}

}  // namespace kvr::library
