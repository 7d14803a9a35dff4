// The stored-command menus of the main window, built from a real COMMANDS
// file, against the reader emulator: the card submenus and their numbers,
// choosing an entry by the pointer, by access letters and by its hot key,
// the fields it leaves open, "S2", a record deleted behind the menus, and
// rebuilding when the command browser, opened from "&Commandos", closes.
#include "window_test_support.h"

#include "console/main_menu.h"
#include "library/commands_file.h"
#include "peer_process.h"
#include "keyed_file/store_choice.h"
#include "runtime/qt/menus.h"
#include "runtime/message_box.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace kvr::console::testing {

using namespace session;
namespace {

struct StoredRecord {
    const char *card;
    const char *name;
    const char *header;  // CODE CLA INS P1 P2 P3, two characters each
    const char *data = "";
    int32_t hotKey = 0;
};

// Adds a record through a file definition and its record buffer; returns
// its record number.
uint32_t addRecord(keyed::KeyedFile &file, library::Commands &record, const StoredRecord &r) {
    record = library::blankCommands();
    library::setField(record.card, r.card);
    library::setField(record.name, r.name);
    const std::string header = r.header;
    char *fields[] = {record.frsCode, record.frsCla, record.frsIns, record.frsP1, record.frsP2, record.frsP3};
    for (int i = 0; i < 6; ++i) std::memcpy(fields[i], header.data() + 2 * i, 2);
    library::setField(record.data, r.data);
    record.hotKey = r.hotKey;
    EXPECT_EQ(file.add(), 0);
    return file.recordNumber();
}

// A new COMMANDS file holding the records, added in this order, written
// before the main window opens it; their record numbers.
std::vector<uint32_t> writeCommands(const std::vector<StoredRecord> &records) {
    library::Commands record = library::blankCommands();
    keyed::KeyedFile file(library::commandsLayout(), "COMMANDS",
                          kvr::keyed::makeKeyedStore({}, library::commandsLayout()));
    file.bind(library::commandsBinding(record));
    std::filesystem::remove(file.path());
    EXPECT_EQ(file.create(), 0);
    EXPECT_EQ(file.open(keyed::KeyedFile::kModeSharedReadWrite), 0);
    EXPECT_EQ(file.beginTransaction(), 0);
    std::vector<uint32_t> numbers;
    for (const StoredRecord &r : records) numbers.push_back(addRecord(file, record, r));
    EXPECT_EQ(file.commit(), 0);
    file.close();
    return numbers;
}

class StoredCommandMenusTest : public ConsoleWindowTest {
protected:
    // The texts of a menu's actions, submenus marked with ">".
    static QStringList texts(QMenu *menu) {
        QStringList list;
        for (QAction *a : menu->actions()) list << (a->isSeparator() ? "-" : (a->menu() ? ">" : "") + a->text());
        return list;
    }

    static QMenu *tarjeta(runtime::qt::Window &w) { return w.menus()->menu(MenuCard); }

    // The request and reply panels as one text.
    static QString panel(runtime::qt::Window &w) {
        QString all;
        for (const char *name : {"CODE", "CLA", "INS", "P1", "P2", "P3", "requestHex", "requestBytes", "STAT", "SW1",
                                 "SW2", "LEN", "replyHex", "replyBytes"})
            all += QString(name) + "=" + text(w, name) + ";";
        return all;
    }

    static bool readOnly(runtime::qt::Window &w, const char *name) { return field(w, name)->isReadOnly(); }

