// The stored-command menus of a station of a team library on a real
// server: another station's change shows in the Tarjeta menu by itself,
// never under an open menu, and a station whose connection went down
// rebuilds its menus when it is back.  Another process is the other
// station.
#include "window_test_support.h"

#include "console/main_menu.h"
#include "console/stored_command_menus.h"
#include "cutting_proxy.h"
#include "keyed_file/postgres/change_notices.h"
#include "peer_process.h"
#include "postgres_server.h"
#include "runtime/qt/menus.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace kvr::console::testing {
namespace {

using kvr::session::kFirstStoredEntry;
using kvr::testing::PostgresServer;

class TeamMenusTest : public ConsoleWindowTest {
protected:
    TeamMenusTest() : ConsoleWindowTest(kvr::testing::testServer().freshDatabase()) {}

    static QStringList texts(QMenu *menu) {
        QStringList list;
        if (!menu) return {"(no menu)"};
        for (QAction *a : menu->actions()) list << (a->isSeparator() ? "-" : (a->menu() ? ">" : "") + a->text());
        return list;
    }
    static QMenu *tarjeta(runtime::qt::Window &w) { return w.menus()->menu(MenuCard); }

    // Another station's change, made and committed by another process.
    void otherStation(const std::vector<std::string> &arguments) const {
        std::vector<std::string> all{"--database=" + library.database()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        kvr::testing::Peer station(all);
        if (arguments[0] == "adder") {
            ASSERT_EQ(station.readLine(), "ready");
        }
        ASSERT_EQ(station.readLine(), "0") << "the other station's change failed";
    }

    std::string sql(const std::string &text) const { return PostgresServer::sql(library.database(), text); }
};

const QStringList kFixedItems{"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]"};

TEST_F(TeamMenusTest, AnotherStationsChangeShowsByItselfButNeverUnderAnOpenMenu) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        ASSERT_EQ(texts(tarjeta(w)), kFixedItems);
        const auto added = std::chrono::steady_clock::now();
        otherStation({"adder", "COMMANDS", "1"});
        ASSERT_TRUE(eventually([&] { return texts(tarjeta(w)) == kFixedItems + QStringList{">peer"}; }))
            << texts(tarjeta(w)).join(",").toStdString();
        const auto shown =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - added);
        EXPECT_LT(shown.count(), 2000) << "from the other station's commit to the menu";
        std::printf("[ shown    ] %lld ms after the other station's add\n", static_cast<long long>(shown.count()));
        EXPECT_EQ(texts(w.menus()->menu(kFirstStoredEntry)), QStringList({"0"}));

        // Under the open Tarjeta menu the next change waits.  A listener
        // of the test's own hears it, and the window looks at its notices
        // three times more, before the menu closes.
        keyed::pg::ChangeListener witness(library.database(), "commands", nullptr);
        ASSERT_TRUE(witness.listen());
        QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
        ASSERT_EQ(QApplication::activePopupWidget(), tarjeta(w));
        otherStation({"put", "COMMANDS", "1", "EMV", "Select"});
        ASSERT_TRUE(eventually([&] { return witness.take() == keyed::ChangeNews::Changed; }));
        QTest::qWait(3 * StoredCommandMenus::kNoticeLookMs);
        EXPECT_EQ(texts(tarjeta(w)), kFixedItems + QStringList{">peer"}) << "rebuilt under the open menu";
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        ASSERT_TRUE(eventually([&] { return QApplication::activePopupWidget() == nullptr; }));
        EXPECT_TRUE(eventually([&] { return texts(tarjeta(w)) == kFixedItems + QStringList{">EMV"}; }))
            << texts(tarjeta(w)).join(",").toStdString();
        EXPECT_EQ(texts(w.menus()->menu(kFirstStoredEntry)), QStringList({"Select"}));
    });
}

// Connections to the test's database refused while it lives; allowed again
// on every way out.
class RefusedConnections {
public:
    explicit RefusedConnections(std::string database) : database_(std::move(database)) { allow(false); }
    ~RefusedConnections() { allow(true); }
    RefusedConnections(const RefusedConnections &) = delete;
    RefusedConnections &operator=(const RefusedConnections &) = delete;

private:
    void allow(bool allowed) const {
        PostgresServer::sql(kvr::testing::testServer().conninfo(),
                            "ALTER DATABASE " + database_ + " ALLOW_CONNECTIONS " + (allowed ? "true" : "false"));
    }
    std::string database_;
};

TEST_F(TeamMenusTest, AStationWhoseConnectionWentDownRebuildsItsMenusWhenItIsBack) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        otherStation({"adder", "COMMANDS", "1"});
        ASSERT_TRUE(eventually([&] { return texts(w.menus()->menu(kFirstStoredEntry)) == QStringList{"0"}; }));
        // A session of the administrator's, made before the station's
        // sessions end and no new one is let in.
        const std::unique_ptr<PGconn, void (*)(PGconn *)> session(PQconnectdb(library.database().c_str()), PQfinish);
        PGconn *admin = session.get();
        ASSERT_EQ(PQstatus(admin), CONNECTION_OK);
        {
            RefusedConnections refused(kvr::testing::databaseNameOf(library.database()));
            PQclear(PQexec(admin,
                           "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                           " WHERE application_name = 'kvrman1' AND datname = current_database()"));
            // A change nobody of the station hears: its notice goes to no
            // one.
            PQclear(PQexec(admin, "UPDATE commands SET name = 'Unheard', crc = NULL, version = version + 1"));
            QTest::qWait(3 * StoredCommandMenus::kNoticeLookMs);
            EXPECT_EQ(texts(w.menus()->menu(kFirstStoredEntry)), QStringList({"0"}));
        }
        EXPECT_TRUE(
            eventually([&] { return texts(w.menus()->menu(kFirstStoredEntry)) == QStringList{"Unheard"}; }, 6000))
            << texts(w.menus()->menu(kFirstStoredEntry)).join(",").toStdString();
    });
}

}  // namespace
}  // namespace kvr::console::testing
