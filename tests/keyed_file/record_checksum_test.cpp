// Records whose bytes changed in the storage since the engine wrote them
// (a flipped bit on the disk, a field changed by hand): every read of such
// a record reports damage (KeyedSystemError) instead of delivering it, by
// number, in key order and through a view's page, while the other records
// still read; the next open checks the file in full.
#include "keyed_files.h"
#include "sqlite_sql.h"
#include "keyed_file/keyed_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace kvr::keyed;
using kvr::testing::Engine;
using kvr::testing::KeyedFiles;

namespace {

using Image = std::vector<unsigned char>;

std::string fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A record with every field set, the hot key to its last byte (so that the
// store keeps all of its bytes).
Image fullRecord(const std::string &card, char fill) {
    Image r = kvr::testing::commandRecord(card, std::string("command of ") + card);
    for (std::size_t i = 40; i < 52; ++i) r[i] = static_cast<unsigned char>("0AB00010000E"[i - 40]);
    for (std::size_t i = 52; i < 180; ++i) r[i] = static_cast<unsigned char>(fill + i % 7);
    for (std::size_t i = 180; i < 184; ++i) r[i] = static_cast<unsigned char>(i - 179);
    return r;
}

class RecordChecksumTest : public ::testing::TestWithParam<Engine>, protected KeyedFiles {
protected:
    RecordChecksumTest() : KeyedFiles(GetParam()) {}

    // Changes one byte of the record's field in the storage, behind the
    // engine's back; undo() puts it back.
    void flip(const std::string &fileName, const Image &record, std::uint32_t recordNumber, const KeyedField &field,
              std::size_t at) {
        if (onSqlite()) {
            const std::string path = fileName + ".tps";
            std::string bytes = fileBytes(path);
            const std::string image(record.begin(), record.end());
            const std::size_t where = bytes.find(image);
            ASSERT_NE(where, std::string::npos);
            ASSERT_EQ(bytes.find(image, where + 1), std::string::npos) << "the record's bytes twice in the file";
            bytes[where + at] = static_cast<char>(bytes[where + at] ^ 0x01);
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
            return;
        }
        const std::string column = field.name;
        const std::string change = field.kind == KeyedField::Kind::Int32
                                       ? column + " = " + column + " # 1"
                                       : column + " = overlay(" + column + " placing chr(ascii(substr(" + column +
                                             ", " + std::to_string(at - field.offset + 1) + ", 1)) # 1) from " +
                                             std::to_string(at - field.offset + 1) + " for 1)";
        const std::string table = fileName.substr(fileName.rfind('/') + 1);
        ASSERT_EQ(kvr::testing::PostgresServer::sql(database, "UPDATE " + table + " SET " + change +
                                                                  " WHERE recno = " + std::to_string(recordNumber) +
                                                                  " RETURNING 'changed'"),
                  "changed");
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, RecordChecksumTest, kvr::testing::kEngines, kvr::testing::engineName);

TEST_P(RecordChecksumTest, AByteChangedInAnyFieldIsDamageAtEveryReadAndTheOtherRecordsStillRead) {
    const std::vector<Image> records = {fullRecord("alpha", 'a'), fullRecord("beta", 'k'), fullRecord("gamma", 'u')};
    for (const KeyedField &field : layout.fields) {
        SCOPED_TRACE(field.name);
        // A file of its own for each field (on PostgreSQL, a table).
        const std::string fileName = folder.file("c" + field.name);
        auto made = keyed(fileName);
        ASSERT_EQ(made->create(), 0);
        ASSERT_EQ(made->open(0x42), 0);
        for (const Image &r : records) {
            made->buffer() = r;
            ASSERT_EQ(made->add(), 0);
        }
        made->close();
        // The field's first byte (a letter of the card one step on: the
        // record keeps its place in key order).
        ASSERT_NO_FATAL_FAILURE(flip(fileName, records[1], 2, field, field.offset));

        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round == 0 ? "the first open" : "the next open, after the damage was met");
            auto f = keyed(fileName);
            ASSERT_EQ(f->open(0x42), 0) << f->lastError().text();
            EXPECT_EQ(f->readByNumber(2), KeyedSystemError);
            for (std::uint32_t n : {1u, 3u}) {
                ASSERT_EQ(f->readByNumber(n), 0);
                EXPECT_EQ(f->buffer(), records[n - 1]);
            }
            // In key order: the step onto it, and the other records.
            ASSERT_EQ(f->setFromKey("beta"), 0);
            EXPECT_EQ(f->next(), KeyedSystemError);
            ASSERT_EQ(f->setFromKey("gamma"), 0);
            ASSERT_EQ(f->next(), 0);
            EXPECT_EQ(f->buffer(), records[2]);
            ASSERT_EQ(f->setStart(), 0);
            ASSERT_EQ(f->next(), 0);
            EXPECT_EQ(f->buffer(), records[0]);
            EXPECT_EQ(f->next(), KeyedSystemError);
            // A view's page ends before it, with the damage.
            KeyedView view(*f);
            ASSERT_EQ(view.open(), 0);
            ASSERT_EQ(view.setStart(), 0);
            std::vector<ViewRecord> rows;
            EXPECT_EQ(view.read(ViewDirection::Forward, 20, rows), KeyedSystemError);
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0].data, records[0]);
            rows.clear();
            ASSERT_EQ(view.setEnd(), 0);
            EXPECT_EQ(view.read(ViewDirection::Backward, 20, rows), KeyedSystemError);
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0].data, records[2]);
            view.close();
            f->close();
            // The damage met keeps the file from passing for sound: its next
            // open checks it in full (and finds the record again).
            if (onSqlite()) {
                const std::string header = fileBytes(fileName + ".tps").substr(24, 4);
                std::uint32_t counter = 0;
                for (unsigned char c : header) counter = counter << 8 | c;
                EXPECT_NE(kvr::testing::sqliteValue(fileName + ".tps", "SELECT stamp FROM keyed_check"),
                          std::to_string(counter));
            }
        }
    }
}

