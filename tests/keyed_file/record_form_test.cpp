// Records of SQLite keyed files kept without their blank tails: every record
// reads back byte for byte from a file of either form; a file that keeps its
// records whole (as files made before did) is read as it is when opened for
// reading, and turned by its first open for writing; a kill during the turn
// leaves a file that opens and reads whole.
#include "sqlite_sql.h"
#include "keyed_files.h"
#include "older_forms.h"
#include "keyed_file/key_value.h"
#include "keyed_file/keyed_file.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace kvr::keyed;
using kvr::testing::Engine;
using kvr::testing::KeyedFiles;
using kvr::testing::Peer;

namespace {

using Image = std::vector<unsigned char>;

// A command record: card, name and data text, the hot key's four bytes.
Image commandImage(const std::string &card, const std::string &name, const std::string &data,
                   std::array<unsigned char, 4> hotKey) {
    Image image(184, ' ');
    std::copy(card.begin(), card.end(), image.begin());
    std::copy(name.begin(), name.end(), image.begin() + 10);
    std::copy(data.begin(), data.end(), image.begin() + 52);
    std::copy(hotKey.begin(), hotKey.end(), image.begin() + 180);
    return image;
}

constexpr std::array<unsigned char, 4> kNoHotKey{0, 0, 0, 0};

// Runs SQL on the file with a connection of its own (which rolls back a
// write a killed process left); the first column of the first row.
std::string sql(const std::string &path, const std::string &text) { return kvr::testing::sqliteValue(path, text); }

std::string fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t changeCounter(const std::string &path) { return kvr::testing::headerChangeCounter(path); }

// A file as the engine made it before records lost their blank tails (its
// records table declared as given).
void makeWholeImageFile(const std::string &path, const std::vector<Image> &records, bool stamped,
                        const std::string &recordsTable = kvr::testing::kWholeImageTable) {
    kvr::testing::makeOlderFormFile(path, records, 1, stamped, recordsTable);
}

// The record numbers in key order.
std::vector<std::uint32_t> keyOrder(KeyedFile &f) {
    std::vector<std::uint32_t> numbers;
    if (f.setStart() != 0) return numbers;
    while (f.next() == 0) numbers.push_back(f.recordNumber());
    return numbers;
}

// What key order must be for records numbered from 1: key value, then number.
std::vector<std::uint32_t> expectedKeyOrder(const std::vector<Image> &records) {
    std::vector<std::pair<std::string, std::uint32_t>> keyed;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (auto key = keyValueOf(std::string_view(reinterpret_cast<const char *>(records[i].data()), 10), 10))
            keyed.push_back({*key, static_cast<std::uint32_t>(i + 1)});
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::uint32_t> numbers;
    for (const auto &k : keyed) numbers.push_back(k.second);
    return numbers;
}

class RecordFormTest : public ::testing::Test, protected KeyedFiles {
protected:
    RecordFormTest() : KeyedFiles(Engine::Sqlite) {}

