// What only the PostgreSQL store has: its tables as other programs see them,
// the schema it refuses, the key index it rebuilds, the server's own errors,
// connections that drop and a server that stops, and record locks.  The
// behaviour both stores share is in keyed_file_test.cpp.
#include "cutting_proxy.h"
#include "eventually.h"
#include "keyed_files.h"
#include "postgres_environment.h"
#include "keyed_file/key_value.h"
#include "keyed_file/record_position.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sys/stat.h>

using namespace kvr::keyed;
using kvr::testing::commandRecord;
using kvr::testing::Engine;
using kvr::testing::KeyedFiles;
using kvr::testing::nameOf;
using kvr::testing::Peer;
using kvr::testing::PostgresServer;
using kvr::testing::runPeer;

namespace {

class PostgresStoreTest : public ::testing::Test, protected KeyedFiles {
protected:
    PostgresStoreTest() : KeyedFiles(Engine::Postgres) {}

    std::string sql(const std::string &text) const { return PostgresServer::sql(database, text); }

    // Ends the sessions of the program's stores on the test's database, as
    // a server restart or an administrator would, and waits until they are
    // gone.
    void cutConnections() const {
        const std::string ours =
            "FROM pg_stat_activity WHERE application_name = 'kvrman1' AND datname = current_database()";
        ASSERT_EQ(sql("SELECT bool_and(pg_terminate_backend(pid)) " + ours), "t");
        // The backends end a moment after they are told to; a test that goes
        // on before they have is told so by what it checks next.
        (void)kvr7x::test::eventually([&] { return sql("SELECT count(*) " + ours) == "0"; }, std::chrono::seconds(10),
                                      std::chrono::milliseconds(10));
    }

