#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/standard_warnings.h"
#include "peer_process.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <filesystem>

using namespace kvr::library;
using namespace kvr::runtime;
using kvr::testing::InFolder;
using kvr::testing::Peer;
using kvr::testing::runPeer;
using kvr::testing::ScratchFolder;
using kvr::testing::WarningRecorder;

namespace {

TEST(CommandsRecord, PacksToTheFixedLayout) {
    Commands c;
    clearCommands(c);
    setField(c.card, "Visa");
    setField(c.name, "Read binary");
    setField(c.frsCode, "A1");
    setField(c.frsCla, "00");
    setField(c.frsIns, "B0");
    setField(c.frsP1, "??");
    setField(c.frsP2, "0");
    setField(c.frsP3, "S2");
    setField(c.data, "?3F00");
    c.hotKey = 0x01020304;
    auto bytes = packCommands(c);
    const std::string text(bytes.begin(), bytes.begin() + 180);
    EXPECT_EQ(text.substr(0, 10), "Visa      ");
    EXPECT_EQ(text.substr(10, 30), "Read binary" + std::string(19, ' '));
    EXPECT_EQ(text.substr(40, 12), "A100B0??0 S2");
    EXPECT_EQ(text.substr(52, 128), "?3F00" + std::string(123, ' '));
    EXPECT_EQ(bytes[180], 0x04);
    EXPECT_EQ(bytes[181], 0x03);
    EXPECT_EQ(bytes[182], 0x02);
    EXPECT_EQ(bytes[183], 0x01);

    Commands back;
    unpackCommands(bytes.data(), back);
    EXPECT_TRUE(sameCommands(c, back));
    EXPECT_EQ(fieldText(back.name), "Read binary");
    EXPECT_EQ(fieldText(back.frsP2), "0");
    EXPECT_EQ(back.hotKey, 0x01020304);

    c.hotKey = -2;
    bytes = packCommands(c);
    EXPECT_EQ(bytes[180], 0xFE);
    EXPECT_EQ(bytes[183], 0xFF);
    unpackCommands(bytes.data(), back);
    EXPECT_EQ(back.hotKey, -2);
    setField(c.card, "a card name longer than ten");
    EXPECT_EQ(fieldText(c.card), "a card nam");
    setField(c.card, "  ");
    EXPECT_EQ(fieldText(c.card), "");
}

class CommandsFileTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    InFolder inFolder{folder.path()};
    WarningRecorder recorder;
    std::string path = (std::filesystem::path(folder.path()) / "COMMANDS.tps").string();
    CommandsLibrary library;

    void SetUp() override {
        library.openCommands();
        ASSERT_TRUE(library.commandsFile().isOpen());
    }

    std::uint32_t addCommand(const std::string &card, const std::string &name) {
        clearCommands(library.commandsRecord());
        setField(library.commandsRecord().card, card);
        setField(library.commandsRecord().name, name);
        EXPECT_EQ(library.commandsFile().add(), 0);
        return library.commandsFile().recordNumber();
    }

    std::string storedName(std::uint32_t recno) {
        if (library.commandsFile().readByNumber(recno) != 0) return "<gone>";
        return fieldText(library.commandsRecord().name);
    }

    void watchedRead(std::uint32_t recno) {
        library.commandsFile().watch();
        ASSERT_EQ(library.commandsFile().readByNumber(recno), 0);
    }
};

TEST_F(CommandsFileTest, UseCountOpensOnceAndClosesWithTheLastUser) {
    EXPECT_EQ(library.useCount(), 1);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(recorder.boxes.empty());
    addCommand("kept", "across opens");
    library.openCommands();
    EXPECT_EQ(library.useCount(), 2);
    library.closeCommands();
    EXPECT_EQ(library.useCount(), 1);
    EXPECT_TRUE(library.commandsFile().isOpen());
    library.closeCommands();
    EXPECT_EQ(library.useCount(), 0);
    EXPECT_FALSE(library.commandsFile().isOpen());
    library.closeCommands();
    EXPECT_EQ(library.useCount(), 0);
    // Opened again through the same steps: the file is found, not created anew.
    library.openCommands();
    EXPECT_TRUE(library.commandsFile().isOpen());
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(library.commandsFile().records(), 1);
}