    // A change made while the window runs goes through the program's
    // library, as the command browser's do.
    void deleteWhileRunning(uint32_t number) {
        ASSERT_EQ(library.commandsFile().readByNumber(number), 0);
        ASSERT_EQ(library.commandsFile().remove(), 0);
    }
};

TEST_F(StoredCommandMenusTest, CardSubmenusNumberedFrom1001AndRebuiltWhenTheBrowserCloses) {
    writeCommands(
        {{"EMV", "Select", "A100A4040007"}, {"EMV", "Read", "2100B0000000"}, {"SIM", "Status", "2100F2000016"}});
    startReader();
    bool browsed = false;
    std::deque<QString> newCards;
    runMainWindow({{"MAIN$WINDOW",
                    [&](runtime::qt::Window &w) {
                        runtime::qt::Menus &m = *w.menus();
                        EXPECT_EQ(texts(tarjeta(w)), QStringList({"Comando ISO &Out", "Comando ISO &In", "-",
                                                                  "[Comandos]", ">EMV", ">SIM"}));
                        ASSERT_NE(m.menu(1001), nullptr);
                        EXPECT_EQ(m.menu(1001)->title(), "EMV");
                        EXPECT_EQ(m.menu(1001)->actions(), QList<QAction *>({m.action(1002), m.action(1003)}));
                        EXPECT_EQ(m.action(1002)->text(), "Select");
                        EXPECT_EQ(m.action(1003)->text(), "Read");
                        ASSERT_NE(m.menu(1004), nullptr);
                        EXPECT_EQ(m.menu(1004)->title(), "SIM");
                        EXPECT_EQ(m.menu(1004)->actions(), QList<QAction *>({m.action(1005)}));
                        EXPECT_EQ(m.action(1005)->text(), "Status");
                        EXPECT_FALSE(m.contains(1006));
                        EXPECT_TRUE(m.action(1005)->shortcut().isEmpty()) << "hot key 0 is no shortcut";

                        // The browser deletes SIM's only command and adds commands whose
                        // card names differ only in case; the key delivers EMV, EMV, emv,
                        // EMV, so a submenu starts at each change of case.
                        const int actionsBefore = static_cast<int>(w.findChildren<QAction *>().size());
                        choose(w, "utilities.commands");
                        EXPECT_TRUE(browsed);
                        EXPECT_EQ(texts(tarjeta(w)), QStringList({"Comando ISO &Out", "Comando ISO &In", "-",
                                                                  "[Comandos]", ">EMV", ">emv", ">EMV"}));
                        EXPECT_EQ(texts(m.menu(1001)), QStringList({"Select", "Read"}));
                        EXPECT_EQ(texts(m.menu(1004)), QStringList({"Lower"}));
                        EXPECT_EQ(texts(m.menu(1006)), QStringList({"Again"}));
                        EXPECT_FALSE(m.contains(1008));
                        // One submenu and one entry more than before, nothing else.
                        EXPECT_EQ(w.findChildren<QAction *>().size(), actionsBefore + 2);
                        EXPECT_EQ(m.action(ItemCardCommands)->text(), "[Comandos]");
                        EXPECT_FALSE(m.isEnabled(ItemCardCommands));
                    }},
                   {"BROWSECMD$QUICKWINDOW",
                    [&](runtime::qt::Window &b) {
                        browsed = true;
                        QTreeWidget *rows = b.findChild<QTreeWidget *>("rows");
                        ASSERT_NE(rows, nullptr);
                        // SIM's command: located by its letter, deleted after
                        // the confirmation.
                        QTest::keyClicks(rows, "s");
                        ASSERT_EQ(rows->currentItem()->text(0).trimmed(), "SIM");
                        interaction.answerer = [](const runtime::MessageBoxRequest &box) {
                            EXPECT_EQ(box.caption, "Confirm Delete");
                            return static_cast<int>(runtime::ButtonOk);
                        };
                        QTest::keyClick(rows, Qt::Key_Delete);
                        interaction.answerer = nullptr;
                        for (const char *card : {"emv", "EMV"}) {
                            newCards.push_back(card);
                            QTest::keyClick(rows, Qt::Key_Insert);
                        }
                        QTest::mouseClick(b.findChild<QPushButton *>("close"), Qt::LeftButton);
                    }},
                   {"UPDATECOMMANDS$QUICKWINDOW", [&](runtime::qt::Window &form) {
                        ASSERT_FALSE(newCards.empty());
                        const QString card = newCards.front();
                        newCards.pop_front();
                        form.findChild<QLineEdit *>("card")->setFocus();
                        QTest::keyClicks(form.findChild<QLineEdit *>("card"), card);
                        QTest::keyClicks(form.findChild<QLineEdit *>("name"), card == "emv" ? "Lower" : "Again");
                        QTest::mouseClick(form.findChild<QPushButton *>("ok"), Qt::LeftButton);
                    }}});
}

TEST_F(StoredCommandMenusTest, ChoosingFillsTheConsoleLeavesOpenFieldsEditableAndSendsNothing) {
    writeCommands({
        {"SIM", "Status", "2000100000S2"},
        {"CARD", "Open P1 P2", "A100A4????00", "3F00"},
        {"CARD", "Open P3", "2100B00000??"},
        {"CARD", "Fixed", "A100A4000002", "3f00"},
        {"CARD", "Open data", "A100A4040000", "??", 0x74},
        {"CARD", "By F2", "2100C0000008", "", 0x71},
    });
    kvr7x::emu::Config config;
    std::string error;
    ASSERT_TRUE(config.rules.parse("20 00 10 00 00 00 => 00 61 1A\n", error)) << error;
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        runtime::qt::Menus &m = *w.menus();
        const auto entry = [&](const QString &name) -> QAction * {
            for (QAction *a : w.findChildren<QAction *>())
                if (a->text() == name && m.idOf(a) > 1000) return a;
            ADD_FAILURE() << "no entry " << name.toStdString();
            return nullptr;
        };
        auto *send = w.findChild<QPushButton *>("send");
        emulator->log().clear();

        // P1 and P2 open: the focus on P1, P2 editable, P3 and data not.
        entry("Open P1 P2")->trigger();
        EXPECT_EQ(text(w, "CODE") + text(w, "INS") + text(w, "P1") + text(w, "P2"), "A1A4????");
        EXPECT_EQ(QApplication::focusWidget(), field(w, "P1"));
        EXPECT_FALSE(readOnly(w, "P1") || readOnly(w, "P2"));
        EXPECT_TRUE(readOnly(w, "P3") && readOnly(w, "requestHex") && readOnly(w, "requestBytes"));
        EXPECT_EQ(text(w, "requestHex"), "3F00");
        EXPECT_EQ(text(w, "P3"), "00") << "the data does not set P3";

        entry("Open P3")->trigger();
        EXPECT_EQ(QApplication::focusWidget(), field(w, "P3"));
        EXPECT_TRUE(readOnly(w, "P1") && readOnly(w, "P2"));
        EXPECT_FALSE(readOnly(w, "P3"));

        // Stored lower-case digits stay as stored and convert as 0.
        entry("Fixed")->trigger();
        EXPECT_EQ(QApplication::focusWidget(), send);
        for (const char *name : {"P1", "P2", "P3", "requestHex", "requestBytes"})
            EXPECT_TRUE(readOnly(w, name)) << name;
        EXPECT_EQ(text(w, "requestHex"), "3f00");
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x30)) + QChar(0x00));

        // Data "??": the byte 0x00, both data views editable, the focus in
        // the hex view; entering it makes the hex view the source again.
        entry("Open data")->trigger();
        EXPECT_EQ(QApplication::focusWidget(), field(w, "requestHex"));
        EXPECT_FALSE(readOnly(w, "requestHex") || readOnly(w, "requestBytes"));
        EXPECT_TRUE(readOnly(w, "P1") && readOnly(w, "P3"));
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x00)));
        field(w, "requestHex")->selectAll();
        type(w, "requestHex", "3F00");
        EXPECT_EQ(text(w, "P3"), "02");
        // Chosen again by its hot key F5 from inside the hex view, which
        // keeps the focus: typing there is again the operator's data.
        QTest::keyClick(field(w, "requestHex"), Qt::Key_F5);
        EXPECT_EQ(text(w, "requestHex"), "??");
        EXPECT_EQ(QApplication::focusWidget(), field(w, "requestHex"));
        field(w, "requestHex")->selectAll();
        type(w, "requestHex", "01");
        EXPECT_EQ(text(w, "P3"), "01");
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x01)));

        // The hot key F2 chooses its entry.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        EXPECT_EQ(text(w, "CODE") + text(w, "INS") + text(w, "P3"), "21C008");
        EXPECT_EQ(QApplication::focusWidget(), send);
        EXPECT_EQ(entry("By F2")->shortcut(), QKeySequence(Qt::Key_F2));
        // Nothing left for after the current event either.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_TRUE(framesReceived(*emulator).empty()) << "choosing an entry sends nothing";

        // A menu action makes the fields editable again.
        choose(w, "card.isoIn");
        for (const char *name : {"P1", "P2", "P3", "requestHex", "requestBytes"})
            EXPECT_FALSE(readOnly(w, name)) << name;

        // By the keyboard: Alt+T, Up to the last card submenu (SIM), Right
        // into it, Enter on "Status".  P3 "S2" right after a reply whose SW2
        // was 1A takes 1A.
        choose(w, "reader.status");
        clickSend(w);
        ASSERT_EQ(text(w, "SW2"), "1A");
        QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
        ASSERT_NE(QApplication::activePopupWidget(), nullptr);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Up);
        ASSERT_EQ(m.menu(1007)->title(), "SIM") << "SIM comes last in the key";
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
        ASSERT_TRUE(eventually([&] { return QApplication::activePopupWidget() == m.menu(1007); }));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        ASSERT_TRUE(eventually([&] { return text(w, "P3") == "1A"; })) << text(w, "P3").toStdString();
        EXPECT_EQ(text(w, "CODE") + text(w, "INS"), "2010");
        EXPECT_EQ(text(w, "SW2"), "") << "the reply panel is blanked";
        // Chosen again with the reply panel blank: P3 is two spaces, sent as 0x00.
        entry("Status")->trigger();
        EXPECT_EQ(text(w, "P3"), "");
        emulator->log().clear();
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        EXPECT_EQ(lastFrame(*emulator), std::vector<uint8_t>({0x20, 0x00, 0x10, 0x00, 0x00, 0x00}));
    });
}

