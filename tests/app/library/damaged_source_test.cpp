// Damaged command files: copies of a sound 300-record file, damaged by the
// test itself in the ways a disk, a copy or another program damages one.
// Whatever a copy holds, opening it reports the damage (KeyedRebuildKeys, and the rebuilt
// file holds every record; or KeyedSystemError), or it opens and every read in key order
// ends within as many steps as the file has records, delivering every
// record or stopping with KeyedSystemError (after which the next open reports the
// damage); and an import from it ends and appends at most what it holds.
#include "sqlite_sql.h"
#include "command_files.h"
#include "library/command_import.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "peer_process.h"
#include "keyed_file/keyed_view.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kvr::library {
namespace {

using keyed::KeyedFile;
using testing::numberedCommand;
using testing::RecordBytes;

constexpr int kRecords = 300;

// Runs SQL text on the file with a connection of its own; the first column
// of the first row.
std::string sql(const std::string &path, const std::string &text) { return kvr::testing::sqliteValue(path, text); }

// Makes the last write look like the engine's own, so that opening trusts
// the file and only the checks of every open and the reads can find what
// the write did.
void stampAsOwn(const std::string &path) {
    const std::uint32_t counter = testing::fileChanges(path);
    sql(path, "UPDATE keyed_check SET stamp = " + std::to_string(counter + 1));
}

void sqlStampedAsOwn(const std::string &path, const std::vector<std::string> &steps) {
    for (const std::string &step : steps) sql(path, step);
    stampAsOwn(path);
}

std::string bytesOf(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Damage {
    std::string what;
    std::function<void(const std::string &path)> apply;
};

std::vector<Damage> damages() {
    const std::string indexSql = "CREATE INDEX records_by_key ON records(key, recno) WHERE key IS NOT NULL";
    std::vector<Damage> list{
        {"a record number beyond 32 bits",
         [](const std::string &p) { sqlStampedAsOwn(p, {"UPDATE records SET recno = 4294967301 WHERE recno = 150"}); }},
        {"a negative record number",
         [](const std::string &p) { sqlStampedAsOwn(p, {"UPDATE records SET recno = -7 WHERE recno = 150"}); }},
        {"an index entry missing",
         [indexSql](const std::string &p) {
             sqlStampedAsOwn(p, {"PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = '" + indexSql +
                                     " AND 0' WHERE name = 'records_by_key';",
                                 "INSERT INTO records(key, version, data, crc) SELECT key, 1, data, crc"
                                 " FROM records WHERE recno = 77;",
                                 "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = '" + indexSql +
                                     "' WHERE name = 'records_by_key';"});
         }},
        {"a record's key field changed behind the key",
         [](const std::string &p) {
             std::string bytes = bytesOf(p);
             // The record's name is in its bytes only; its card lies 10
             // bytes before.
             const std::size_t name = bytes.find("command 150 ");
             ASSERT_NE(name, std::string::npos);
             bytes[name - 10] ^= 0x02;
             writeBytes(p, bytes);
         }},
        {"the file cut short",
         [](const std::string &p) { std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2); }},
    };
    return list;
}

class DamagedSourceTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    testing::WarningRecorder recorder;
    CommandsLibrary library{recorder};
    CommandsUse mainWindow{library};
    const std::string sound = folder.file("SOUND.tps");

    void SetUp() override {
        std::vector<RecordBytes> records;
        // Added in scattered order, so that key order and record order differ.
        for (int n = 0; n < kRecords; ++n) records.push_back(numberedCommand(n * 7 % kRecords));
        ASSERT_TRUE(testing::writeCommandFile(sound, records));
        mainWindow.acquire();
    }

    std::string copyOf(const std::string &name) {
        const std::string copy = folder.file(name + ".tps");
        std::filesystem::copy_file(sound, copy, std::filesystem::copy_options::overwrite_existing);
        return copy;
    }

    // Reads the open file in key order; records delivered and the last code.
    struct Read {
        int delivered = 0;
        int code = 0;
    };
    enum class How { Forward, Backward, ForwardReadingBack, Pages };
    static Read readAll(KeyedFile &f, How how) {
        Read read;
        const std::int64_t bound = kRecords + 2;  // the table holds at most 301
        if (how == How::Pages) {
            keyed::KeyedView view(f);
            EXPECT_EQ(view.open(), 0);
            std::vector<keyed::ViewRecord> rows;
            while ((read.code = view.read(keyed::ViewDirection::Forward, 20, rows)) == 0 &&
                   static_cast<std::int64_t>(rows.size()) <= bound) {}
            read.delivered = static_cast<int>(rows.size());
            if (read.code == keyed::KeyedNotAvailable && read.delivered > 0) read.code = 0;
            return read;
        }
        EXPECT_EQ(how == How::Backward ? f.setEnd() : f.setStart(), 0);
        for (; read.delivered <= bound; ++read.delivered) {
            read.code = how == How::Backward ? f.previous() : f.next();
            if (read.code != 0) break;
            if (how == How::ForwardReadingBack) {
                const std::string position = f.position();
                if (int code = f.readByPosition(position); code != 0) {
                    read.code = code;
                    break;
                }
            }
        }
        if (read.code == keyed::KeyedNotAvailable) read.code = 0;
        return read;
    }

