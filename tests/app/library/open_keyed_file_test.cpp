#include "engines.h"
#include "library/commands_file.h"
#include "library/open_keyed_file.h"
#include "library/standard_warnings.h"
#include "older_forms.h"
#include "peer_process.h"
#include "postgres_environment.h"
#include "keyed_file/store_choice.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvr::library;
using namespace kvr::keyed;
using namespace kvr::runtime;
using kvr::testing::Engine;
using kvr::testing::InFolder;
using kvr::testing::Peer;
using kvr::testing::ProgramEnded;
using kvr::testing::ScratchFolder;
using kvr::testing::WarningRecorder;

namespace {

void runSql(const std::string &path, const char *text) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, text, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

class OpenKeyedFileTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    InFolder inFolder{folder.path()};
    WarningRecorder recorder;
    Warnings warnings{recorder};
    KeyedFile file{commandsLayout(), "COMMANDS", kvr::keyed::makeKeyedStore({}, commandsLayout())};

    void makeFile(int records) {
        KeyedFile f(commandsLayout(), "COMMANDS", kvr::keyed::makeKeyedStore({}, commandsLayout()));
        ASSERT_EQ(f.create(), 0);
        ASSERT_EQ(f.open(0x42), 0);
        for (int i = 0; i < records; ++i) {
            Commands c;
            clearCommands(c);
            setField(c.card, "card" + std::to_string(i % 3));
            setField(c.name, "command " + std::to_string(i));
            packCommands(c, f.buffer().data());
            ASSERT_EQ(f.add(), 0);
        }
    }

    // Runs openKeyedFile; returns the end-of-program text, "" when it returned.
    std::string open(int mode = 0, bool shared = true) {
        try {
            openKeyedFile(warnings, file, mode, true, shared);
        } catch (const ProgramEnded &end) {
            return end.text;
        }
        return {};
    }
};

TEST_F(OpenKeyedFileTest, MissingFileIsCreatedSilently) {
    EXPECT_EQ(open(), "");
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_TRUE(file.isOpen());
    EXPECT_FALSE(file.readOnly());
    EXPECT_TRUE(std::filesystem::exists("COMMANDS.tps"));
    EXPECT_EQ(file.records(), 0);
    // Already open in this process: returns at once.
    EXPECT_EQ(open(), "");
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(OpenKeyedFileTest, CreationThatFailsEndsTheProgram) {
    file.setName("no-such-folder/COMMANDS");
    EXPECT_EQ(open(), "File Creation Error!");
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text,
              "Error: (File Not Found (2)) creating no-such-folder/COMMANDS.  Press OK to end this application.");
    EXPECT_EQ(recorder.boxes[1].caption, "Halt");
}

TEST_F(OpenKeyedFileTest, DamagedKeyAnsweredYesIsRebuilt) {
    makeFile(7);
    // The index lost, and the count table the key's check relies on lost.
    for (const char *damage : {"PRAGMA writable_schema = ON; DELETE FROM sqlite_master WHERE name = 'records_by_key';",
                               "DROP TABLE keyed_count;"}) {
        SCOPED_TRACE(damage);
        recorder.boxes.clear();
        if (file.isOpen()) file.close();
        runSql("COMMANDS.tps", damage);
        recorder.answers = {ButtonYes};
        EXPECT_EQ(open(), "");
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].caption, "Invalid Key");
        EXPECT_EQ(recorder.boxes[0].text, "COMMANDS key file is invalid.  Do you want to rebuild the key?");
        ASSERT_TRUE(file.isOpen());
        EXPECT_EQ(file.records(), 7);
        int inKey = 0;
        EXPECT_EQ(file.setStart(), 0);
        while (file.next() == 0) ++inKey;
        EXPECT_EQ(inKey, 7);
        // It takes writes again, and opens without a question afterwards.
        file.buffer().assign(184, ' ');
        file.buffer()[0] = 'z';
        ASSERT_EQ(file.add(), 0);
        file.close();
        EXPECT_EQ(open(), "");
        EXPECT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(file.records(), 8);
        ASSERT_EQ(file.setEnd(), 0);
        ASSERT_EQ(file.previous(), 0);
        ASSERT_EQ(file.remove(), 0);
    }
}

TEST_F(OpenKeyedFileTest, DamagedKeyAnsweredNoEndsTheProgram) {
    makeFile(2);
    runSql("COMMANDS.tps", "PRAGMA writable_schema = ON; DELETE FROM sqlite_master WHERE name = 'records_by_key';");
    recorder.answers = {ButtonNo};
    EXPECT_EQ(open(), "Invalid Key!");
    EXPECT_EQ(recorder.boxes.size(), 2u);
    EXPECT_FALSE(file.isOpen());
}