// A card group named SAM... is offered under "&SAM" too, after its
// "[Comandos]", numbered from 2001 and without hot keys; its entries fill
// the console for the current SAM, every field editable, and are built
// again, not twice, when the browser closes.
TEST_F(StoredCommandMenusTest, SamCardGroupsUnderTheSamMenuFillForTheCurrentSam) {
    writeCommands({{"EMV", "Select", "A100A4040007", "A0000000031010"},
                   {"SAM1", "Auth", "A100880000S2", "?1 22", 0x72},
                   {"SAM1", "Read", "2100B0000010"}});
    kvr7x::emu::Config config;
    config.samPresent = {false, true, false};
    startReader(config);
    runMainWindow(
        {{"MAIN$WINDOW",
          [&](runtime::qt::Window &w) {
              runtime::qt::Menus &m = *w.menus();
              QMenu *sam = m.menu(MenuSam);
              ASSERT_NE(sam, nullptr);
              EXPECT_EQ(texts(sam), QStringList({"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]", ">SAM1"}));
              EXPECT_EQ(texts(tarjeta(w)),
                        QStringList({"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]", ">EMV", ">SAM1"}));
              ASSERT_NE(m.menu(2001), nullptr);
              EXPECT_EQ(m.menu(2001)->actions(), QList<QAction *>({m.action(2002), m.action(2003)}));
              EXPECT_EQ(m.action(2002)->text(), "Auth");
              EXPECT_TRUE(m.action(2002)->shortcut().isEmpty()) << "hot keys stay under Tarjeta";
              EXPECT_EQ(m.action(1004)->text(), "Auth");
              EXPECT_EQ(m.action(1004)->shortcut(), QKeySequence(Qt::Key_F3));

              choose(w, "reader.activateSam.2");
              clickSend(w);
              EXPECT_EQ(text(w, "SW2"), "00");
              emulator->log().clear();
              m.action(2002)->trigger();
              EXPECT_EQ(
                  text(w, "CODE") + text(w, "CLA") + text(w, "INS") + text(w, "P1") + text(w, "P2") + text(w, "P3"),
                  "A300880000S2")
                  << "P3 as stored, no S2 taken from the reply";
              EXPECT_EQ(text(w, "requestHex"), "?1 22");
              for (const char *name : {"P1", "P2", "P3", "requestHex", "requestBytes"})
                  EXPECT_FALSE(readOnly(w, name)) << name;
              EXPECT_EQ(QApplication::focusWidget(), w.findChild<QPushButton *>("send"));
              EXPECT_EQ(text(w, "SW2"), "") << "the reply is blanked";
              EXPECT_TRUE(framesReceived(*emulator).empty()) << "nothing is sent";

              // The same entry under Tarjeta fills as a card command.
              m.action(1004)->trigger();
              EXPECT_EQ(text(w, "CODE"), "A1");

              const int actionsBefore = static_cast<int>(w.findChildren<QAction *>().size());
              choose(w, "utilities.commands");
              EXPECT_EQ(w.findChildren<QAction *>().size(), actionsBefore);
              EXPECT_EQ(texts(m.menu(MenuSam)).last(), ">SAM1");
              EXPECT_EQ(texts(m.menu(2001)), QStringList({"Auth", "Read"}));
          }},
         {"BROWSECMD$QUICKWINDOW", [](runtime::qt::Window &b) { b.close(); }}});
}