TEST_F(CommandsFileTest, ReadsFillTheRecordBufferAndImportCopiesWholeRecords) {
    addCommand("visa", "select");
    addCommand("", "hidden");
    addCommand("Amex", "verify");
    std::vector<std::string> names;
    library.commandsFile().setStart();
    while (library.commandsFile().next() == 0) names.push_back(fieldText(library.commandsRecord().name));
    EXPECT_EQ(names, (std::vector<std::string>{"verify", "select"}));

    // The import twin reads another file of this program by its name.
    library.closeCommands();
    library.setImportFileName(path);
    ASSERT_EQ(library.importFile().open(0x22), 0);
    EXPECT_EQ(library.importFile().name(), path);
    ASSERT_EQ(library.importFile().next(), 0);
    EXPECT_EQ(fieldText(library.importRecord().name), "verify");
    library.importFile().close();
    library.setImportFileName(std::string(200, 'x'));
    EXPECT_EQ(library.importFileName().size(), 128u);
    library.openCommands();
}

TEST_F(CommandsFileTest, UpdateWritesTheWatchedRecord) {
    auto recno = addCommand("visa", "select");
    watchedRead(recno);
    setField(library.commandsRecord().name, "select MF");
    EXPECT_EQ(library.updateCommandsRecord(true), WriteResult::Written);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_FALSE(library.commandsFile().inTransaction());
    EXPECT_EQ(storedName(recno), "select MF");
    EXPECT_FALSE(library.updatePosition().empty());
}

TEST_F(CommandsFileTest, UpdateOverAnotherProcessesChangeIsRefusedAndShowsTheirs) {
    auto recno = addCommand("visa", "select");
    for (bool fromForm : {true, false}) {
        SCOPED_TRACE(fromForm);
        recorder.boxes.clear();
        watchedRead(recno);
        const std::string theirs = fromForm ? "theirs 1" : "theirs 2";
        ASSERT_EQ(runPeer({"put", path, std::to_string(recno), "VISA", theirs}), "0");
        setField(library.commandsRecord().name, "mine");
        EXPECT_EQ(library.updateCommandsRecord(fromForm), WriteResult::ChangedByAnotherStation);
        ASSERT_EQ(recorder.boxes.size(), 1u);
        if (fromForm) {
            EXPECT_EQ(recorder.boxes[0].caption, "Record Was Not Updated");
        } else {
            EXPECT_EQ(recorder.boxes[0].caption, "Update Operation Error");
            EXPECT_EQ(recorder.boxes[0].text, "This record was changed by another station.");
        }
        // The buffer holds their record; nothing of ours was written.
        EXPECT_EQ(fieldText(library.commandsRecord().name), theirs);
        EXPECT_EQ(fieldText(library.commandsRecord().card), "VISA");
        EXPECT_FALSE(library.commandsFile().inTransaction());
        // Watched again: a second update goes through.
        setField(library.commandsRecord().name, "mine after all");
        EXPECT_EQ(library.updateCommandsRecord(fromForm), WriteResult::Written);
        EXPECT_EQ(storedName(recno), "mine after all");
    }
}

TEST_F(CommandsFileTest, UpdateOfARecordDeletedMeanwhileFails) {
    auto recno = addCommand("visa", "select");
    ASSERT_EQ(library.commandsFile().readByNumber(recno), 0);  // not watched
    ASSERT_EQ(runPeer({"delete", path, std::to_string(recno)}), "0");
    setField(library.commandsRecord().name, "mine");
    EXPECT_EQ(library.updateCommandsRecord(true), WriteResult::Failed);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "An error (Record Not Found (35)) was experienced when attempting to update a "
                                      "record from the file.  Probable Cause: Commands.");
    EXPECT_EQ(library.commandsFile().records(), 0);
}

TEST_F(CommandsFileTest, DeleteRemovesTheCurrentRecord) {
    addCommand("a", "first");
    auto recno = addCommand("b", "second");
    addCommand("c", "third");
    watchedRead(recno);
    EXPECT_EQ(library.deleteCommandsRecord(), WriteResult::Written);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(storedName(recno), "<gone>");
    EXPECT_EQ(library.commandsFile().records(), 2);

    // A record another process deleted meanwhile: warning 17, Failed.
    auto other = addCommand("d", "fourth");
    ASSERT_EQ(runPeer({"delete", path, std::to_string(other)}), "0");
    EXPECT_EQ(library.deleteCommandsRecord(), WriteResult::Failed);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "An error (Record Not Found (35)) was experienced when attempting to delete a "
                                      "record from the file Commands.");
    EXPECT_FALSE(library.commandsFile().inTransaction());
}

