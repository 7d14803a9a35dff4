// The round trips the team library's operations cost, counted on the proxy
// between the store and its server: a distant server makes each one cost
// what a local one costs in a whole operation, so that none may creep back.
#include "cutting_proxy.h"
#include "keyed_files.h"
#include "keyed_file/keyed_view.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kvr::keyed;
using kvr::testing::commandRecord;
using kvr::testing::CuttingProxy;
using kvr::testing::Engine;
using kvr::testing::KeyedFiles;

namespace {

class RoundTripsTest : public ::testing::Test, protected KeyedFiles {
protected:
    RoundTripsTest() : KeyedFiles(Engine::Postgres) {}

    std::unique_ptr<KeyedFile> throughProxy() const {
        return std::make_unique<KeyedFile>(
            layout, name, makeKeyedStore(proxy.conninfo(kvr::testing::databaseNameOf(database)), layout));
    }

    CuttingProxy proxy{kvr::testing::serverSocketOf(database)};
};

// prefix and n (append: g++ 12 warns wrongly of "text" + std::string).
std::string numberedText(const char *prefix, int n) { return std::string(prefix).append(std::to_string(n)); }

std::vector<std::vector<unsigned char>> numbered(int from, int count) {
    std::vector<std::vector<unsigned char>> records;
    for (int i = from; i < from + count; ++i)
        records.push_back(commandRecord(numberedText("card", i % 97), numberedText("c", i)));
    return records;
}

TEST_F(RoundTripsTest, EachOperationCostsAFixedFewRoundTripsWhateverItsSize) {
    std::vector<std::pair<std::string, std::string>> records;
    for (int i = 0; i < 300; ++i) records.emplace_back(numberedText("card", i % 31), numberedText("c", i));
    makeFile(records);
    struct Case {
        const char *what;
        bool opened;  // the operation runs on a file opened before
        std::function<void(KeyedFile &)> operation;
        int most;  // round trips
    };
    const Case cases[] = {
        // The handshake, the start-up, one batch of the look at the schema,
        // the rights and the sharing locks.
        {"an open for writing", false, [](KeyedFile &f) { ASSERT_EQ(f.open(0x42), 0); }, 3},
        {"an open for reading only", false, [](KeyedFile &f) { ASSERT_EQ(f.open(0x40), 0); }, 3},
        {"a browser page", true,
         [](KeyedFile &f) {
             KeyedView view(f);
             ASSERT_EQ(view.open(), 0);
             std::vector<ViewRecord> rows;
             ASSERT_EQ(view.read(ViewDirection::Forward, 20, rows), 0);
             ASSERT_EQ(rows.size(), 20u);
         },
         1},
        // Pages of 20, 40, 80 and 128 records: one a page, whatever its size.
        {"268 steps of the key cursor", true,
         [](KeyedFile &f) {
             ASSERT_EQ(f.setStart(), 0);
             for (int i = 0; i < 268; ++i) ASSERT_EQ(f.next(), 0) << i;
         },
         4},
        {"a read of 200 records in key order and a count of the rest", true,
         [](KeyedFile &f) {
             std::vector<StoredRecord> records;
             ASSERT_EQ(f.readKeyOrder(std::nullopt, false, Direction::Forward, 200, records), 0);
             ASSERT_EQ(records.size(), 200u);
             std::int64_t rest = 0;
             ASSERT_EQ(f.countKeyOrder(KeyPlace{*records.back().key, records.back().recordNumber}, std::nullopt, rest),
                       0);
             ASSERT_GE(rest, 100);
         },
         2},
        {"a record read by its number", true, [](KeyedFile &f) { ASSERT_EQ(f.readByNumber(7), 0); }, 1},
        // The record read, BEGIN with the record's lock, the two groups'
        // adds (a group of 250, then the 750 the import reads while that
        // one's answer travels over a distant link), the commit.
        {"an import batch of 1,000 records in a group of 250 and one of 750", true,
         [](KeyedFile &f) {
             ASSERT_EQ(f.readByNumber(1), 0);
             ASSERT_EQ(f.beginTransaction(2000), 0);
             std::vector<int> codes;
             f.sendAdds(numbered(1000, 250));
             ASSERT_EQ(f.receiveAdds(codes), 0);
             ASSERT_EQ(codes, std::vector<int>(250, 0));
             f.sendAdds(numbered(1250, 750));
             ASSERT_EQ(f.receiveAdds(codes), 0);
             ASSERT_EQ(codes, std::vector<int>(750, 0));
             ASSERT_EQ(f.commit(), 0);
         },
         5},
        // The record read, BEGIN with its lock, the put with its savepoint,
        // the commit.
        {"a put in a transaction", true,
         [](KeyedFile &f) {
             ASSERT_EQ(f.readByNumber(3), 0);
             ASSERT_EQ(f.beginTransaction(2000), 0);
             f.buffer() = commandRecord("put", "3");
             ASSERT_EQ(f.put(), 0);
             ASSERT_EQ(f.commit(), 0);
         },
         4},
        {"an add alone", true,
         [](KeyedFile &f) {
             f.buffer() = commandRecord("alone", "1");
             ASSERT_EQ(f.add(), 0);
         },
         3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto f = throughProxy();
        if (c.opened) {
            ASSERT_EQ(f->open(0x42), 0);
        }
        // The first use of a statement on the session costs no more than the next.
        for (int time = 0; time < (c.opened ? 2 : 1); ++time) {
            const int before = proxy.roundTrips();
            c.operation(*f);
            EXPECT_LE(proxy.roundTrips() - before, c.most) << "time " << time + 1;
            EXPECT_GT(proxy.roundTrips() - before, 0) << "time " << time + 1;
        }
    }
}

}  // namespace
