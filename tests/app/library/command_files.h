// Test support: command files made and read straight through the keyed-file
// engine, records as their 184 bytes.
#ifndef KVR_TESTS_COMMAND_FILES_H
#define KVR_TESTS_COMMAND_FILES_H

#include "library/commands_file.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/store_choice.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace kvr::testing {

using RecordBytes = std::string;  // 184 bytes

// A command whose every field says which one it is: the card "c<n/5>" (five
// commands a card), the name "command <n>", data that differs in each.
inline RecordBytes numberedCommand(int n, const std::string &card = {}) {
    library::Commands c = library::blankCommands();
    char text[32];
    std::snprintf(text, sizeof text, "c%05d", n / 5);
    library::setField(c.card, card.empty() ? std::string(text) : card);
    library::setField(c.name, "command " + std::to_string(n));
    library::setField(c.frsCode, "A1");
    library::setField(c.frsCla, "00");
    library::setField(c.frsIns, "B0");
    std::snprintf(text, sizeof text, "%02X", n % 256);
    library::setField(c.frsP1, text);
    library::setField(c.frsP2, "??");
    library::setField(c.frsP3, "S2");
    library::setField(c.data, std::string(static_cast<std::size_t>(n % 120), 'D') + std::to_string(n));
    c.hotKey = n % 7 == 0 ? 0x270 + n % 12 : 0;
    const auto bytes = library::packCommands(c);
    return RecordBytes(bytes.begin(), bytes.end());
}

// SQLite's file change counter of the command file at path: it moves with
// every write transaction, so an unchanged counter means nothing was written.
inline std::uint32_t fileChanges(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char b[4] = {};
    in.seekg(24);
    in.read(reinterpret_cast<char *>(b), 4);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// Creates a command file holding the records, added in the order given, in
// one transaction.  False when the engine refused.
inline bool writeCommandFile(const std::string &path, const std::vector<RecordBytes> &records) {
    keyed::KeyedFile file(library::commandsLayout(), path, kvr::keyed::makeKeyedStore({}, library::commandsLayout()));
    if (file.create() != 0 || file.open(keyed::KeyedFile::kModeSharedReadWrite) != 0) return false;
    if (file.beginTransaction() != 0) return false;
    for (const RecordBytes &r : records) {
        file.buffer().assign(r.begin(), r.end());
        if (file.add() != 0) return false;
    }
    return file.commit() == 0 && file.close() == 0;
}

// The records of an open file in key order (none when it is not open).
inline std::vector<RecordBytes> inKeyOrder(keyed::KeyedFile &file) {
    std::vector<RecordBytes> records;
    if (file.setStart() != 0) return records;
    while (file.next() == 0) records.emplace_back(file.buffer().begin(), file.buffer().end());
    return records;
}

// The records of a command file in key order (opened shared for the time).
inline std::vector<RecordBytes> inKeyOrder(const std::string &path) {
    keyed::KeyedFile file(library::commandsLayout(), path, kvr::keyed::makeKeyedStore({}, library::commandsLayout()));
    if (file.open(keyed::KeyedFile::kModeSharedReadWrite) != 0) return {};
    return inKeyOrder(file);
}

}  // namespace kvr::testing

#endif