TEST_F(StoredCommandMenusTest, AnEntryWhoseRecordIsGoneChangesNothing) {
    const std::vector<uint32_t> records =
        writeCommands({{"EMV", "Select", "A100A4????00", "??"}, {"EMV", "Read", "2100B0000000"}});
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.reset");
        choose(w, "card.isoIn");
        type(w, "CLA", "80");
        type(w, "requestHex", "0102");
        const QString before = panel(w);
        QWidget *focus = QApplication::focusWidget();
        deleteWhileRunning(records[0]);
        w.menus()->action(1002)->trigger();
        EXPECT_EQ(panel(w), before);
        EXPECT_EQ(QApplication::focusWidget(), focus);
        EXPECT_FALSE(readOnly(w, "P1") || readOnly(w, "requestHex"));
        // The other entry still works.
        w.menus()->action(1003)->trigger();
        EXPECT_EQ(text(w, "CODE") + text(w, "INS"), "21B0");
    });
}

// A damaged COMMANDS: the card of SIM's command changed in the file behind
// its key (a bit flipped on the disk).  The build stops there with the
// standard warning; the program goes on with the commands read before.
TEST_F(StoredCommandMenusTest, ADamagedFileStopsTheBuildWithTheStandardWarning) {
    writeCommands({{"EMV", "Select", "A100A4040007"}, {"SIM", "Status", "2100F2000016"}});
    {
        std::fstream file("COMMANDS.tps", std::ios::in | std::ios::out | std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        const std::size_t name = bytes.find("Status");
        ASSERT_NE(name, std::string::npos);
        file.seekp(static_cast<std::streamoff>(name - 10));
        file.put('T');  // "SIM" becomes "TIM" in the record, not in the key
    }
    std::vector<runtime::MessageBoxRequest> boxes;
    interaction.answerer = [&](const runtime::MessageBoxRequest &request) {
        boxes.push_back(request);
        return request.defaultButton;
    };
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_EQ(texts(tarjeta(w)), QStringList({"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]", ">EMV"}));
    });
    interaction.answerer = nullptr;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "File Load Error");
    EXPECT_EQ(boxes[0].text, "Commands File Load Error.  Error: database disk image is malformed (11).");
}