    std::vector<std::string> keyOrder(KeyedFile &f) const {
        std::vector<std::string> names;
        EXPECT_EQ(f.setStart(), 0);
        while (f.next() == 0) names.push_back(nameOf(f));
        return names;
    }
};

TEST_F(PostgresStoreTest, TheLibraryIsATableOfTheRecordsFieldsWithAVersionRow) {
    makeFile({{"Visa", "select"}});
    auto f = keyed();
    ASSERT_EQ(f->open(0x42), 0);
    ASSERT_EQ(f->readByNumber(1), 0);
    auto record = commandRecord(
        "Ma\xF1"
        "ana",
        "read \x80 binary");
    std::memcpy(record.data() + 40, "A0B0", 4);
    record[180] = 0xF1;  // hot key 241 (F2 with Shift)
    record[181] = 0x00;
    record[182] = record[183] = 0;
    f->buffer() = record;
    ASSERT_EQ(f->put(), 0);

    EXPECT_EQ(sql("SELECT card || '|' || name || '|' || frscode || frscla || '|' || hotkey || '|' || version"
                  " FROM commands WHERE recno = 1"),
              "Mañana|read € binary|A0B0|241|2");
    EXPECT_EQ(sql("SELECT encode(key_value, 'escape') FROM commands WHERE recno = 1"), "MA\\321ANA    ");
    EXPECT_EQ(sql("SELECT layout || ' ' || schema_version || ' ' || record_size FROM kvr_keyed_files"
                  " WHERE file = 'commands'"),
              "COMMANDS 2 184");

    // A record another program writes with SQL takes its place in the key.
    ASSERT_EQ(sql("INSERT INTO commands (card, name, frscode, frscla, frsins, frsp1, frsp2, frsp3, data, hotkey)"
                  " VALUES ('amex', 'verify', '', '', '', '', '', '', '', 0)"),
              "");
    EXPECT_EQ(keyOrder(*f), (std::vector<std::string>{"verify", "read \x80 binary"}));
}

TEST_F(PostgresStoreTest, TheServersKeyIsTheEnginesForEveryCharacter) {
    auto f = keyed();
    ASSERT_EQ(f->create(), 0);
    ASSERT_EQ(f->open(0x42), 0);
    for (int byte = 0; byte < 256; ++byte) {
        std::string card = "k";
        card += static_cast<char>(byte);
        card += static_cast<char>(byte);
        card += "x";
        f->buffer() = commandRecord(card, std::to_string(byte));
        ASSERT_EQ(f->add(), 0);
    }
    f->buffer() = commandRecord(std::string(3, '\0'), "nul only");
    ASSERT_EQ(f->add(), 0);
    for (std::uint32_t recno = 1; recno <= 257; ++recno) {
        ASSERT_EQ(f->readByNumber(recno), 0);
        const std::string card(reinterpret_cast<const char *>(f->buffer().data()), 10);
        const auto expected = keyValueOf(card, 10);
        // The position names the key the server gave the record.
        EXPECT_EQ(positionOf(f->position(), 10)->key, expected) << "byte " << recno - 1;
    }
    // Text another program writes with SQL: characters the code page lacks
    // count as '?', U+0080 among them (the code page's byte 0x80 is the
    // euro sign); the code page's own and its five undefined bytes keep
    // their byte.
    const std::pair<const char *, const char *> texts[] = {
        {"U&'ma\\00f1ana'", "4d41d1414e41"},
        {"U&'\\20ac' || chr(128) || chr(19968) || chr(129) || U&'\\0161x'", "803f3f818a58"},
        {"'a' || chr(9216) || 'b'", "412042202020"},
        {"chr(65533) || chr(127) || chr(160) || chr(215)", "3f7fa0d72020"},
        {"'   '", "NULL"},
    };
    for (const auto &[text, key] : texts)
        EXPECT_EQ(sql(std::string("SELECT coalesce(encode(kvr_key_value(") + text + ", 6), 'hex'), 'NULL')"), key)
            << text;
    // The same in a session of a server set to the old string syntax.
    EXPECT_EQ(sql("SET standard_conforming_strings = off; "
                  "SELECT encode(kvr_key_value(chr(19968) || 'a' || chr(129), 4), 'hex')"),
              "3f418120");
}

TEST_F(PostgresStoreTest, ASchemaThatIsNotOursIsRefused) {
    struct Case {
        const char *what;
        std::string setUp;
    };
    const Case cases[] = {
        {"a table of another program", "CREATE TABLE commands (id integer)"},
        {"a newer version", "UPDATE kvr_keyed_files SET schema_version = 3"},
        {"another layout",
         "UPDATE kvr_keyed_files SET fields = replace(fields, 'data text 52 128', 'data text 52 100')"},
        {"no registry row", "DELETE FROM kvr_keyed_files"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sql("DROP TABLE IF EXISTS commands; DROP TABLE IF EXISTS kvr_keyed_files");
        if (std::string(c.what) != "a table of another program") makeFile({{"a", "1"}});
        ASSERT_EQ(sql(c.setUp), "");
        auto f = keyed();
        EXPECT_EQ(f->open(0x42), KeyedBadDeclaration);
        EXPECT_EQ(f->lastError().text(), "Invalid Record Declaration");
        EXPECT_FALSE(f->isOpen());
        EXPECT_EQ(f->create(), KeyedAlreadyExists);  // and nothing is made over it
    }
}

TEST_F(PostgresStoreTest, AKeyIndexThatIsMissingOrOtherIsRebuilt) {
    const std::string damages[] = {
        "DROP INDEX commands_by_key",
        "DROP INDEX commands_by_key; CREATE INDEX commands_by_key ON commands (recno)",
        "ALTER TABLE commands DROP COLUMN key_value",
    };
    makeFile({{"b", "1"}, {"a", "2"}, {"", "3"}, {"c", "4"}});
    for (const std::string &damage : damages) {
        SCOPED_TRACE(damage);
        ASSERT_EQ(sql(damage), "");
        auto f = keyed();
        EXPECT_EQ(f->open(0x42), KeyedRebuildKeys);
        EXPECT_EQ(f->lastError().text(), "Key File Must Be Rebuilt");
        ASSERT_EQ(f->buildKeys(), 0);
        ASSERT_EQ(f->open(0x42), 0);
        EXPECT_EQ(keyOrder(*f), (std::vector<std::string>{"2", "1", "4"}));
        EXPECT_EQ(f->records(), 4);
        f->buffer() = commandRecord("0", "5");
        ASSERT_EQ(f->add(), 0);
        const std::uint32_t added = f->recordNumber();
        EXPECT_EQ(keyOrder(*f).front(), "5");
        ASSERT_EQ(f->readByNumber(added), 0);
        ASSERT_EQ(f->remove(), 0);
    }
}

TEST_F(PostgresStoreTest, ServerErrorsCarryTheServersOwnText) {
    makeFile({{"a", "1"}});
    const std::string passfile = folder.file("pgpass");
    std::ofstream(passfile) << "*:*:*:" << PostgresServer::kSecuredUser << ":" << PostgresServer::kSecuredPassword
                            << "\n";
    ASSERT_EQ(chmod(passfile.c_str(), 0600), 0);
    const std::string wrongPassfile = folder.file("wrong");
    std::ofstream(wrongPassfile) << "*:*:*:" << PostgresServer::kSecuredUser << ":wrong\n";
    ASSERT_EQ(chmod(wrongPassfile.c_str(), 0600), 0);
    ASSERT_EQ(sql(std::string("GRANT ALL ON ALL TABLES IN SCHEMA public TO ") + PostgresServer::kSecuredUser), "");
    const std::string secured = database + " user=" + PostgresServer::kSecuredUser;
    struct Case {
        const char *what;
        std::string conninfo;
        int code;
        std::string text;  // part of the driver's text
    };
    const Case cases[] = {
        {"no server", "host=" + folder.path() + " dbname=kvr", KeyedSystemError, "No such file or directory"},
        {"no such database", database + "_gone", KeyedSystemError, "does not exist"},
        {"wrong password", secured + " passfile=" + wrongPassfile, KeyedSystemError,
         "password authentication failed for user \"secured\""},
        {"right password", secured + " passfile=" + passfile, 0, ""},
        {"not a connection string", "postgresql://[nowhere", KeyedSystemError, "URI"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        KeyedFile f(layout, name, makeKeyedStore(c.conninfo, layout));
        EXPECT_EQ(f.open(0x42), c.code);
        EXPECT_NE(f.lastError().driverText.find(c.text), std::string::npos) << f.lastError().driverText;
        EXPECT_EQ(f.lastError().driverText.find('\n'), std::string::npos);
        EXPECT_EQ(f.isOpen(), c.code == 0);
    }
}

// A station whose user may only read the library: an open for writing is
// refused at once with KeyedAccessDenied, as for a read-only file; an open for reading works
// with SELECT alone.
TEST_F(PostgresStoreTest, AUserWhoMayOnlyReadIsRefusedAnOpenForWriting) {
    makeFile({{"a", "1"}, {"b", "2"}});
    const std::string reader = "reader_" + sql("SELECT current_database()");
    ASSERT_EQ(sql("CREATE ROLE " + reader + " LOGIN"), "");
    ASSERT_EQ(sql("GRANT SELECT ON commands, kvr_keyed_files TO " + reader), "");
    KeyedFile f(layout, name, makeKeyedStore(database + " user=" + reader, layout));
    for (int mode : {0x42, 0x22, 0x12}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(f.open(mode), KeyedAccessDenied);
        EXPECT_NE(f.lastError().driverText.find("permission denied"), std::string::npos) << f.lastError().driverText;
        EXPECT_FALSE(f.isOpen());
    }
    ASSERT_EQ(f.open(0x40), 0);
    EXPECT_EQ(keyOrder(f), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(f.add(), KeyedAccessDenied);
    f.close();
    // Given the rights, the same user opens it for writing.
    ASSERT_EQ(sql("GRANT INSERT, UPDATE, DELETE ON commands TO " + reader), "");
    ASSERT_EQ(f.open(0x42), 0);
    f.buffer() = commandRecord("c", "3");
    EXPECT_EQ(f.add(), 0);
}

// The library is in the schema public; a user whose search_path leaves it
// out (and who may make tables in a schema of its own) is refused with a
// text naming the schema, at open and at creation, and no second library is
// made; a table of the same name seen before the library's is refused too.
// With the library's schema on its search_path the same user reads it.
TEST_F(PostgresStoreTest, AUserWhoseSearchPathHidesTheLibraryIsRefusedAndGetsNoLibraryOfItsOwn) {
    makeFile({{"a", "1"}, {"b", "2"}});
    const std::string user = "hid_" + sql("SELECT current_database()");
    for (const std::string &step :
         {"CREATE ROLE " + user + " LOGIN", "CREATE SCHEMA " + user + " AUTHORIZATION " + user,
          "ALTER ROLE " + user + " SET search_path = " + user, "GRANT USAGE ON SCHEMA public TO " + user,
          "GRANT SELECT, INSERT, UPDATE, DELETE ON commands, kvr_keyed_files TO " + user})
        ASSERT_EQ(sql(step), "") << step;
    KeyedFile f(layout, name, makeKeyedStore(database + " user=" + user, layout));
    const auto refused = [&](int code, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(code, KeyedSystemError);
        EXPECT_NE(f.lastError().driverText.find("schema public"), std::string::npos) << f.lastError().driverText;
        EXPECT_NE(f.lastError().driverText.find("search_path (" + user + ")"), std::string::npos)
            << f.lastError().driverText;
        EXPECT_FALSE(f.isOpen());
    };
    refused(f.open(0x42), "open for writing");
    refused(f.open(0x40), "open for reading");
    refused(f.create(), "create");
    EXPECT_EQ(sql("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
                  " WHERE n.nspname = '" +
                  user + "'"),
              "0")
        << "no table, index or function made in the user's own schema";

    // A table of the file's name in the user's schema, seen before public.
    ASSERT_EQ(sql("ALTER ROLE " + user + " SET search_path = " + user + ", public"), "");
    ASSERT_EQ(sql("CREATE TABLE " + user + ".commands (x integer); ALTER TABLE " + user + ".commands OWNER TO " + user),
              "");
    EXPECT_EQ(f.open(0x42), KeyedSystemError);
    EXPECT_NE(f.lastError().driverText.find("seen in the schema " + user), std::string::npos)
        << f.lastError().driverText;
    ASSERT_EQ(sql("DROP TABLE " + user + ".commands"), "");

    ASSERT_EQ(f.open(0x42), 0) << f.lastError().text();
    EXPECT_EQ(keyOrder(f), (std::vector<std::string>{"1", "2"}));
}

// The connection goes right after the server received a COMMIT or an
// INSERT, before its reply: the store finds out on a new session what the
// server did and says so.  Nothing is sent again, so nothing is stored twice
// and nothing that was stored is reported failed.
TEST_F(PostgresStoreTest, ALostReplyIsLookedUpAndNeverSentAgain) {
    using Cut = kvr::testing::CuttingProxy::Cut;
    makeFile({{"a", "1"}});
    kvr::testing::CuttingProxy proxy(kvr::testing::serverSocketOf(database));
    KeyedFile f(layout, name, makeKeyedStore(proxy.conninfo(kvr::testing::databaseNameOf(database)), layout));
    ASSERT_EQ(f.open(0x42), 0);
    struct Case {
        const char *what;
        Cut cut;
        bool transaction;  // three adds and a put of record 1 in one transaction
        int result;        // of the add alone, or of the commit
        int stored;        // records added
    };
    const Case cases[] = {
        {"an add alone whose commit's reply is lost", Cut::AfterCommit, false, 0, 1},
        {"an add alone whose insert's reply is lost", Cut::AfterInsert, false, KeyedSystemError, 0},
        {"a transaction whose commit's reply is lost", Cut::AfterCommit, true, 0, 3},
        {"a transaction whose insert's reply is lost", Cut::AfterInsert, true, KeyedSystemError, 0},
    };
    int round = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = sql("SELECT count(*) FROM commands"),
                          version = sql("SELECT version FROM commands WHERE recno = 1");
        const int cutsBefore = proxy.cuts();
        const std::string tag = std::string("r").append(std::to_string(++round));
        proxy.arm(c.cut);
        if (c.transaction) {
            ASSERT_EQ(f.readByNumber(1), 0);
            ASSERT_EQ(f.beginTransaction(), 0);
            f.buffer() = commandRecord("a", tag);
            const int put = f.put();
            for (int i = 0; i < 3; ++i) {
                f.buffer() = commandRecord(tag, std::to_string(i));
                const int added = f.add();
                EXPECT_EQ(added, c.cut == Cut::AfterInsert ? KeyedSystemError : 0) << i;
            }
            EXPECT_EQ(put, 0);
            EXPECT_EQ(f.commit(), c.result) << f.lastError().driverText;
        } else {
            f.buffer() = commandRecord(tag, "alone");
            EXPECT_EQ(f.add(), c.result) << f.lastError().driverText;
        }
        EXPECT_EQ(proxy.cuts(), cutsBefore + 1);
        EXPECT_EQ(std::stoi(sql("SELECT count(*) FROM commands")), std::stoi(before) + c.stored);
        EXPECT_EQ(sql("SELECT count(*) FROM commands WHERE card = '" + tag + "' GROUP BY name HAVING count(*) > 1"), "")
            << "nothing stored twice";
        if (c.transaction) {
            // The put went with its transaction, whole or not at all.
            EXPECT_EQ(sql("SELECT version FROM commands WHERE recno = 1"),
                      c.result == 0 ? std::to_string(std::stoi(version) + 1) : version);
        }
        // The file goes on working on the new session.
        f.buffer() = commandRecord("after", tag);
        EXPECT_EQ(f.add(), 0);
    }
}

TEST_F(PostgresStoreTest, ADroppedConnectionIsMadeAgainOnce) {
    makeFile({{"a", "1"}, {"b", "2"}});
    auto f = keyed();
    ASSERT_EQ(f->open(0x42), 0);
    cutConnections();
    // Outside a transaction nobody notices.
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "1");
    f->buffer() = commandRecord("a", "changed");
    ASSERT_EQ(f->put(), 0);

    // Inside one the transaction is lost and says so; nothing of it is kept.
    ASSERT_EQ(f->beginTransaction(), 0);
    f->buffer() = commandRecord("c", "3");
    ASSERT_EQ(f->add(), 0);
    cutConnections();
    EXPECT_EQ(f->commit(), KeyedSystemError);
    EXPECT_FALSE(f->lastError().driverText.empty());
    EXPECT_FALSE(f->inTransaction());
    EXPECT_EQ(f->records(), 2);
    // The next transaction goes through on the new session.
    ASSERT_EQ(f->beginTransaction(), 0);
    ASSERT_EQ(f->add(), 0);
    ASSERT_EQ(f->commit(), 0);
    EXPECT_EQ(f->records(), 3);
}

TEST_F(PostgresStoreTest, AServerStoppedAndStartedAgainIsFoundAgain) {
    PostgresServer own;
    const std::string conninfo = own.freshDatabase();
    KeyedFile f(layout, "COMMANDS", makeKeyedStore(conninfo, layout));
    ASSERT_EQ(f.create(), 0);
    ASSERT_EQ(f.open(0x42), 0);
    f.buffer() = commandRecord("a", "1");
    ASSERT_EQ(f.add(), 0);

    own.stop();
    EXPECT_EQ(f.readByNumber(1), KeyedSystemError);
    EXPECT_NE(f.lastError().driverText.find("No such file or directory"), std::string::npos)
        << f.lastError().driverText;
    EXPECT_EQ(f.beginTransaction(), KeyedSystemError);
    EXPECT_FALSE(f.inTransaction());
    EXPECT_TRUE(f.isOpen());

    own.start();
    ASSERT_EQ(f.readByNumber(1), 0);
    EXPECT_EQ(nameOf(f), "1");
    f.buffer() = commandRecord("b", "2");
    EXPECT_EQ(f.add(), 0);
    EXPECT_EQ(f.records(), 2);
}

// The key cursor reads a page per round trip and delivers it as one
// snapshot: a record another station changed or deleted after the page was
// read is caught by the watched put or delete (KeyedChanged, nothing written), and a
// cursor set again, or a write of this station, reads the records anew.
TEST_F(PostgresStoreTest, TheCursorsPageIsOneSnapshotAndWatchedWritesCatchLaterChanges) {
    makeFile({{"a", "n1"}, {"b", "n2"}, {"c", "n3"}, {"d", "n4"}});
    auto f = keyed();
    ASSERT_EQ(f->open(0x42), 0);
    ASSERT_EQ(f->setStart(), 0);
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "n1");
    ASSERT_EQ(runPeer(peer({"put", path, "2", "b", "theirs"})), "0");
    ASSERT_EQ(runPeer(peer({"delete", path, "3"})), "0");
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "n2");  // as the page read found it
    f->watch();
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "n3");
    EXPECT_EQ(f->remove(), KeyedChanged);
    ASSERT_EQ(f->next(), 0);  // after a write of this station: read anew
    EXPECT_EQ(nameOf(*f), "n4");
    EXPECT_EQ(f->next(), KeyedNotAvailable);

    ASSERT_EQ(f->setStart(), 0);
    ASSERT_EQ(f->next(), 0);
    ASSERT_EQ(runPeer(peer({"put", path, "4", "d", "late"})), "0");
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "theirs");
    f->watch();
    ASSERT_EQ(f->next(), 0);
    EXPECT_EQ(nameOf(*f), "n4");
    f->buffer() = commandRecord("d", "mine");
    EXPECT_EQ(f->put(), KeyedChanged);
    // Set again: the file as it is now.
    EXPECT_EQ(keyOrder(*f), (std::vector<std::string>{"n1", "theirs", "late"}));
    // This station's own write: the steps after it read anew.
    ASSERT_EQ(f->setStart(), 0);
    ASSERT_EQ(f->next(), 0);
    f->buffer() = commandRecord("a", "mine");
    ASSERT_EQ(f->add(), 0);
    ASSERT_EQ(f->setFromKey("a"), 0);
    std::vector<std::string> names;
    while (f->next() == 0) names.push_back(nameOf(*f));
    EXPECT_EQ(names, (std::vector<std::string>{"n1", "mine", "theirs", "late"}));
}