    // Every record by number and the key order, through the engine.
    void expectRecords(int mode, const std::vector<Image> &records) {
        auto f = keyed();
        ASSERT_EQ(f->open(mode), 0) << f->lastError().text();
        for (std::size_t i = 0; i < records.size(); ++i) {
            ASSERT_EQ(f->readByNumber(static_cast<std::uint32_t>(i + 1)), 0) << "record " << i + 1;
            EXPECT_EQ(f->buffer(), records[i]) << "record " << i + 1;
        }
        EXPECT_EQ(keyOrder(*f), expectedKeyOrder(records));
        f->close();
    }
};

struct Row {
    const char *what;
    Image image;
    int kept;  // bytes the file keeps of it
};

TEST_F(RecordFormTest, RecordsReadBackByteForByteWhetherKeptWholeOrWithoutTheirBlankTails) {
    const std::string full(128, 'F');
    const std::vector<Row> rows = {
        {"data ending in spaces, no hot key", commandImage("Alpha", "read binary", "00B0000010", kNoHotKey), 62},
        {"the layout's blank record (out of the key)", commandImage("", "", "", kNoHotKey), 0},
        {"every byte a space (the hot key too)", Image(184, ' '), 184},
        {"a hot key in its last byte", commandImage("beta", "x", "", {0, 0, 0, 1}), 184},
        {"a hot key in its first byte", commandImage("beta", "y", "", {0x70, 0, 0, 0}), 181},
        {"a hot key of spaces then zeros", commandImage("gamma", "z", "", {' ', ' ', 0, 0}), 182},
        {"a data field full to its end", commandImage("delta", "w", full, kNoHotKey), 180},
        {"NUL bytes ending the data text", commandImage("\xC9tat", "v", std::string("AB\0\0", 4), kNoHotKey), 56},
        {"only the card", commandImage("alpha", "", "", kNoHotKey), 5},
    };
    std::vector<Image> records;
    for (const Row &row : rows) records.push_back(row.image);
    const auto keptLengths = [&] {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].what);
            EXPECT_EQ(sql(path, "SELECT length(data) FROM records WHERE recno = " + std::to_string(i + 1)),
                      std::to_string(rows[i].kept));
        }
    };
    // Made before: not stamped, so that every open checks it in full.
    makeWholeImageFile(path, records, false);

    // Opened for reading: read as it is, and left as it is to the byte.
    const std::string before = fileBytes(path);
    expectRecords(0x40, records);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(sql(path, "PRAGMA user_version"), "1");

    // Opened for writing: turned once, then every record reads the same;
    // the turn and the compaction that follows it are stamped as the
    // engine's own writes (the next open does not walk the file).
    expectRecords(0x42, records);
    EXPECT_EQ(sql(path, "PRAGMA user_version"), "3");
    EXPECT_EQ(sql(path, "SELECT stamp FROM keyed_check"), std::to_string(changeCounter(path)));
    EXPECT_EQ(sql(path, "SELECT sql FROM sqlite_master WHERE name = 'records'"),
              "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB, version INTEGER NOT NULL,"
              " data BLOB NOT NULL CHECK (length(data) <= 184), crc INTEGER NOT NULL)");
    EXPECT_EQ(sql(path, "SELECT count(*) FROM records WHERE crc IS NULL"), "0");
    EXPECT_EQ(sql(path, "SELECT seq FROM sqlite_sequence WHERE name = 'records'"), std::to_string(records.size()));
    EXPECT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
    const std::string blank = sql(path, "SELECT hex(blank) FROM keyed_layout");
    std::string spacesThenZeros;  // text fields, then the hot key
    for (int i = 0; i < 180; ++i) spacesThenZeros += "20";
    EXPECT_EQ(blank, spacesThenZeros + "00000000");
    keptLengths();
    expectRecords(0x40, records);

    // In the new form: the same records added, and changed into one another
    // (each record's put the next one's bytes), read back the same after a
    // full check at open.
    {
        auto f = keyed();
        ASSERT_EQ(f->open(0x42), 0);
        for (const Image &image : records) {
            f->buffer() = image;
            ASSERT_EQ(f->add(), 0);
        }
        for (std::size_t i = 0; i < records.size(); ++i) {
            ASSERT_EQ(f->readByNumber(static_cast<std::uint32_t>(records.size() + i + 1)), 0);
            f->buffer() = records[(i + 1) % records.size()];
            ASSERT_EQ(f->put(), 0);
        }
        f->close();
    }
    std::vector<Image> both = records;
    for (std::size_t i = 0; i < records.size(); ++i) both.push_back(records[(i + 1) % records.size()]);
    sql(path, "UPDATE keyed_check SET stamp = -1");  // as if another program had written
    expectRecords(0x42, both);
    keptLengths();
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(sql(path, "SELECT length(data) FROM records WHERE recno = " + std::to_string(rows.size() + i + 1)),
                  std::to_string(rows[(i + 1) % rows.size()].kept));

    // The full check reads the key against the kept bytes: a wrong key is
    // found, and rebuilt from them.
    sql(path,
        "DROP INDEX records_by_key; UPDATE records SET key = CAST('ALPHA     ' AS BLOB) WHERE recno = 2;"
        " CREATE INDEX records_by_key ON records(key, recno) WHERE key IS NOT NULL");
    {
        auto f = keyed();
        EXPECT_EQ(f->open(0x42), KeyedRebuildKeys);
        ASSERT_EQ(f->buildKeys(), 0);
    }
    expectRecords(0x42, both);

    // A later form is not a file this engine can read; a blank record other
    // than the layout's is damage (the records cannot be made whole).
    struct Foreign {
        std::string change, undo;
        int code;
    };
    const Foreign foreign[] = {{"PRAGMA user_version = 4", "PRAGMA user_version = 3", KeyedBadDeclaration},
                               {"UPDATE keyed_layout SET blank = zeroblob(184)",
                                "UPDATE keyed_layout SET blank = X'" + blank + "'", KeyedSystemError}};
    for (const Foreign &f : foreign) {
        SCOPED_TRACE(f.change);
        sql(path, f.change);
        auto file = keyed();
        EXPECT_EQ(file->open(0x40), f.code);
        sql(path, f.undo);
    }
    expectRecords(0x40, both);
}