TEST_F(StoredCommandMenusTest, TheFirst999AreOfferedAndRebuildsLeaveNothingBehind) {
    // Ten cards of 100 commands: 1010 numbers wanted, 999 available.
    std::vector<std::string> cards, names;
    for (int card = 0; card < 10; ++card) cards.push_back("Card" + std::to_string(card));
    for (int i = 0; i < 100; ++i) names.push_back(std::to_string(i));
    std::vector<StoredRecord> records;
    for (const std::string &card : cards)
        for (const std::string &name : names) records.push_back({card.c_str(), name.c_str(), "200010000000"});
    writeCommands(records);
    startReader();
    runMainWindow({{"MAIN$WINDOW",
                    [&](runtime::qt::Window &w) {
                        runtime::qt::Menus &m = *w.menus();
                        EXPECT_TRUE(m.contains(1999));
                        EXPECT_FALSE(m.contains(2000));
                        EXPECT_EQ(m.menu(1910)->title(), "Card9");
                        EXPECT_EQ(m.menu(1910)->actions().size(), 89);
                        // Short enough for the window; the tip tells the whole.
                        EXPECT_EQ(w.statusText(), "11 comandos no caben en el menú Tarjeta");
                        EXPECT_EQ(w.findChild<QLabel *>("statusText")->toolTip(),
                                  "El menú Tarjeta admite 999 entradas entre tarjetas y comandos: 11 comandos no se "
                                  "muestran.");
                        EXPECT_LE(w.findChild<QLabel *>("statusText")->sizeHint().width(),
                                  w.findChild<QLabel *>("statusText")->width())
                            << "shown whole at the window's width";

                        const auto actions = w.findChildren<QAction *>().size();
                        const auto menus = w.findChildren<QMenu *>().size();
                        for (int rebuild = 0; rebuild < 100; ++rebuild) {
                            choose(w, "utilities.commands");
                            ASSERT_EQ(w.findChildren<QAction *>().size(), actions) << "rebuild " << rebuild;
                            ASSERT_EQ(w.findChildren<QMenu *>().size(), menus) << "rebuild " << rebuild;
                        }
                        EXPECT_EQ(m.action(1002)->text(), "0");
                        EXPECT_EQ(tarjeta(w)->actions().size(), 4 + 10);
                    }},
                   {"BROWSECMD$QUICKWINDOW", [](runtime::qt::Window &browser) { browser.close(); }}});
}