TEST_F(OpenKeyedFileTest, KeyThatCannotBeRebuiltEndsTheProgram) {
    makeFile(3);
    // Another program has the file open: the keys cannot be rebuilt under it.
    Peer peer({"hold-open", (std::filesystem::path(folder.path()) / "COMMANDS.tps").string(), "0x40", "3000"});
    ASSERT_EQ(peer.readLine(), "ready");
    runSql("COMMANDS.tps", "PRAGMA writable_schema = ON; DELETE FROM sqlite_master WHERE name = 'records_by_key';");
    recorder.answers = {ButtonYes};
    EXPECT_EQ(open(), "Error Rebuilding Key!");
    ASSERT_EQ(recorder.boxes.size(), 3u);
    EXPECT_EQ(recorder.boxes[0].caption, "Invalid Key");
    EXPECT_EQ(recorder.boxes[1].caption, "Key Rebuild Error");
    EXPECT_EQ(recorder.boxes[1].text,
              "Error: (File Is Already Locked (32)) repairing key for COMMANDS.  Press OK to "
              "end this application.");
    EXPECT_EQ(recorder.boxes[2].caption, "Halt");
    EXPECT_FALSE(file.isOpen());
}

TEST_F(OpenKeyedFileTest, MissingFileThatMayNotBeCreatedEndsTheProgram) {
    try {
        openKeyedFile(warnings, file, 0, false, true);
        FAIL() << "returned without the file";
    } catch (const ProgramEnded &end) {
        EXPECT_EQ(end.text, "File Creation Error!");
    }
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text,
              "Error: (File Not Found (2)) creating COMMANDS.  Press OK to end this application.");
    EXPECT_FALSE(std::filesystem::exists("COMMANDS.tps"));
}

TEST_F(OpenKeyedFileTest, ForeignDatabaseEndsWithInvalidFile) {
    runSql("COMMANDS.tps", "CREATE TABLE t(x); INSERT INTO t VALUES (1);");
    EXPECT_EQ(open(), "Invalid File!");
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text,
              "Error: (Invalid Record Declaration (47)) accessing COMMANDS.  Press OK to end this application.");
    EXPECT_EQ(recorder.boxes[0].caption, "Invalid File");
}

// A command file of the older form whose records table another program
// declared with its columns in another order: refused as an invalid file,
// never turned (which would scramble every record), and left to the byte.
TEST_F(OpenKeyedFileTest, RecordsTableDeclaredOtherwiseEndsWithInvalidFileAndIsLeftAsItWas) {
    std::vector<std::vector<unsigned char>> records(2, std::vector<unsigned char>(184, ' '));
    records[0][0] = 'A';
    records[1][0] = 'B';
    kvr::testing::makeOlderFormFile("COMMANDS.tps", records, 1, true,
                                    "CREATE TABLE records(data BLOB NOT NULL CHECK (length(data) = 184),"
                                    " version INTEGER NOT NULL, key BLOB, recno INTEGER PRIMARY KEY AUTOINCREMENT);");
    ASSERT_FALSE(HasFailure());
    std::ifstream in("COMMANDS.tps", std::ios::binary);
    const std::string before{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(open(0x42, false), "Invalid File!");
    ASSERT_FALSE(recorder.boxes.empty());
    EXPECT_EQ(recorder.boxes[0].text,
              "Error: (Invalid Record Declaration (47)) accessing COMMANDS.  Press OK to end this application.");
    std::ifstream again("COMMANDS.tps", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), before);
    EXPECT_FALSE(std::filesystem::exists("COMMANDS.tps-journal"));
}

TEST_F(OpenKeyedFileTest, TextFileEndsWithDiskError) {
    std::ofstream("COMMANDS.tps") << "not a keyed file at all, just some text long enough to be read\n";
    EXPECT_EQ(open(), "Disk Error");
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "File (COMMANDS) could not be opened.  Error: file is not a database (26).");
    EXPECT_EQ(recorder.boxes[0].caption, "File Access Error");
    EXPECT_EQ(recorder.boxes[1].text, "Disk Error");
    // The file is left as it was.
    std::ifstream in("COMMANDS.tps");
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.substr(0, 9), "not a key");
}

TEST_F(OpenKeyedFileTest, ReadOnlyFileOpenedForWritingEndsWithDiskError) {
    makeFile(1);
    ASSERT_EQ(chmod("COMMANDS.tps", 0444), 0);
    EXPECT_EQ(open(0x22, false), "Disk Error");
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "File (COMMANDS) could not be opened.  Error: Access Denied (5).");
    // Read-only access is fine.
    recorder.boxes.clear();
    EXPECT_EQ(open(0x40, false), "");
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_TRUE(file.readOnly());
}

TEST_F(OpenKeyedFileTest, LockedFileIsRecoveredOnce) {
    makeFile(1);
    Peer peer({"hold-open", (std::filesystem::path(folder.path()) / "COMMANDS.tps").string(), "0x12", "1200"});
    ASSERT_EQ(peer.readLine(), "ready");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(open(), "");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_TRUE(file.isOpen());
    EXPECT_GE(waited, std::chrono::milliseconds(700));
    EXPECT_LE(waited, std::chrono::milliseconds(8000));
}

