// The import of another command file, without windows: real command files,
// into the library on both stores (a COMMANDS.tps file, or the team library
// on the private PostgreSQL server), a second process where another writer
// or a kill matters.  Only a single append that fails (a full disk) is
// staged, by a store that refuses it.
#include "library/command_import.h"

#include "command_files.h"
#include "cutting_proxy.h"
#include "engines.h"
#include "forwarding_store.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "peer_process.h"
#include "keyed_file/sqlite/sqlite_store.h"
#include "keyed_file/store_choice.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kvr::library {
namespace {

using keyed::KeyedFile;
using keyed::KeyedStatus;
using keyed::KeyedStore;
using testing::inKeyOrder;
using testing::numberedCommand;
using testing::Peer;
using testing::RecordBytes;
using testing::writeCommandFile;

std::vector<RecordBytes> numberedCommands(int count) {
    std::vector<RecordBytes> records;
    for (int n = 0; n < count; ++n) records.push_back(numberedCommand(n));
    return records;
}

class CommandImportTest : public ::testing::TestWithParam<testing::Engine> {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    testing::WarningRecorder recorder;
    std::string database = testing::databaseFor(GetParam());
    CommandsLibrary library{recorder, database};
    CommandsUse mainWindow{library};  // the main window keeps COMMANDS open
    std::string commandsPath = folder.file("COMMANDS.tps");

    std::vector<std::string> peer(std::vector<std::string> arguments) const {
        return testing::onDatabase(database, std::move(arguments));
    }

    void SetUp() override { mainWindow.acquire(); }

    ImportResult importFrom(const std::string &name) {
        library.setImportFileName(name);
        return importCommandFile(library);
    }

    std::vector<RecordBytes> commands() { return inKeyOrder(library.commandsFile()); }