// A rebuild keeps the items that stand as they were, from the first on, and
// makes those from the first change on: the menus are those of a fresh
// build, numbers included.
TEST_F(StoredCommandMenusTest, ARebuildRemakesTheItemsFromTheFirstChangeOn) {
    writeCommands({{"A", "a1", "200010000000"},
                   {"A", "a2", "200010000000"},
                   {"B", "b1", "200010000000"},
                   {"B", "b2", "200010000000", "", 0x71},
                   {"C", "c1", "200010000000"}});
    startReader();
    runMainWindow({{"MAIN$WINDOW",
                    [&](runtime::qt::Window &w) {
                        runtime::qt::Menus &m = *w.menus();
                        QAction *a1 = m.action(1002);
                        QAction *b2 = m.action(1006);
                        choose(w, "utilities.commands");  // adds "b0" to B
                        EXPECT_EQ(texts(tarjeta(w)), QStringList({"Comando ISO &Out", "Comando ISO &In", "-",
                                                                  "[Comandos]", ">A", ">B", ">C"}));
                        EXPECT_EQ(m.action(1002), a1) << "kept: before the first change";
                        EXPECT_EQ(texts(m.menu(1004)), QStringList({"b1", "b2", "b0"}));
                        EXPECT_EQ(m.action(1006), b2) << "kept: the last item before the first change";
                        EXPECT_EQ(m.action(1006)->shortcut(), QKeySequence(Qt::Key_F2));
                        EXPECT_EQ(m.menu(1007), nullptr) << "C's submenu, once 1007, is an entry now";
                        EXPECT_EQ(m.action(1007)->text(), "b0");
                        ASSERT_NE(m.menu(1008), nullptr);
                        EXPECT_EQ(m.menu(1008)->title(), "C");
                        EXPECT_EQ(texts(m.menu(1008)), QStringList({"c1"}));
                        EXPECT_FALSE(m.contains(1010));
                        m.action(1009)->trigger();
                        EXPECT_EQ(text(w, "CODE"), "20");
                    }},
                   {"BROWSECMD$QUICKWINDOW", [&](runtime::qt::Window &browser) {
                        library::Commands &record = library.commandsRecord();
                        record = library::blankCommands();
                        library::setField(record.card, "B");
                        library::setField(record.name, "b0");
                        ASSERT_EQ(library.commandsFile().add(), 0);
                        browser.close();
                    }}});
}

