// What a build of the stored-command menus reads of a real COMMANDS file:
// the menus it plans are those a read of the whole key order gives, while
// the records it reads stay within what the menus show and the rest is
// counted, however long the file.
#include "command_files.h"
#include "console/stored_command_reads.h"
#include "forwarding_store.h"
#include "peer_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace kvr::console {

using namespace session;
namespace {

using testing::RecordBytes;

// Key codes name a key by their low 11 bits here.
std::optional<uint64_t> testKey(uint32_t code) { return code & 0x7FF; }

// The rows a build of before read: the whole key order, step by step.
std::vector<StoredCommandRow> wholeKeyOrder(keyed::KeyedFile &file) {
    std::vector<StoredCommandRow> rows;
    library::Commands record{};
    EXPECT_EQ(file.setStart(), 0);
    while (file.next() == 0) {
        library::unpackCommands(file.buffer().data(), record);
        rows.push_back(
            {std::string(record.card, 10), std::string(record.name, 30), record.hotKey, file.recordNumber()});
    }
    return rows;
}

auto itemsOf(const std::vector<PlannedItem> &items) {
    std::vector<std::tuple<int, int32_t, int32_t, std::string, uint32_t, uint32_t>> list;
    for (const PlannedItem &i : items)
        list.emplace_back(static_cast<int>(i.kind), i.number, i.menuNumber, i.text, i.keyCode, i.recordNumber);
    return list;
}

// `count` records from `first` on, under the card, or under cards of five
// commands ("c<n/5>") when none is given.
std::vector<RecordBytes> commands(int first, int count, const std::string &card = {}) {
    std::vector<RecordBytes> records;
    for (int n = first; n < first + count; ++n) records.push_back(testing::numberedCommand(n, card));
    return records;
}

std::vector<RecordBytes> joined(std::initializer_list<std::vector<RecordBytes>> parts) {
    std::vector<RecordBytes> all;
    for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(StoredCommandReads, TheMenusOfTheWholeKeyOrderFromWhatTheyShowAndOneCountAMenu) {
    struct Shape {
        const char *name;
        std::vector<RecordBytes> records;
        std::size_t countsAtMost;
    };
    const Shape shapes[] = {
        {"a file the menus take whole, SAM cards in mixed letter case",
         joined({commands(0, 20, "EMV"), commands(20, 5, "Sam1"), commands(25, 5, "SAM1"), commands(30, 10)}), 1},
        {"100,000 records before 1,500 SAM records and 500 after them",
         joined({commands(0, 100000), commands(100000, 700, "SAM2"), commands(100700, 800, "sam3"),
                 commands(101500, 500, "Zulu")}),
         2},
        {"the first records end among the SAM cards",
         joined({commands(0, 300, "ABC"), commands(300, 800, "SAM"), commands(1100, 2000, "XYZ")}), 2},
        {"more SAM records at the start than the SAM menu takes",
         joined({commands(0, 1200, "SAM"), commands(1200, 50, "TAIL")}), 2},
    };
    const std::vector<uint32_t> fixedKeys{0x71};
    for (const Shape &shape : shapes) {
        SCOPED_TRACE(shape.name);
        testing::ScratchFolder folder;
        const std::string path = folder.file("COMMANDS.tps");
        ASSERT_TRUE(testing::writeCommandFile(path, shape.records));
        testing::StoreTally tally;
        keyed::KeyedFile file(library::commandsLayout(), path,
                              std::make_unique<testing::CountingStore>(library::commandsLayout(), tally));
        ASSERT_EQ(file.open(keyed::KeyedFile::kModeSharedReadWrite), 0);
        const StoredCommandPlan whole = planStoredCommandMenus(wholeKeyOrder(file), fixedKeys, testKey);

        tally = {};
        StoredCommandRows rows;
        ASSERT_EQ(readStoredCommandRows(file, rows), 0);
        const StoredCommandPlan plan = planStoredCommandRows(rows, fixedKeys, testKey);
        EXPECT_EQ(itemsOf(plan.items), itemsOf(whole.items));
        EXPECT_EQ(plan.lastEntryNumber, whole.lastEntryNumber);
        EXPECT_EQ(plan.commandsNotShown, whole.commandsNotShown);
        EXPECT_EQ(plan.hotKeysTaken, whole.hotKeysTaken);
        EXPECT_EQ(itemsOf(plan.samItems), itemsOf(whole.samItems));
        EXPECT_EQ(plan.lastSamEntryNumber, whole.lastSamEntryNumber);
        EXPECT_EQ(plan.samCommandsNotShown, whole.samCommandsNotShown);

        const std::size_t shown = plan.items.size() + plan.samItems.size();
        EXPECT_LE(tally.recordsRead, shown);
        EXPECT_LE(tally.counts, shape.countsAtMost);
    }
}

// A store without a count of its own: the engine's default counts by reading
// pages, and the menus come out the same.
class PagedCountStore final : public testing::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;
    KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                              std::int64_t &records) override {
        return KeyedStore::countKeyOrder(after, below, records);
    }
};

TEST(StoredCommandReads, AStoreWithoutACountOfItsOwnGivesTheSameMenus) {
    testing::ScratchFolder folder;
    const std::string path = folder.file("COMMANDS.tps");
    ASSERT_TRUE(testing::writeCommandFile(
        path, joined({commands(0, 300, "ABC"), commands(300, 2500, "SAM"), commands(2800, 2200, "XYZ")})));
    keyed::KeyedFile file(library::commandsLayout(), path,
                          std::make_unique<PagedCountStore>(library::commandsLayout()));
    ASSERT_EQ(file.open(keyed::KeyedFile::kModeSharedReadWrite), 0);
    const StoredCommandPlan whole = planStoredCommandMenus(wholeKeyOrder(file), {}, testKey);
    StoredCommandRows rows;
    ASSERT_EQ(readStoredCommandRows(file, rows), 0);
    const StoredCommandPlan plan = planStoredCommandRows(rows, {}, testKey);
    EXPECT_EQ(itemsOf(plan.items), itemsOf(whole.items));
    EXPECT_EQ(plan.commandsNotShown, whole.commandsNotShown);
    EXPECT_EQ(itemsOf(plan.samItems), itemsOf(whole.samItems));
    EXPECT_EQ(plan.samCommandsNotShown, whole.samCommandsNotShown);
    // "&Tarjeta": ABC and its 300, SAM and 697 of its commands; "&SAM": SAM
    // and 998 of them.
    EXPECT_EQ(plan.commandsNotShown, 5000u - 300u - 697u);
    EXPECT_EQ(plan.samCommandsNotShown, 2500u - 998u);
}

}  // namespace
}  // namespace kvr::console