    void addCommands(const std::vector<RecordBytes> &records) {
        for (const RecordBytes &r : records) {
            unpackCommands(reinterpret_cast<const unsigned char *>(r.data()), library.commandsRecord());
            ASSERT_EQ(library.commandsFile().add(), 0);
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, CommandImportTest, testing::kEngines, testing::engineName);
// What only a library file can meet: the same file under other names.
using CommandImportIntoFileTest = CommandImportTest;
INSTANTIATE_TEST_SUITE_P(Sqlite, CommandImportIntoFileTest, ::testing::Values(testing::Engine::Sqlite),
                         testing::engineName);

TEST_P(CommandImportTest, RecordsAreAppendedInKeyOrderAndASecondImportStoresThemAgain) {
    const RecordBytes zeta = numberedCommand(0, "zeta"), alfa = numberedCommand(1, "Alfa"),
                      mid = numberedCommand(2, "mid");
    const std::string source = folder.file("OTROS.tps");
    ASSERT_TRUE(writeCommandFile(source, {zeta, alfa, mid}));

    ImportResult result = importFrom(source);
    ASSERT_FALSE(result.openError);
    EXPECT_TRUE(result.report.clean());
    EXPECT_EQ(result.report.appended, 3);
    EXPECT_EQ(importedStatusText(result.report), "3 comandos importados");
    EXPECT_EQ(commands(), (std::vector<RecordBytes>{alfa, mid, zeta}));
    EXPECT_FALSE(library.importFile().isOpen());
    EXPECT_EQ(library.useCount(), 1) << "the import's own use of COMMANDS is over";

    result = importFrom(source);
    EXPECT_EQ(result.report.appended, 3);
    EXPECT_EQ(commands(), (std::vector<RecordBytes>{alfa, alfa, mid, mid, zeta, zeta}));
    EXPECT_EQ(inKeyOrder(source), (std::vector<RecordBytes>{alfa, mid, zeta})) << "the source is unchanged";
    EXPECT_EQ(library.importFileName(), source);
}

// A source deep in folders with accented names: its whole path is opened,
// however many characters or bytes it has.
TEST_P(CommandImportTest, ASourceWithALongPathIsOpenedByItsWholeName) {
    std::string deep = folder.path();
    for (int i = 0; deep.size() < 300; ++i) deep += "/carpeta de importación " + std::to_string(i);
    std::filesystem::create_directories(deep);
    const std::string source = deep + "/Comandos ñandú.tps";
    ASSERT_TRUE(writeCommandFile(source, {numberedCommand(0), numberedCommand(1)}));
    const ImportResult result = importFrom(source);
    ASSERT_FALSE(result.openError) << openErrorText(*result.openError);
    EXPECT_EQ(result.report.appended, 2);
    EXPECT_EQ(library.importFileName(), source);
}

TEST_P(CommandImportTest, AnEmptySourceChangesNothingAndSaysSo) {
    addCommands({numberedCommand(7)});
    ASSERT_TRUE(writeCommandFile(folder.file("VACIO.tps"), {}));
    const ImportResult result = importFrom(folder.file("VACIO.tps"));
    ASSERT_FALSE(result.openError);
    EXPECT_TRUE(result.report.clean());
    EXPECT_EQ(result.report.read, 0);
    // In place of what an earlier import left in the status bar.
    EXPECT_EQ(importedStatusText(result.report), "El archivo no tiene comandos: ninguno importado");
    EXPECT_EQ(commands(), std::vector<RecordBytes>{numberedCommand(7)});
    EXPECT_EQ(importedStatusText(ImportReport{1, 1, 0, 0, false, {}}), "1 comando importado");

    // Records without a card name would be listed nowhere: they stay
    // behind, counted.
    ASSERT_TRUE(writeCommandFile(folder.file("SIN.tps"),
                                 {numberedCommand(1, "   "), numberedCommand(2), numberedCommand(3, "   ")}));
    const ImportResult blanks = importFrom(folder.file("SIN.tps"));
    ASSERT_FALSE(blanks.openError);
    EXPECT_EQ(blanks.report.appended, 1);
    EXPECT_EQ(blanks.report.withoutCard, 2);
    EXPECT_EQ(importedStatusText(blanks.report), "1 comando importado; 2 sin tarjeta, no importados");
    EXPECT_EQ(commands(), (std::vector<RecordBytes>{numberedCommand(2), numberedCommand(7)}));
}

TEST_P(CommandImportIntoFileTest, ASourceThatCannotBeOpenedIsNamedAndCommandsStaysAsItWas) {
    const std::vector<RecordBytes> before{numberedCommand(1), numberedCommand(2)};
    addCommands(before);
    namespace fs = std::filesystem;
    const std::string readOnly = folder.file("SOLOLECTURA.tps");
    ASSERT_TRUE(writeCommandFile(readOnly, {numberedCommand(3)}));
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    std::ofstream(folder.file("texto.tps")) << "CARD      NAME\n";
    {
        KeyedFile other({"OTHER", 100, 0, 10}, folder.file("OTRO.tps"),
                        kvr::keyed::makeKeyedStore({}, {"OTHER", 100, 0, 10}));
        ASSERT_EQ(other.create(), 0);
    }
    const std::string busy = folder.file("OCUPADO.tps");
    ASSERT_TRUE(writeCommandFile(busy, {numberedCommand(4)}));
    fs::create_directory(folder.file("sub"));
    fs::create_symlink(commandsPath, folder.file("enlace.tps"));
    fs::create_hard_link(commandsPath, folder.file("sub/copia.tps"));
    const std::string longName = folder.file(std::string(100, 'x') + ".tps");

    Peer writer({"hold-open", busy, "0x42", "30000"});
    ASSERT_EQ(writer.readLine(), "ready");

    struct Case {
        std::string name;
        int code;
    };
    const Case cases[] = {
        {folder.file("FALTA.tps"), 2},   // missing
        {folder.file("texto.tps"), 90},  // not a keyed file
        {folder.file("OTRO.tps"), 47},   // a keyed file of another layout
        {busy, 32},                      // another process writes it
        {longName, 2},                   // named at most 79 characters back
        // COMMANDS itself, under any name: refused, never read into itself.
        {"COMMANDS.tps", 52},
        {folder.file("sub/../COMMANDS.tps"), 52},
        {folder.file("enlace.tps"), 52},
        {folder.file("sub/copia.tps"), 52},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ImportResult result = importFrom(c.name);
        ASSERT_TRUE(result.openError);
        EXPECT_EQ(result.openError->code, c.code);
        const std::string named = c.name.substr(0, 79);
        EXPECT_EQ(result.openError->file, named);
        EXPECT_EQ(openErrorText(*result.openError),
                  "Error " + std::to_string(c.code) + " al abrir el archivo: " + named);
        EXPECT_FALSE(library.importFile().isOpen());
        EXPECT_EQ(commands(), before);
    }
    EXPECT_TRUE(recorder.boxes.empty()) << "the caller shows the box";
    // A file marked read-only is read like any other: the import writes
    // nothing to its source.
    const ImportResult fromReadOnly = importFrom(readOnly);
    ASSERT_FALSE(fromReadOnly.openError);
    EXPECT_EQ(fromReadOnly.report.appended, 1);
}

// A disk that fills up: the store refuses the inserts of the records named
// "command 4" and "command 5", and the commit of the batch holding 7 and 8.
class FullDiskStore final : public testing::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;

    KeyedStatus insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                       std::uint32_t &recordNumber) override {
        const std::string name(data.begin() + 10, data.begin() + 40);
        if (name.rfind("command 4 ", 0) == 0 || name.rfind("command 5 ", 0) == 0) return full();
        if (name.rfind("command 7 ", 0) == 0) failCommit_ = true;
        return inner_.insert(key, data, recordNumber);
    }
    KeyedStatus commit() override {
        if (!failCommit_) return inner_.commit();
        failCommit_ = false;
        // The commit fails as told, whatever the rollback behind it gives.
        (void)inner_.rollback();
        return full();
    }

private:
    static KeyedStatus full() { return {keyed::KeyedSystemError, "13", "database or disk is full"}; }
    bool failCommit_ = false;
};

TEST_P(CommandImportIntoFileTest, FailedAppendsAndCommitsAreCountedAndTheRestGoesIn) {
    const std::vector<RecordBytes> source = numberedCommands(11);  // cards c00000, c00001, c00002
    ASSERT_TRUE(writeCommandFile(folder.file("OTROS.tps"), source));
    KeyedFile from(commandsLayout(), folder.file("OTROS.tps"), kvr::keyed::makeKeyedStore({}, commandsLayout()));
    ASSERT_EQ(from.open(0x22), 0);
    ASSERT_TRUE(writeCommandFile(folder.file("LLENO.tps"), {}));
    KeyedFile to(commandsLayout(), folder.file("LLENO.tps"), std::make_unique<FullDiskStore>(commandsLayout()));
    ASSERT_EQ(to.open(0x42), 0);

    // Batches of three records read: 0-2, 3-5 (4 and 5 refused), 6-8 (its
    // commit refused), 9-10.
    const ImportReport report = appendInKeyOrder(
        from, to, [&] { to.buffer() = from.buffer(); }, ImportBatching{3, std::chrono::hours(1)});
    EXPECT_EQ(report.read, 11);
    EXPECT_EQ(report.appended, 11 - 5);
    EXPECT_EQ(report.notAppended, 5);
    EXPECT_FALSE(report.readError);
    EXPECT_FALSE(report.clean());
    EXPECT_EQ(report.firstError, "database or disk is full (13)");
    EXPECT_EQ(importReportText(report),
              "Comandos importados: 6\nComandos no importados: 5\nPrimer error: database or disk is full (13)");
    EXPECT_EQ(importedStatusText(report), "");
    EXPECT_EQ(inKeyOrder(to),
              (std::vector<RecordBytes>{source[0], source[1], source[2], source[3], source[9], source[10]}));
}

// Makes one page of the records' table in the middle of the file unreadable
// (the key's pages stay sound, so the file still opens).
void damageATablePage(const std::string &path) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[100];
    file.read(reinterpret_cast<char *>(header), sizeof header);
    const std::size_t pageSize = header[16] << 8 | header[17];
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
    std::vector<std::size_t> tableLeaves;
    for (std::size_t page = 1; page * pageSize < size; ++page) {  // page 0 holds the schema
        file.seekg(static_cast<std::streamoff>(page * pageSize));
        const int type = file.get();
        if (type == 0x0D) tableLeaves.push_back(page);
    }
    ASSERT_GT(tableLeaves.size(), 4u);
    const std::size_t victim = tableLeaves[tableLeaves.size() / 2];
    file.seekp(static_cast<std::streamoff>(victim * pageSize));
    const std::string garbage(pageSize, '\xA5');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

TEST_P(CommandImportIntoFileTest, AReadErrorStopsTheImportAndKeepsWhatWasAppended) {
    const std::vector<RecordBytes> source = numberedCommands(2000);  // key order is their order
    const std::string path = folder.file("DANADO.tps");
    ASSERT_TRUE(writeCommandFile(path, source));
    damageATablePage(path);

    library.setImportFileName(path);
    const ImportResult result = importCommandFile(library, ImportBatching{100, std::chrono::hours(1)});
    ASSERT_FALSE(result.openError) << openErrorText(*result.openError) << library.importFile().lastError().driverText;
    const ImportReport &report = result.report;
    EXPECT_TRUE(report.readError);
    EXPECT_EQ(report.notAppended, 0);
    EXPECT_GT(report.appended, 100);
    EXPECT_LT(report.appended, 1900);
    EXPECT_EQ(report.firstError.rfind("database disk image is malformed (", 0), 0u) << report.firstError;
    EXPECT_NE(importReportText(report).find("La lectura del archivo se detuvo por un error.\n"), std::string::npos);
    const std::vector<RecordBytes> stored = commands();
    EXPECT_EQ(stored, std::vector<RecordBytes>(source.begin(), source.begin() + report.appended));
}

// The team library's connection goes right after the server received a
// batch's COMMIT, or the INSERT of a batch's records, before its reply, or
// while the import reads the next group of a batch: the report still tells
// exactly what the library holds, a batch cut fails whole, nothing of it is
// sent again, and the batches after it go in on the new session.
TEST(CommandImportLostReplyTest, TheReportEqualsWhatTheTeamLibraryHolds) {
    using Cut = testing::CuttingProxy::Cut;
    struct Case {
        const char *what;
        Cut cut;
        int skip;
        std::size_t batch;
        std::int64_t appended;  // of 2000
        const char *lost;       // a record of the batch cut, or null
    };
    // A batch of 100 records is one INSERT; one of 600 is three, of 250,
    // 250 and 100 records.
    const Case cases[] = {
        {"the third batch's commit", Cut::AfterCommit, 2, 100, 2000, nullptr},
        {"the insert of the fifth batch", Cut::AfterInsert, 4, 100, 1900, "command 450"},
        {"the first batch's second group, while the third is read", Cut::AfterInsert, 1, 600, 1400, "command 599"},
        // The one reconnection comes before the batch's first statement.
        {"the connection gone between the first batch's BEGIN and its lock wait", Cut::BeforeLockWait, 0, 100, 2000,
         nullptr},
        {"the same at the sixth batch", Cut::BeforeLockWait, 5, 100, 2000, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing::ScratchFolder folder;
        testing::InFolder inFolder{folder.path()};
        testing::WarningRecorder recorder;
        const std::string database = testing::testServer().freshDatabase();
        testing::CuttingProxy proxy(testing::serverSocketOf(database));
        CommandsLibrary library{recorder, proxy.conninfo(testing::databaseNameOf(database))};
        CommandsUse mainWindow{library};
        mainWindow.acquire();
        ASSERT_TRUE(writeCommandFile(folder.file("OTROS.tps"), numberedCommands(2000)));
        library.setImportFileName(folder.file("OTROS.tps"));

        proxy.arm(c.cut, c.skip);
        const ImportResult result = importCommandFile(library, ImportBatching{c.batch, std::chrono::hours(1)});
        ASSERT_FALSE(result.openError);
        EXPECT_EQ(proxy.cuts(), 1);
        const ImportReport &report = result.report;
        const std::string held = testing::PostgresServer::sql(database, "SELECT count(*) FROM commands");
        EXPECT_EQ(report.appended, std::stoll(held)) << "the report tells what the library holds";
        EXPECT_EQ(report.appended, c.appended);
        EXPECT_EQ(report.appended + report.notAppended, 2000);
        EXPECT_EQ(testing::PostgresServer::sql(database, "SELECT count(DISTINCT name) FROM commands"), held)
            << "no record stored twice";
        EXPECT_EQ(report.firstError.empty(), c.appended == 2000) << report.firstError;
        if (c.lost) {
            EXPECT_EQ(testing::PostgresServer::sql(
                          database, std::string("SELECT count(*) FROM commands WHERE name = '") + c.lost + "'"),
                      "0");
        }
    }
}

// Over a distant link (the proxy holds every message 100 ms each way) a
// batch of 2,000 records costs its BEGIN, its commit and the round trips of
// its groups: the first group goes at 250 records, and the next grows while
// that one's answer travels instead of waiting for it at 250 (which made
// eight groups, ten round trips).  The source's 1,750 other records are
// read well within one round trip of 200 ms, even in the sanitizer build,
// so they are one group, two at most.
TEST(CommandImportTeamLibraryTest, ABatchOverADistantLinkCostsARoundTripAGroupThatGrowsWhileTheLastOneTravels) {
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    testing::WarningRecorder recorder;
    const std::string database = testing::testServer().freshDatabase();
    testing::CuttingProxy proxy(testing::serverSocketOf(database), std::chrono::milliseconds(100));
    CommandsLibrary library{recorder, proxy.conninfo(testing::databaseNameOf(database))};
    CommandsUse mainWindow{library};
    mainWindow.acquire();
    ASSERT_TRUE(writeCommandFile(folder.file("OTROS.tps"), numberedCommands(2000)));
    library.setImportFileName(folder.file("OTROS.tps"));

    const int before = proxy.roundTrips();
    const ImportResult result = importCommandFile(library, ImportBatching{2000, std::chrono::hours(1)});
    const int trips = proxy.roundTrips() - before;
    ASSERT_FALSE(result.openError);
    EXPECT_EQ(result.report.appended, 2000);
    EXPECT_EQ(result.report.notAppended, 0);
    EXPECT_EQ(testing::PostgresServer::sql(database, "SELECT count(DISTINCT name) FROM commands"), "2000");
    // BEGIN with its lock, the group of 250, the rest in one group (two
    // when the source was slow), the commit.
    EXPECT_LE(trips, 5);
    EXPECT_GE(trips, 4);
}

// The team library refuses a record (a rule another program set on its
// table): the INSERT of its group fails, and its batch's transaction with
// it, so the whole batch is counted as not appended, also the group that
// went in before it; the other batches go in, and the report tells exactly
// what the library holds.
TEST(CommandImportTeamLibraryTest, ARecordTheServerRefusesCostsItsBatchAndTheReportSaysSo) {
    struct Case {
        const char *what;
        std::size_t batch;                      // records a batch, added in groups of 250
        std::vector<std::pair<int, int>> lost;  // source ranges [from, to)
    };
    const Case cases[] = {
        {"batches of one group", 100, {{200, 300}, {600, 700}}},
        {"a batch's second group refused after its first went in", 300, {{0, 300}, {600, 900}}},
    };
    const std::vector<RecordBytes> source = numberedCommands(1000);  // key order is their order
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing::ScratchFolder folder;
        testing::InFolder inFolder{folder.path()};
        testing::WarningRecorder recorder;
        const std::string database = testing::testServer().freshDatabase();
        CommandsLibrary library{recorder, database};
        CommandsUse mainWindow{library};
        mainWindow.acquire();
        ASSERT_EQ(testing::PostgresServer::sql(database,
                                               "ALTER TABLE commands ADD CONSTRAINT refused"
                                               " CHECK (name NOT IN ('command 250', 'command 655'))"),
                  "");
        ASSERT_TRUE(writeCommandFile(folder.file("OTROS.tps"), source));
        library.setImportFileName(folder.file("OTROS.tps"));

        const ImportResult result = importCommandFile(library, ImportBatching{c.batch, std::chrono::hours(1)});
        ASSERT_FALSE(result.openError);
        std::vector<RecordBytes> kept;
        for (int n = 0; n < 1000; ++n)
            if (std::none_of(c.lost.begin(), c.lost.end(), [n](auto r) { return n >= r.first && n < r.second; }))
                kept.push_back(source[static_cast<std::size_t>(n)]);
        const ImportReport &report = result.report;
        EXPECT_EQ(report.read, 1000);
        EXPECT_EQ(report.appended, static_cast<std::int64_t>(kept.size()));
        EXPECT_EQ(report.notAppended, 1000 - report.appended);
        EXPECT_EQ(report.pending, 0);
        EXPECT_EQ(report.firstError, "new row for relation \"commands\" violates check constraint \"refused\" (7)");
        EXPECT_EQ(testing::PostgresServer::sql(database, "SELECT count(*) FROM commands"),
                  std::to_string(report.appended))
            << "the report tells what the library holds";
        EXPECT_EQ(inKeyOrder(library.commandsFile()), kept);
    }
}

TEST_P(CommandImportTest, AnotherProcessAddingMeanwhileIsNeverHeldPastItsLockWait) {
    const std::vector<RecordBytes> source = numberedCommands(10000);
    ASSERT_TRUE(writeCommandFile(folder.file("GRANDE.tps"), source));
    // Every add of the other process waits for the file at most its 2
    // seconds; one that waited longer fails and is counted.
    Peer adder(peer({"adder", commandsPath, "300"}));
    ASSERT_EQ(adder.readLine(), "ready");
    const ImportResult result = importFrom(folder.file("GRANDE.tps"));
    ASSERT_FALSE(result.openError);
    EXPECT_TRUE(result.report.clean()) << result.report.firstError;
    EXPECT_EQ(result.report.appended, 10000);
    EXPECT_EQ(adder.readLine(std::chrono::seconds(60)), "0");

    std::vector<RecordBytes> imported;
    std::int64_t theirs = 0;
    for (const RecordBytes &r : commands()) {
        if (r.rfind("peer ", 0) == 0)
            ++theirs;
        else
            imported.push_back(r);
    }
    EXPECT_EQ(theirs, 300);
    EXPECT_EQ(imported, source);
}

TEST_P(CommandImportTest, AnImportKilledInTheMiddleLeavesWholeBatches) {
    const std::vector<RecordBytes> source = numberedCommands(10000);
    ASSERT_TRUE(writeCommandFile(folder.file("GRANDE.tps"), source));
    mainWindow.release();  // the other process imports into this folder's COMMANDS
    long long committed = -1, pending = -1;
    {
        Peer importer(KVR_LIBRARY_PEER, peer({"import", folder.path(), folder.file("GRANDE.tps"), "5500"}));
        const std::string line = importer.readLine(std::chrono::seconds(120));
        ASSERT_EQ(std::sscanf(line.c_str(), "paused %lld %lld", &committed, &pending), 2) << line;
        importer.kill();
        importer.wait();
    }
    EXPECT_GT(pending, 0) << "killed with a batch open";
    EXPECT_GE(committed + pending, 5500);

    KeyedFile after(commandsLayout(), commandsPath, keyed::makeKeyedStore(database, commandsLayout()));
    ASSERT_EQ(after.open(KeyedFile::kModeSharedReadWrite), 0) << "the key is sound";
    EXPECT_EQ(after.records(), committed);
    EXPECT_EQ(inKeyOrder(after), std::vector<RecordBytes>(source.begin(), source.begin() + committed));
}

}  // namespace
}  // namespace kvr::library
