#include "commands_file.h"

#include "open_keyed_file.h"
#include "standard_warnings.h"

#include <algorithm>

namespace kvr::library {

namespace {

constexpr std::size_t kImportNameWidth = 128;
constexpr std::size_t kPositionWidth = 512;
constexpr int kTransactionTimeoutMs = 2000;

// The text fields of a record and where each stands in its 184 bytes; the
// hot key follows them as a little-endian 32-bit value.
template <class Record, class Visit>
void forEachTextField(Record &r, Visit visit) {
    visit(r.card, 0);
    visit(r.name, 10);
    visit(r.frsCode, 40);
    visit(r.frsCla, 42);
    visit(r.frsIns, 44);
    visit(r.frsP1, 46);
    visit(r.frsP2, 48);
    visit(r.frsP3, 50);
    visit(r.data, 52);
}
constexpr std::size_t kHotKeyOffset = 180;

runtime::RecordBinding bindingFor(Commands &record) {
    return {[&record](const unsigned char *bytes) { unpackCommands(bytes, record); },
            [&record](unsigned char *bytes) { packCommands(record, bytes); }};
}

std::string &importName() {
    static std::string instance;
    return instance;
}

}  // namespace

std::int32_t CommandsUseCount = 0;

void clearCommands(Commands &record) {
    std::memset(&record, ' ', sizeof record);
    record.hotKey = 0;
}

void packCommands(const Commands &r, unsigned char *bytes) {
    forEachTextField(r, [bytes](const auto &field, std::size_t offset) {
        std::memcpy(bytes + offset, field, sizeof field);
    });
    auto hot = static_cast<std::uint32_t>(r.hotKey);
    for (int i = 0; i < 4; ++i) bytes[kHotKeyOffset + i] = static_cast<unsigned char>(hot >> (8 * i));
}

void unpackCommands(const unsigned char *bytes, Commands &r) {
    forEachTextField(r, [bytes](auto &field, std::size_t offset) {
        std::memcpy(field, bytes + offset, sizeof field);
    });
    std::uint32_t hot = 0;
    for (int i = 0; i < 4; ++i) hot |= static_cast<std::uint32_t>(bytes[kHotKeyOffset + i]) << (8 * i);
    r.hotKey = static_cast<std::int32_t>(hot);
}

std::array<unsigned char, kCommandsRecordSize> packCommands(const Commands &record) {
    std::array<unsigned char, kCommandsRecordSize> bytes{};
    packCommands(record, bytes.data());
    return bytes;
}

bool sameCommands(const Commands &a, const Commands &b) { return packCommands(a) == packCommands(b); }

namespace {

Commands blankCommands() {
    Commands r;
    clearCommands(r);
    return r;
}

}  // namespace

runtime::KeyedLayout commandsLayout() { return {"COMMANDS", kCommandsRecordSize, kCardOffset, kCardWidth}; }

Commands &commandsRecord() {
    static Commands instance = blankCommands();
    return instance;
}

runtime::KeyedFile &commandsFile() {
    static runtime::KeyedFile instance(commandsLayout(), "COMMANDS");
    static const bool bound = [] {
        instance.bind(bindingFor(commandsRecord()));
        return true;
    }();
    (void)bound;
    return instance;
}

Commands &importRecord() {
    static Commands instance = blankCommands();
    return instance;
}

const std::string &importFileName() { return importName(); }

void setImportFileName(std::string_view name) {
    importName() = std::string(name.substr(0, std::min(name.size(), kImportNameWidth)));
}

runtime::KeyedFile &importFile() {
    static runtime::KeyedFile instance(commandsLayout(), "");
    static bool bound = [] {
        instance.bind(bindingFor(importRecord()));
        return true;
    }();
    (void)bound;
    if (!instance.isOpen()) {
        std::string name = importName();
        auto end = name.find_last_not_of(' ');
        instance.setName(end == std::string::npos ? std::string{} : name.substr(0, end + 1));
    }
    return instance;
}

void openCommandsFile() {
    if (CommandsUseCount == 0) OpenKeyedFile(commandsFile(), 0, true, true);
    ++CommandsUseCount;
}

void closeCommandsFile() {
    if (CommandsUseCount <= 0) return;  // a close without its open changes nothing
    --CommandsUseCount;
    if (CommandsUseCount == 0) commandsFile().close();
}

std::string &updatePosition() {
    static std::string instance;
    return instance;
}

std::int32_t UpdateCommandsRecord(bool fromForm) {
    runtime::KeyedFile &file = commandsFile();
    if (file.beginTransaction(kTransactionTimeoutMs) != runtime::KeyedOk) {
        SaveFileError();
        RaiseWarning(34, "Update", "Commands");
        return 1;
    }
    updatePosition() = file.position().substr(0, kPositionWidth);
    if (file.put() == runtime::KeyedOk) {
        if (file.commit() == runtime::KeyedOk) return 0;
        // The commit itself failed: nothing was written, so say so.
        SaveFileError();
        RaiseWarning(15, "Commands");
        return 1;
    }
    SaveFileError();
    if (savedFileError().code == runtime::KeyedChanged) {
        if (fromForm) RaiseWarning(38);
        else RaiseWarning(15, "Record Changed by Another Station");
        file.watch();
        file.readByPosition(updatePosition());
        return 2;
    }
    RaiseWarning(15, "Commands");
    return 1;
}

std::int32_t DeleteCommandsRecord() {
    runtime::KeyedFile &file = commandsFile();
    const std::string kept = file.position().substr(0, kPositionWidth);
    if (file.beginTransaction(kTransactionTimeoutMs) != runtime::KeyedOk) {
        SaveFileError();
        RaiseWarning(34, "Delete", "Commands");
        return 1;
    }
    if (file.readByPosition(kept) != runtime::KeyedOk || file.remove() != runtime::KeyedOk) {
        SaveFileError();
        RaiseWarning(17, "Commands");
        return 1;
    }
    if (file.commit() != runtime::KeyedOk) {
        SaveFileError();
        RaiseWarning(17, "Commands");
        return 1;
    }
    return 0;
}

}  // namespace kvr::library