TEST_F(CommandsFileTest, UpdateAndDeleteGiveUpAfterTwoSecondsWhileAnotherProcessWrites) {
    auto recno = addCommand("visa", "select");
    struct Case {
        const char *what;
        std::function<WriteResult()> run;
        std::string text;
    };
    const Case cases[] = {
        {"update",
         [this] { return library.updateCommandsRecord(true); },
         "Error: (File Is Already Locked (32)) attempting to frame the update transaction on Commands.  Update "
         "transaction cancelled."},
        {"delete",
         [this] { return library.deleteCommandsRecord(); },
         "Error: (File Is Already Locked (32)) attempting to frame the delete transaction on Commands.  Delete "
         "transaction cancelled."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        recorder.boxes.clear();
        watchedRead(recno);
        setField(library.commandsRecord().name, "mine");
        Peer peer({"hold-transaction", path, "3000"});
        ASSERT_EQ(peer.readLine(), "ready");
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.run(), WriteResult::Failed);
        auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(1900));
        EXPECT_LE(waited, std::chrono::milliseconds(2900));
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, c.text);
        EXPECT_EQ(recorder.boxes[0].caption, "Transaction Framing Error");
        peer.wait();
        EXPECT_EQ(storedName(recno), "select");
    }
}

TEST_F(CommandsFileTest, CommitThatCannotFinishIsReportedAndWritesNothing) {
    auto recno = addCommand("visa", "select");
    struct Case {
        const char *what;
        std::function<WriteResult()> run;
        std::string text;
    };
    const Case cases[] = {
        {"update",
         [this] { return library.updateCommandsRecord(true); },
         "An error (File Is Already Locked (32)) was experienced when attempting to update a record from the file.  "
         "Probable Cause: Commands."},
        {"delete",
         [this] { return library.deleteCommandsRecord(); },
         "An error (File Is Already Locked (32)) was experienced when attempting to delete a record from the file "
         "Commands."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        recorder.boxes.clear();
        watchedRead(recno);
        setField(library.commandsRecord().name, "mine");
        // Another process keeps reading through the whole commit time-out.
        Peer reader({"hold-read", path, "4000"});
        ASSERT_EQ(reader.readLine(), "ready");
        EXPECT_EQ(c.run(), WriteResult::Failed);
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, c.text);
        EXPECT_FALSE(library.commandsFile().inTransaction());
        reader.kill();
        reader.wait();
        EXPECT_EQ(storedName(recno), "select");
    }
}

TEST_F(CommandsFileTest, SavingAgainAfterACommitThatCouldNotFinishGoesThrough) {
    // The form answers "try to save again?" with Yes: the same record buffer
    // is written once more, with no new read in between.
    struct Case {
        const char *what;
        std::function<WriteResult()> run;
    };
    const Case cases[] = {
        {"update", [this] { return library.updateCommandsRecord(true); }},
        {"delete", [this] { return library.deleteCommandsRecord(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto recno = addCommand("visa", "select");
        recorder.boxes.clear();
        watchedRead(recno);
        setField(library.commandsRecord().name, "mine");
        {
            Peer reader({"hold-read", path, "4000"});
            ASSERT_EQ(reader.readLine(), "ready");
            ASSERT_EQ(c.run(), WriteResult::Failed);
            reader.kill();
            reader.wait();
        }
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(c.run(), WriteResult::Written);
        EXPECT_EQ(recorder.boxes.size(), 1u) << recorder.boxes.back().text;
        EXPECT_EQ(storedName(recno), std::string(c.what) == "update" ? "mine" : "<gone>");
    }
}

TEST_F(CommandsFileTest, SaveFileErrorRollsBackTheOpenTransaction) {
    addCommand("a", "kept");
    ASSERT_EQ(library.commandsFile().beginTransaction(2000), 0);
    addCommand("b", "dropped");
    EXPECT_EQ(library.commandsFile().beginTransaction(2000), KeyedTransactionActive);
    library.warnings().saveFileError();
    EXPECT_EQ(library.warnings().savedFileError().code, KeyedTransactionActive);
    EXPECT_FALSE(library.commandsFile().inTransaction());
    EXPECT_EQ(library.commandsFile().records(), 1);
}

}  // namespace