    // Opens the copy as the import opens its source and reads it every way.
    void checkOpenAndReads(const std::string &copy) {
        // What the table holds (a damaged table may not be counted at all).
        const std::string counted = sql(copy, "SELECT count(*) FROM records NOT INDEXED");
        const std::int64_t held = std::max<std::int64_t>(kRecords, counted.empty() ? 0 : std::stoll(counted));
        KeyedFile f(commandsLayout(), copy, kvr::keyed::makeKeyedStore({}, commandsLayout()));
        const int opened = f.open(keyed::access::kDenyWrite | keyed::access::kReadOnly);
        ASSERT_TRUE(opened == 0 || opened == keyed::KeyedRebuildKeys || opened == keyed::KeyedSystemError) << opened;
        if (opened == keyed::KeyedRebuildKeys) {
            // The records are whole: the rebuilt key holds every one.
            ASSERT_EQ(f.buildKeys(), 0);
            ASSERT_EQ(f.open(keyed::KeyedFile::kModeSharedReadWrite), 0);
            EXPECT_EQ(readAll(f, How::Forward).delivered, f.records());
            EXPECT_EQ(sql(copy, "PRAGMA integrity_check"), "ok");
            return;
        }
        if (opened != 0) return;
        bool damageFound = false;
        for (How how : {How::Forward, How::Backward, How::ForwardReadingBack, How::Pages}) {
            SCOPED_TRACE(static_cast<int>(how));
            const Read read = readAll(f, how);
            EXPECT_LE(read.delivered, held) << "no read takes more steps than the file has records";
            if (read.code == 0) {
                EXPECT_EQ(read.delivered, held) << "a read that ends delivers every record";
            } else {
                EXPECT_EQ(read.code, keyed::KeyedSystemError);
                damageFound = true;
            }
        }
        f.close();
        if (damageFound) {
            // The next open checks the file in full: it reports the damage,
            // or (records whose bytes no longer match their checksums, the
            // rest of the file sound) opens it, and every read that met the
            // damage still meets it.
            const int again = f.open(keyed::KeyedFile::kModeSharedReadWrite);
            EXPECT_TRUE(again == 0 || again == keyed::KeyedRebuildKeys || again == keyed::KeyedSystemError)
                << "damage a read found is reported by the next open, not " << again;
            if (again == 0) {
                bool stillFound = false;
                for (How how : {How::Forward, How::Backward, How::ForwardReadingBack, How::Pages})
                    stillFound = stillFound || readAll(f, how).code == keyed::KeyedSystemError;
                EXPECT_TRUE(stillFound) << "the damage is not read as a record after the next open";
            }
        }
    }

    void checkImport(const std::string &copy) {
        const std::int64_t before = library.commandsFile().records();
        library.setImportFileName(copy);
        const ImportResult result = importCommandFile(library);
        const std::int64_t added = library.commandsFile().records() - before;
        EXPECT_EQ(added, result.report.appended) << "the report tells what was appended";
        EXPECT_LE(result.report.appended, kRecords + 1) << "never more than the source holds";
        if (!result.openError && !result.report.clean()) {
            EXPECT_NE(result.report.firstError, "");
        }
    }
};

TEST_F(DamagedSourceTest, EveryReadEndsAndNoRecordIsHiddenOrDoubled) {
    std::vector<Damage> list = damages();
    // A bit flipped in every page of the file, among the cells at its end
    // and in its header.
    const std::uintmax_t pageSize = 4096, pages = std::filesystem::file_size(sound) / pageSize;
    for (std::uintmax_t page = 0; page < pages; ++page)
        for (std::uintmax_t at : {pageSize - 150, std::uintmax_t{page == 0 ? 100u + 3 : 3}})
            list.push_back({"a bit flipped in page " + std::to_string(page + 1) + " at " + std::to_string(at),
                            [offset = page * pageSize + at](const std::string &p) {
                                std::string bytes = bytesOf(p);
                                bytes[offset] ^= 0x10;
                                writeBytes(p, bytes);
                            }});
    int copies = 0;
    for (const Damage &damage : list) {
        SCOPED_TRACE(damage.what);
        const std::string read = copyOf("READ" + std::to_string(copies)),
                          imported = copyOf("IMPORT" + std::to_string(copies));
        ++copies;
        damage.apply(read);
        damage.apply(imported);
        checkOpenAndReads(read);
        checkImport(imported);
    }
    EXPECT_GT(copies, 20);
}

}  // namespace
}  // namespace kvr::library