// A team library of before the checksums reads as it is when opened for
// reading; its first open for writing gives every row its checksum in one
// transaction, after which a field changed by hand is damage.
TEST(TeamLibraryChecksumTest, ATableOfBeforeGetsItsChecksumsAtItsFirstOpenForWriting) {
    KeyedFiles files(Engine::Postgres);
    const auto sql = [&](const std::string &text) { return kvr::testing::PostgresServer::sql(files.database, text); };
    const std::vector<Image> records = {fullRecord("alpha", 'a'), fullRecord("beta", 'k'), fullRecord("gamma", 'u')};
    {
        auto f = files.keyed();
        ASSERT_EQ(f->create(), 0);
        ASSERT_EQ(f->open(0x42), 0);
        for (const Image &r : records) {
            f->buffer() = r;
            ASSERT_EQ(f->add(), 0);
        }
    }
    ASSERT_EQ(sql("ALTER TABLE commands DROP COLUMN crc; UPDATE kvr_keyed_files SET schema_version = 1"), "");
    const auto readsAll = [&](int mode) {
        auto f = files.keyed();
        ASSERT_EQ(f->open(mode), 0) << f->lastError().text();
        for (std::uint32_t n = 1; n <= records.size(); ++n) {
            ASSERT_EQ(f->readByNumber(n), 0);
            EXPECT_EQ(f->buffer(), records[n - 1]);
        }
    };
    readsAll(0x40);
    EXPECT_EQ(sql("SELECT schema_version FROM kvr_keyed_files"), "1");
    readsAll(0x42);
    EXPECT_EQ(sql("SELECT schema_version FROM kvr_keyed_files"), "2");
    EXPECT_EQ(sql("SELECT count(*) FROM commands WHERE crc IS NULL"), "0");
    ASSERT_EQ(sql("UPDATE commands SET data = 'changed' WHERE recno = 3 RETURNING 'x'"), "x");
    auto f = files.keyed();
    ASSERT_EQ(f->open(0x40), 0);
    EXPECT_EQ(f->readByNumber(3), KeyedSystemError);
    EXPECT_NE(f->lastError().driverText.find("does not match its checksum"), std::string::npos);
    ASSERT_EQ(f->readByNumber(1), 0);
}

}  // namespace