// Another process adds a command while the main window is not the active
// one: the menus show it when the window is activated again, and not before
// (nothing reads the file at rest).
TEST_F(StoredCommandMenusTest, AnotherProcessesAddShowsWhenTheMainWindowIsActivatedAgain) {
    writeCommands({{"EMV", "Select", "A100A4040007"}});
    const std::string path = std::filesystem::absolute(library.commandsFile().path()).string();
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        const QStringList before{"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]", ">EMV"};
        ASSERT_EQ(texts(tarjeta(w)), before);
        QWidget elsewhere;
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        ASSERT_TRUE(eventually([&] { return !w.isActiveWindow(); }));
        {
            kvr::testing::Peer adder({"adder", path, "1"});
            ASSERT_EQ(adder.readLine(), "ready");
            ASSERT_EQ(adder.readLine(), "0") << "the other process's add failed";
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(texts(tarjeta(w)), before) << "rebuilt before the window was activated";
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(eventually([&] { return texts(tarjeta(w)).contains(">peer"); }))
            << texts(tarjeta(w)).join(",").toStdString();
        ASSERT_NE(w.menus()->menu(1003), nullptr);
        EXPECT_EQ(texts(w.menus()->menu(1003)), QStringList({"0"}));
    });
}

// An open "??" gets the focus selected, so that the operator's typing
// replaces it: in P1 (two characters, full) typing would be refused, and in
// the hex view it would go in front of "??" and send other bytes.
TEST_F(StoredCommandMenusTest, AnOpenFieldIsSelectedSoThatTypingReplacesIt) {
    writeCommands({{"CARD", "Open P1", "A100A4??0000", "", 0x71}, {"CARD", "Open data", "A100A4040000", "??", 0x74}});
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        ASSERT_EQ(QApplication::focusWidget(), field(w, "P1"));
        EXPECT_EQ(field(w, "P1")->selectedText(), "??");
        QTest::keyClicks(field(w, "P1"), "0C");
        EXPECT_EQ(text(w, "P1"), "0C");

        // The hot key pressed in P1, then from the hex view itself.
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
            ASSERT_EQ(QApplication::focusWidget(), field(w, "requestHex"));
            EXPECT_EQ(field(w, "requestHex")->selectedText(), "??");
            QTest::keyClicks(field(w, "requestHex"), "4142");
            EXPECT_EQ(text(w, "requestHex"), "4142");
            EXPECT_EQ(text(w, "P3"), "02");
            EXPECT_EQ(text(w, "requestBytes"), "AB");
        }
    });
}