// A process opening the file for writing is killed at many moments around
// the turn: each time the file opens, holds every record whole (the turn
// rolled back as a whole, or done), and the next open for writing turns it.
TEST_F(RecordFormTest, AKillDuringTheTurnLeavesTheFileWhole) {
    std::vector<Image> records;
    for (int i = 0; i < 3000; ++i)
        records.push_back(commandImage(std::string("c").append(std::to_string(i % 97)),
                                       std::string("command ").append(std::to_string(i)),
                                       std::string(static_cast<std::size_t>(i % 40), 'D'), kNoHotKey));
    const std::string made = folder.file("MADE.tps");
    makeWholeImageFile(made, records, true);
    using Clock = std::chrono::steady_clock;

    // How long a process takes to start, open and turn the file, and to
    // start and open it once turned: the turn is the difference (starting a
    // process may take most of the time, under Wine far more than the turn).
    std::filesystem::copy_file(made, path);
    const auto timedOpen = [&] {
        const auto start = Clock::now();
        Peer opener({"hold-open", path, "0x42", "0"});
        EXPECT_EQ(opener.readLine(), "ready");
        const Clock::duration took = Clock::now() - start;
        opener.wait();
        return took;
    };
    const Clock::duration whole = timedOpen();
    ASSERT_EQ(sql(path, "PRAGMA user_version"), "3");
    const Clock::duration started = std::min(timedOpen(), whole);
    ASSERT_FALSE(HasFailure());

    // Killed at moments from a little before the turn can begin to the
    // end of the whole open, closer together early on, where the turn is
    // (the compaction follows it); some kills cut a turn short (they leave
    // the journal of a write, and the file is back in the old form).
    int cutShort = 0;
    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::filesystem::remove(path);
        std::filesystem::copy_file(made, path);
        {
            Peer opener({"hold-open", path, "0x42", "60000"});
            const Clock::duration early = started * 3 / 4;
            std::this_thread::sleep_for(early + (whole - early) * (round * round) / ((kRounds - 1) * (kRounds - 1)));
            opener.kill();
            opener.wait();
        }
        const bool journal = std::filesystem::exists(path + "-journal");
        const std::string version = sql(path, "PRAGMA user_version");  // rolls a cut-off write back
        ASSERT_TRUE(version == "1" || version == "3") << version;
        if (journal && version == "1") ++cutShort;
        EXPECT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
        expectRecords(0x40, records);
        ASSERT_FALSE(HasFailure());
    }
    RecordProperty("kills_that_cut_the_turn_short", cutShort);
    EXPECT_GT(cutShort, 0) << "no kill met the turn";
    expectRecords(0x42, records);
    EXPECT_EQ(sql(path, "PRAGMA user_version"), "3");
}

