// The team library's notices of changes on a real server: what the server
// delivers to any LISTENing session of committed, rolled-back and many-row
// transactions, what the file's own listener tells of this station's
// changes and another's, and a listener whose session the server ended.
#include "keyed_files.h"
#include "postgres_environment.h"
#include "keyed_file/postgres/change_notices.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace kvr::keyed;
using kvr::testing::commandRecord;
using kvr::testing::Engine;
using kvr::testing::KeyedFiles;
using kvr::testing::PostgresServer;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits on a descriptor until it is readable or the time is up.
void awaitReadable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    (void)::poll(&p, 1, static_cast<int>(left > 0 ? left : 0));
}

// What a listener says next other than quiet (None while it listens, Lost
// while it connects anew), woken by its descriptor; what it said last when
// the limit (a bound for a broken program) passed.
ChangeNews nextNews(ChangeNotices &notices, ChangeNews quiet = ChangeNews::None) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        const ChangeNews news = notices.take();
        if (news != quiet || Clock::now() >= deadline || notices.descriptor() < 0) return news;
        // A connection under way may wait to write rather than to read.
        const bool connecting = quiet == ChangeNews::Lost;
        awaitReadable(notices.descriptor(), connecting ? std::min(deadline, Clock::now() + 5ms) : deadline);
    }
}

// Another program on the channel, through libpq alone: the payloads of
// every notice the server delivers, up to and including the mark.
class Overhearer {
public:
    explicit Overhearer(const std::string &conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
        PQclear(PQexec(conn_, "LISTEN kvr_changes"));
    }
    ~Overhearer() { PQfinish(conn_); }
    Overhearer(const Overhearer &) = delete;
    Overhearer &operator=(const Overhearer &) = delete;

    std::vector<std::string> heardUpTo(const std::string &mark) {
        std::vector<std::string> heard;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < deadline) {
            if (PQconsumeInput(conn_) == 0) break;
            while (PGnotify *notice = PQnotifies(conn_)) {
                heard.emplace_back(notice->extra);
                PQfreemem(notice);
                if (heard.back() == mark) return heard;
            }
            awaitReadable(PQsocket(conn_), deadline);
        }
        heard.emplace_back("(no mark)");
        return heard;
    }

private:
    PGconn *conn_;
};

class ChangeNoticesTest : public ::testing::Test, protected KeyedFiles {
protected:
    ChangeNoticesTest() : KeyedFiles(Engine::Postgres) {}

    // The program's file open for writing, and a listener on it that listens.
    void SetUp() override {
        makeFile({{"Visa", "select"}});
        file = keyed();
        ASSERT_EQ(file->open(KeyedFile::kModeSharedReadWrite), 0);
        notices = file->listenForChanges();
        ASSERT_NE(notices, nullptr);
        ASSERT_TRUE(notices->listen());
        ASSERT_EQ(notices->take(), ChangeNews::None);
    }

    void add(const std::string &card) {
        file->buffer() = commandRecord(card, "cmd");
        ASSERT_EQ(file->add(), 0);
    }
    // A notice no station's change sends, after which every notice sent
    // before has come.
    void mark() const { PostgresServer::sql(database, "NOTIFY kvr_changes, 'mark'"); }
    // Another station's change: a row renamed with SQL.
    void changeElsewhere() const {
        PostgresServer::sql(database,
                            "UPDATE commands SET name = 'Elsewhere', crc = NULL, version = version + 1"
                            " WHERE recno = (SELECT min(recno) FROM commands)");
    }
    // Takes the notices until the listener has read count of them in all.
    std::vector<ChangeNews> takeUntilRead(long count) const {
        auto &listener = dynamic_cast<kvr::keyed::pg::ChangeListener &>(*notices);
        std::vector<ChangeNews> news;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (listener.noticesRead() < count && Clock::now() < deadline) {
            awaitReadable(notices->descriptor(), deadline);
            news.push_back(notices->take());
        }
        return news;
    }

    std::unique_ptr<KeyedFile> file;
    std::unique_ptr<ChangeNotices> notices;
};

TEST_F(ChangeNoticesTest, ACommittedTransactionSendsOneNoticeARolledBackOneNoneAndOwnChangesAreLeftOut) {
    Overhearer other(database);
    ASSERT_EQ(file->beginTransaction(), 0);
    add("Rolled");
    ASSERT_EQ(file->rollback(), 0);
    mark();
    EXPECT_EQ(other.heardUpTo("mark"), std::vector<std::string>({"mark"})) << "a rolled-back add was told";
    EXPECT_EQ(notices->take(), ChangeNews::None);

    ASSERT_EQ(file->beginTransaction(), 0);
    for (const char *card : {"One", "Two", "Three"}) add(card);
    ASSERT_EQ(file->commit(), 0);
    add("Alone");  // a transaction of its own
    ASSERT_EQ(file->readByNumber(1), 0);
    ASSERT_EQ(file->remove(), 0);
    mark();
    EXPECT_EQ(other.heardUpTo("mark"), std::vector<std::string>({"commands", "commands", "commands", "mark"}));
    // The listener of this station's file reads them all and tells none of
    // them: they are its own.
    for (const ChangeNews news : takeUntilRead(5)) EXPECT_EQ(news, ChangeNews::None);
    EXPECT_EQ(dynamic_cast<kvr::keyed::pg::ChangeListener &>(*notices).noticesRead(), 5) << "the rolled-back mark too";

    changeElsewhere();
    changeElsewhere();
    EXPECT_EQ(nextNews(*notices), ChangeNews::Changed);
    (void)takeUntilRead(7);
    EXPECT_EQ(notices->take(), ChangeNews::None) << "the notices come so far are taken together";
}

TEST_F(ChangeNoticesTest, ASessionTheServerEndedIsToldAsLostAndListeningAgainTellsBackThenHearsTheNextChange) {
    ASSERT_EQ(PostgresServer::sql(database,
                                  "SELECT bool_and(pg_terminate_backend(pid)) FROM pg_stat_activity"
                                  " WHERE application_name = 'kvrman1' AND datname = current_database()"),
              "t");
    EXPECT_EQ(nextNews(*notices), ChangeNews::Lost);
    EXPECT_EQ(notices->descriptor(), -1);
    EXPECT_EQ(notices->take(), ChangeNews::Lost);

    notices->listenAgain();  // without waiting: the looks take it on
    EXPECT_EQ(nextNews(*notices, ChangeNews::Lost), ChangeNews::Back);
    EXPECT_EQ(notices->take(), ChangeNews::None);
    changeElsewhere();
    EXPECT_EQ(nextNews(*notices), ChangeNews::Changed);
}

TEST_F(ChangeNoticesTest, ALocalFileHearsNothing) {
    KeyedFiles local(Engine::Sqlite);
    local.makeFile({{"Visa", "select"}});
    auto f = local.keyed();
    ASSERT_EQ(f->open(KeyedFile::kModeSharedReadWrite), 0);
    EXPECT_EQ(f->listenForChanges(), nullptr);
}

}  // namespace