// A rebuild that cannot read COMMANDS (another process holds it locked)
// keeps the menus it had and says so; the next rebuild brings them up to
// date and takes the note away.
TEST_F(StoredCommandMenusTest, ARebuildThatCannotReadTheFileKeepsTheMenus) {
    writeCommands({{"EMV", "Select", "A100A4040007"}, {"SIM", "Status", "2100F2000016"}});
    const std::string path = std::filesystem::absolute(library.commandsFile().path()).string();
    startReader();
    std::unique_ptr<kvr::testing::Peer> holder;
    int browsed = 0;
    runMainWindow(
        {{"MAIN$WINDOW",
          [&](runtime::qt::Window &w) {
              runtime::qt::Menus &m = *w.menus();
              QLabel *status = w.findChild<QLabel *>("statusText");
              choose(w, "utilities.commands");
              ASSERT_TRUE(holder);
              EXPECT_EQ(texts(tarjeta(w)),
                        QStringList({"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]", ">EMV", ">SIM"}));
              EXPECT_EQ(texts(m.menu(1001)), QStringList({"Select"}));
              EXPECT_EQ(w.statusText(), "Menús de comandos sin actualizar: COMMANDS no se pudo leer");
              EXPECT_NE(status->toolTip().indexOf("otra estación puede tenerlo ocupado"), -1)
                  << status->toolTip().toStdString();
              // The entries kept still work once the file is free.
              holder.reset();
              m.action(1002)->trigger();
              EXPECT_EQ(text(w, "CODE") + text(w, "INS"), "A1A4");

              choose(w, "utilities.commands");
              EXPECT_EQ(texts(tarjeta(w)), QStringList({"Comando ISO &Out", "Comando ISO &In", "-", "[Comandos]",
                                                        ">EMV", ">SIM", ">UICC"}));
              EXPECT_EQ(w.statusText(), "");
              EXPECT_EQ(status->toolTip(), "");
          }},
         {"BROWSECMD$QUICKWINDOW", [&](runtime::qt::Window &browser) {
              if (++browsed == 1) {
                  // Another station adds a command, then holds the
                  // file while this browser closes.
                  library::Commands &record = library.commandsRecord();
                  record = library::blankCommands();
                  library::setField(record.card, "UICC");
                  library::setField(record.name, "Otro");
                  ASSERT_EQ(library.commandsFile().add(), 0);
                  holder =
                      std::make_unique<kvr::testing::Peer>(std::vector<std::string>{"hold-write-lock", path, "30000"});
                  ASSERT_EQ(holder->readLine(), "ready");
              }
              browser.close();
          }}});
}

// Names are shown as stored: an "&" is no access letter.  A hot key that a
// fixed item keeps is named in the status bar.
TEST_F(StoredCommandMenusTest, NamesShowAsStoredAndAHotKeyNotGivenIsTold) {
    writeCommands({{"R&D", "Save & Load", "200010000000", "", 0x243}, {"R&D", "Plain", "200010000000", "", 0x71}});
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        runtime::qt::Menus &m = *w.menus();
        EXPECT_EQ(m.menu(1001)->title(), "R&&D");
        EXPECT_EQ(m.action(1002)->text(), "Save && Load");
        for (const QString &shown : {m.menu(1001)->title(), m.action(1002)->text()})
            EXPECT_TRUE(QKeySequence::mnemonic(shown).isEmpty()) << shown.toStdString();
        EXPECT_TRUE(m.action(1002)->shortcut().isEmpty()) << "Ctrl+C stays with Copiar";
        EXPECT_EQ(m.action(1003)->shortcut(), QKeySequence(Qt::Key_F2));
        EXPECT_EQ(w.statusText(), "1 tecla rápida repetida no se asignó");
        EXPECT_EQ(w.findChild<QLabel *>("statusText")->toolTip(),
                  "Su tecla rápida ya es de otro elemento del menú: Save & Load.");
    });
}

}  // namespace
}  // namespace kvr::console::testing