TEST_F(PostgresStoreTest, StationsChangingOtherRecordsDoNotWait) {
    makeFile({{"a", "1"}, {"b", "2"}});
    Peer holder(peer({"hold-transaction", path, "3000", "1"}));
    ASSERT_EQ(holder.readLine(), "ready");
    auto f = keyed();
    ASSERT_EQ(f->open(0x42), 0);
    ASSERT_EQ(f->readByNumber(2), 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(f->beginTransaction(2000), 0);
    f->buffer() = commandRecord("b", "mine");
    ASSERT_EQ(f->put(), 0);
    f->buffer() = commandRecord("c", "3");
    ASSERT_EQ(f->add(), 0);
    ASSERT_EQ(f->commit(), 0);
    // Well within the 2000 ms a wait for the lock would have cost.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));

    // A write inside a transaction that finds the other's record locked
    // gives up alone; the transaction keeps its other writes.
    ASSERT_EQ(f->readByNumber(2), 0);
    ASSERT_EQ(f->beginTransaction(500), 0);
    f->buffer() = commandRecord("d", "4");
    ASSERT_EQ(f->add(), 0);
    ASSERT_EQ(f->readByNumber(1), 0);
    f->buffer() = commandRecord("a", "mine too");
    EXPECT_EQ(f->put(), KeyedLocked);
    ASSERT_EQ(f->commit(), 0);
    EXPECT_EQ(keyOrder(*f), (std::vector<std::string>{"1", "mine", "3", "4"}));
}

// A user whose statements the server cuts short (statement_timeout) is told
// the server's own reason, not that the file is locked: waiting and trying
// again would not help.
TEST_F(PostgresStoreTest, AStatementTheServerCutsShortGivesTheServersReasonNotALock) {
    makeFile({{"a", "1"}});
    const std::string hasty = "hasty_" + sql("SELECT current_database()");
    ASSERT_EQ(sql("CREATE ROLE " + hasty + " LOGIN"), "");
    ASSERT_EQ(sql("GRANT ALL ON ALL TABLES IN SCHEMA public TO " + hasty), "");
    ASSERT_EQ(sql("ALTER ROLE " + hasty + " SET statement_timeout = 1"), "");
    // Another session keeps the table to itself, so that every statement
    // on it waits, and the server cuts it after 1 ms.
    std::unique_ptr<PGconn, void (*)(PGconn *)> holder(PQconnectdb(database.c_str()), PQfinish);
    ASSERT_EQ(PQstatus(holder.get()), CONNECTION_OK) << PQerrorMessage(holder.get());
    for (const char *step : {"BEGIN", "LOCK TABLE commands IN ACCESS EXCLUSIVE MODE"}) {
        std::unique_ptr<PGresult, void (*)(PGresult *)> done(PQexec(holder.get(), step), PQclear);
        ASSERT_EQ(PQresultStatus(done.get()), PGRES_COMMAND_OK) << step;
    }
    KeyedFile f(layout, name, makeKeyedStore(database + " user=" + hasty, layout));
    EXPECT_EQ(f.open(0x42), KeyedSystemError);
    EXPECT_NE(f.lastError().driverText.find("statement timeout"), std::string::npos) << f.lastError().driverText;
    EXPECT_FALSE(f.isOpen());
}

}  // namespace