TEST_F(OpenKeyedFileTest, FileStillLockedAfterRecoveryEndsWithDiskError) {
    makeFile(1);
    Peer peer({"hold-open", (std::filesystem::path(folder.path()) / "COMMANDS.tps").string(), "0x12", "20000"});
    ASSERT_EQ(peer.readLine(), "ready");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(open(), "Disk Error");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(9500));
    EXPECT_LE(waited, std::chrono::milliseconds(25000));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "File (COMMANDS) could not be opened.  Error: File Is Already Locked (32).");
    EXPECT_FALSE(file.isOpen());
}

// The team library opened through openKeyedFile: the same warnings as for
// the file, with the server's own words in them.
TEST(OpenTeamLibrary, TheServersAnswersBecomeTheStandardWarnings) {
    using kvr::testing::PostgresServer;
    using kvr::testing::testServer;
    ScratchFolder folder;
    struct Case {
        const char *what;
        std::function<std::string()> library;  // makes it; its connection string
        std::deque<int> answers;
        std::string ending;              // "" when it returned with the file open
        std::vector<std::string> shown;  // the start of each box's text
        std::string serverWords;         // in the first box
    };
    const auto made = [](const char *damage) {
        const std::string database = testServer().freshDatabase();
        KeyedFile file(commandsLayout(), "COMMANDS", makeKeyedStore(database, commandsLayout()));
        if (file.create() != 0) return std::string("not made");
        PostgresServer::sql(database, damage);
        return database;
    };
    const Case cases[] = {
        {"first use makes the library", [] { return testServer().freshDatabase(); }, {}, "", {}, ""},
        {"no server there",
         [&] { return "host=" + folder.path() + " dbname=kvr"; },
         {},
         "Disk Error",
         {"File (COMMANDS) could not be opened.  Error: connection to server on socket", "Disk Error"},
         "failed: No such file or directory"},
        {"wrong password",
         [] { return testServer().freshDatabase() + " user=secured password=wrong"; },
         {},
         "Disk Error",
         {"File (COMMANDS) could not be opened.  Error: connection to server", "Disk Error"},
         "password authentication failed for user \"secured\""},
        {"a newer program's library",
         [&] { return made("UPDATE kvr_keyed_files SET schema_version = 3"); },
         {},
         "Invalid File!",
         {"Error: (Invalid Record Declaration (47)) accessing COMMANDS.  Press OK to end this application.",
          "Invalid File!"},
         ""},
        {"a key index gone, rebuilt",
         [&] { return made("DROP INDEX commands_by_key"); },
         {ButtonYes},
         "",
         {"COMMANDS key file is invalid.  Do you want to rebuild the key?"},
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string database = c.library();
        WarningRecorder recorder;
        recorder.answers = c.answers;
        Warnings warnings{recorder};
        KeyedFile file(commandsLayout(), "COMMANDS", makeKeyedStore(database, commandsLayout()));
        std::string ending;
        try {
            openKeyedFile(warnings, file, 0, true, true);
        } catch (const ProgramEnded &end) {
            ending = end.text;
        }
        EXPECT_EQ(ending, c.ending);
        EXPECT_EQ(file.isOpen(), c.ending.empty());
        ASSERT_EQ(recorder.boxes.size(), c.shown.size());
        for (std::size_t i = 0; i < c.shown.size(); ++i)
            EXPECT_EQ(recorder.boxes[i].text.substr(0, c.shown[i].size()), c.shown[i]);
        if (!c.serverWords.empty()) {
            EXPECT_NE(recorder.boxes[0].text.find(c.serverWords), std::string::npos) << recorder.boxes[0].text;
        }
        if (c.ending.empty()) {
            EXPECT_EQ(file.records(), 0);
        }
    }
}

// Two programs started at once without a command library: both find it
// missing and both create it; the one that comes second opens the library
// the first has just made instead of ending.
class OpenKeyedFileRace : public ::testing::TestWithParam<Engine> {};
INSTANTIATE_TEST_SUITE_P(Engines, OpenKeyedFileRace, kvr::testing::kEngines, kvr::testing::engineName);

TEST_P(OpenKeyedFileRace, TwoProgramsCreatingAtOnceBothOpenTheFile) {
    int ended = 0;
    for (int round = 0; round < 12; ++round) {
        ScratchFolder folder;
        InFolder inFolder{folder.path()};
        const std::string database = kvr::testing::databaseFor(GetParam());
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (pid_t &child : children) {
            child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(go[1]);
                char byte;
                (void)!::read(go[0], &byte, 1);  // both start when the pipe closes
                kvr::test_support::ScriptedInteraction operatorSide;
                operatorSide.answerer = [](const MessageBoxRequest &) { return int(ButtonOk); };
                operatorSide.programEndHandler = [](const std::string &) { _exit(1); };
                Warnings warnings{operatorSide};
                KeyedFile file{commandsLayout(), "COMMANDS", makeKeyedStore(database, commandsLayout())};
                openKeyedFile(warnings, file, 0, true, true);
                _exit(file.isOpen() ? 0 : 2);
            }
        }
        ::close(go[0]);
        ::close(go[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            if (WEXITSTATUS(status) != 0) ++ended;
        }
    }
    EXPECT_EQ(ended, 0);
}

}  // namespace
