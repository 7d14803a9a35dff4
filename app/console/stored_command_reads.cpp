#include "console/stored_command_reads.h"

#include "session/hex_codec.h"
#include "library/commands_file.h"

#include <algorithm>

namespace kvr::console {

using namespace session;

namespace {

// The SAM card groups' stretch of the key: key values (upper case) from
// "SAM" up to, not including, "SAN".
const std::string kSamKey = "SAM";
const std::string kAfterSamKeys = "SAN";

template <std::size_t N>
std::string raw(const char (&field)[N]) {
    return std::string(field, N);
}

StoredCommandRow rowOf(const keyed::StoredRecord &record) {
    library::Commands command{};
    library::unpackCommands(record.data.data(), command);
    return {raw(command.card), raw(command.name), command.hotKey, record.recordNumber};
}

keyed::KeyPlace placeOf(const keyed::StoredRecord &record) {
    return {record.key.value_or(std::string()), record.recordNumber};
}

void appendRows(const std::vector<keyed::StoredRecord> &records, std::vector<StoredCommandRow> &rows) {
    for (const keyed::StoredRecord &record : records) rows.push_back(rowOf(record));
}

void keepSamRows(const std::vector<StoredCommandRow> &rows, std::vector<StoredCommandRow> &samRows) {
    for (const StoredCommandRow &row : rows)
        if (isSamCard(trimRight(row.card))) samRows.push_back(row);
}

// The SAM card groups beyond the first records read, which ended at last:
// counted up to the end of their stretch, then as many read as the menu
// takes.
int readSamRowsBeyond(keyed::KeyedFile &file, const keyed::KeyPlace &last, StoredCommandRows &rows) {
    const keyed::KeyPlace from = last.key < kSamKey ? keyed::KeyPlace{kSamKey, 0} : last;
    std::int64_t beyond = 0;
    if (int code = file.countKeyOrder(from, kAfterSamKeys, beyond)) return code;
    const std::size_t room = kStoredRowsRead - std::min(kStoredRowsRead, rows.samRows.size());
    const std::size_t wanted = std::min(room, static_cast<std::size_t>(std::max<std::int64_t>(beyond, 0)));
    std::vector<keyed::StoredRecord> records;
    const int code =
        wanted == 0 ? keyed::KeyedOk : file.readKeyOrder(from, false, keyed::Direction::Forward, wanted, records);
    appendRows(records, rows.samRows);
    rows.samRowsNotRead = static_cast<std::size_t>(beyond) - records.size();
    return code == keyed::KeyedNotAvailable ? keyed::KeyedOk : code;
}

}  // namespace

int readStoredCommandRows(keyed::KeyedFile &file, StoredCommandRows &rows) {
    rows = {};
    const std::uint64_t mark = file.changeMark();
    std::vector<keyed::StoredRecord> records;
    int code = file.readKeyOrder(std::nullopt, false, keyed::Direction::Forward, kStoredRowsRead, records);
    appendRows(records, rows.rows);
    keepSamRows(rows.rows, rows.samRows);
    if (code == keyed::KeyedNotAvailable) code = keyed::KeyedOk;
    if (code != keyed::KeyedOk) return code;
    if (records.size() < kStoredRowsRead) {
        // The whole key order in one read: it holds as many records as the
        // store counts in the key, or the file is damaged.
        code = file.wholeReadEnded(static_cast<std::int64_t>(records.size()), mark);
        return code == keyed::KeyedNotAvailable ? keyed::KeyedOk : code;
    }
    const keyed::KeyPlace last = placeOf(records.back());
    std::int64_t rest = 0;
    if ((code = file.countKeyOrder(last, std::nullopt, rest))) return code;
    rows.rowsNotRead = static_cast<std::size_t>(std::max<std::int64_t>(rest, 0));
    if (last.key >= kAfterSamKeys) return keyed::KeyedOk;  // every SAM group was read
    return readSamRowsBeyond(file, last, rows);
}

}  // namespace kvr::console