// A file whose records table another program declared, even one that
// reads the same columns, is refused at every open (for reading and for
// writing) and left to the byte, journal and folder included: the engine
// turns only what it wrote itself.
TEST_F(RecordFormTest, ATableDeclaredOtherwiseIsRefusedAndLeftByteForByte) {
    const std::vector<Image> records = {commandImage("Alpha", "read binary", "00B0000010", kNoHotKey),
                                        commandImage("beta", "select", "A40000022F00", {0, 0, 0, 7})};
    struct Declared {
        const char *what;
        std::string table;
    };
    const Declared rows[] = {
        {"the columns in another order",
         "CREATE TABLE records(data BLOB NOT NULL CHECK (length(data) = 184), version INTEGER NOT NULL, key BLOB,"
         " recno INTEGER PRIMARY KEY AUTOINCREMENT);"},
        {"a column more",
         "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
         " version INTEGER NOT NULL, data BLOB NOT NULL CHECK (length(data) = 184), note TEXT);"},
        {"the bytes as text",
         "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
         " version INTEGER NOT NULL, data TEXT NOT NULL CHECK (length(data) = 184));"},
        {"no size check",
         "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
         " version INTEGER NOT NULL, data BLOB NOT NULL);"},
        {"numbers that may be given again",
         "CREATE TABLE records(recno INTEGER PRIMARY KEY, key BLOB,"
         " version INTEGER NOT NULL, data BLOB NOT NULL CHECK (length(data) = 184));"},
        {"the change counter may be missing",
         "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
         " version INTEGER, data BLOB NOT NULL CHECK (length(data) = 184));"},
    };
    const auto listing = [this] {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const Declared &row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(path);
        makeWholeImageFile(path, records, false, row.table);
        ASSERT_FALSE(HasFailure());
        const std::string before = fileBytes(path);
        const std::vector<std::string> names = listing();
        for (int mode : {0x40, 0x42, 0x22}) {
            auto f = keyed();
            EXPECT_EQ(f->open(mode), KeyedBadDeclaration) << "mode " << mode;
        }
        EXPECT_EQ(fileBytes(path), before);
        EXPECT_EQ(listing(), names);
    }

    // The current form's declaration with a checksum that may be missing.
    std::filesystem::remove(path);
    makeWholeImageFile(path, records, false);
    expectRecords(0x42, records);
    sql(path,
        "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'crc INTEGER NOT NULL',"
        " 'crc INTEGER') WHERE name = 'records'; PRAGMA writable_schema = RESET");
    ASSERT_EQ(sql(path, "SELECT count(*) FROM pragma_table_info('records') WHERE name = 'crc' AND \"notnull\" = 0"),
              "1");
    const std::string before = fileBytes(path);
    for (int mode : {0x40, 0x42}) {
        auto f = keyed();
        EXPECT_EQ(f->open(mode), KeyedBadDeclaration) << "mode " << mode;
    }
    EXPECT_EQ(fileBytes(path), before);
}

// A file of the form before checksums reads as it is (no check of its
// bytes) when opened for reading, left to the byte; its first open for
// writing gives every record its checksum, and from then on a changed byte
// is damage.
TEST_F(RecordFormTest, AFileWithoutChecksumsIsReadAsItIsAndGetsThemAtItsFirstOpenForWriting) {
    std::vector<Image> records;
    for (int i = 0; i < 50; ++i)
        records.push_back(commandImage("card" + std::to_string(i % 7), "command " + std::to_string(i),
                                       std::string(static_cast<std::size_t>(i), 'D'), {0, 0, 0, 0}));
    records.push_back(commandImage("zeta", "", "", {1, 2, 3, 4}));
    kvr::testing::makeOlderFormFile(path, records, 2, true);
    const std::string before = fileBytes(path);
    expectRecords(0x40, records);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));

    expectRecords(0x42, records);
    EXPECT_EQ(sql(path, "PRAGMA user_version"), "3");
    EXPECT_EQ(sql(path, "SELECT stamp FROM keyed_check"), std::to_string(changeCounter(path)));
    EXPECT_EQ(sql(path, "SELECT count(*) FROM records WHERE crc IS NULL"), "0");
    EXPECT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
    // Kept as before: without the blank tails.
    EXPECT_EQ(sql(path, "SELECT length(data) FROM records WHERE recno = 1"), "19");
    sql(path, "UPDATE records SET data = CAST('CARD0' AS BLOB) || substr(data, 6) WHERE recno = 1");
    auto f = keyed();
    ASSERT_EQ(f->open(0x40), 0);
    EXPECT_EQ(f->readByNumber(1), KeyedSystemError);
    ASSERT_EQ(f->readByNumber(2), 0);
    EXPECT_EQ(f->buffer(), records[1]);
}

}  // namespace
