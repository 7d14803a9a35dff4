// The key cursor's read-ahead, the rule both stores step by: pages of a
// browser page, then twice as much while the cursor goes on, up to a limit;
// read anew when the cursor is set elsewhere or the records no longer hold;
// the records before damage delivered first.
#include "keyed_file/read_ahead.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace kvr::keyed;

namespace {

// A key order of n records ("k0001", 1) ... read forward from a place, one
// record of it damaged when asked; the pages read are noted by their size.
struct KeyOrder {
    int records = 0;
    int damagedAt = 0;  // record number, 0: none
    std::vector<std::size_t> reads;

    PageRead read(const std::optional<KeyPlace> &from, std::size_t size, std::vector<StoredRecord> &out) {
        reads.push_back(size);
        for (int n = from ? static_cast<int>(from->recordNumber) + 1 : 1; n <= records && out.size() < size; ++n) {
            if (n == damagedAt) return {KeyedStatus::of(KeyedSystemError)};
            StoredRecord &r = out.emplace_back();
            r.recordNumber = static_cast<std::uint32_t>(n);
            std::string key(1, 'k');
            key += std::to_string(10000 + n);
            r.key = std::move(key);
        }
        return {};
    }
};

struct Walk {
    std::vector<int> codes;  // of each step
    std::vector<std::size_t> reads;
    std::uint32_t last = 0;  // record delivered last
};

// steps from the start, going on from the record delivered last; after
// setAgainAt steps the cursor is set again at that record (a new place).
Walk walk(KeyOrder order, int steps, bool stillGood = true, int setAgainAt = -1) {
    ReadAhead ahead;
    Walk w;
    std::optional<KeyPlace> place;
    for (int i = 0; i < steps; ++i) {
        if (i == setAgainAt) ahead.forget();
        StoredRecord record;
        const KeyedStatus status = ahead.step(
            place, Direction::Forward, [&] { return stillGood; },
            [&](std::size_t size, std::vector<StoredRecord> &records) { return order.read(place, size, records); },
            record);
        w.codes.push_back(status.code);
        if (status.ok()) {
            place = KeyPlace{*record.key, record.recordNumber};
            w.last = record.recordNumber;
        }
    }
    w.reads = order.reads;
    return w;
}

TEST(ReadAheadTest, TheCursorReadsPagesThatGrowWhileItGoesOnAndAnewWhenTheyNoLongerHold) {
    struct Case {
        const char *what;
        int records;
        int damagedAt;
        int steps;
        bool stillGood;
        int setAgainAt;
        std::vector<std::size_t> reads;
        std::uint32_t last;
        int lastCode;
    };
    const Case cases[] = {
        {"a browser page, then twice as much up to 128", 1000, 0, 400, true, -1, {20, 40, 80, 128, 128, 128}, 400, 0},
        {"the end of the key order is not read again", 30, 0, 33, true, -1, {20, 40}, 30, KeyedNotAvailable},
        {"records that no longer hold are read anew, a page at a time",
         1000,
         0,
         5,
         false,
         -1,
         {20, 20, 20, 20, 20},
         5,
         0},
        {"a cursor set again starts with a browser page", 1000, 0, 30, true, 25, {20, 40, 20}, 30, 0},
        // Each step after the damage's page reads again, until the one that
        // reaches the damage.
        {"the records before damage are delivered, the damage then",
         1000,
         25,
         25,
         true,
         -1,
         {20, 40, 20, 20, 20, 20},
         24,
         KeyedSystemError},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        KeyOrder order;
        order.records = c.records;
        order.damagedAt = c.damagedAt;
        const Walk w = walk(order, c.steps, c.stillGood, c.setAgainAt);
        EXPECT_EQ(w.reads, c.reads);
        EXPECT_EQ(w.last, c.last);
        EXPECT_EQ(w.codes.back(), c.lastCode);
        for (std::size_t i = 0; i + 1 < w.codes.size() && w.codes[i + 1] == 0; ++i) EXPECT_EQ(w.codes[i], 0) << i;
    }
}

TEST(ReadAheadTest, APageThatIsNotDeliveredGivesItsFailureAndAPageNotKeptIsReadAgain) {
    ReadAhead ahead;
    StoredRecord record;
    int reads = 0;
    const auto page = [&](PageRead given) {
        return [&, given](std::size_t, std::vector<StoredRecord> &records) {
            ++reads;
            records.resize(2);
            records[0].key = std::string(1, 'a');
            records[0].recordNumber = 1;
            records[1].key = std::string(1, 'b');
            records[1].recordNumber = 2;
            return given;
        };
    };
    const auto always = [] { return true; };
    EXPECT_EQ(ahead
                  .step(std::nullopt, Direction::Forward, always,
                        page({KeyedStatus::of(KeyedSystemError), false, true}), record)
                  .code,
              KeyedSystemError);
    EXPECT_EQ(record.recordNumber, 0u) << "nothing delivered";
    ASSERT_TRUE(
        ahead.step(std::nullopt, Direction::Forward, always, page({KeyedStatus::success(), true, false}), record).ok());
    EXPECT_EQ(record.recordNumber, 1u);
    ASSERT_TRUE(ahead.step(KeyPlace{std::string(1, 'a'), 1}, Direction::Forward, always, page({}), record).ok());
    EXPECT_EQ(reads, 3) << "the page not kept was read again";
}

}  // namespace
