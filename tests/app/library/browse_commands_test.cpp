// The command browser on real COMMANDS files, driven as the operator would
// (keys, buttons, the scroll bar, the edit form it calls), with a second
// process where another station matters.  Boxes are answered by the test.
#include "library/browse_commands.h"

#include "command_files.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "sample_command.h"
#include "library/key_stops.h"
#include "peer_process.h"
#include "runtime/qt/page_list.h"
#include "runtime/profile.h"
#include "runtime/settings_file.h"
#include "runtime/qt/window.h"
#include "temporary_config.h"
#include "warning_recorder.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace kvr::library {
namespace {

using runtime::qt::PageList;
using runtime::qt::Window;
using testing::Peer;
using testing::runPeer;
using Clock = std::chrono::steady_clock;
using Script = std::function<void(Window &)>;

constexpr const char *kBrowser = "BROWSECMD$QUICKWINDOW";
constexpr const char *kForm = "UPDATECOMMANDS$QUICKWINDOW";

Commands command(const std::string &card, const std::string &name) {
    return testing::sampleCommand(card, name, "3F00");
}

PageList &list(Window &w) {
    auto *found = w.findChild<PageList *>("list");
    if (!found) throw std::runtime_error("no list");
    return *found;
}

QPushButton *button(Window &w, const char *name) { return w.findChild<QPushButton *>(name); }

void click(Window &w, const char *name) {
    QPushButton *b = button(w, name);
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
}

// The cell texts of one column, trailing spaces dropped.
QStringList column(Window &w, int index) {
    QStringList texts;
    for (int row = 1; row <= list(w).rowCount(); ++row) texts << list(w).cellText(row, index).trimmed();
    return texts;
}
QStringList cards(Window &w) { return column(w, 0); }
QStringList names(Window &w) { return column(w, 1); }

QString currentName(Window &w) {
    const int row = list(w).currentRow();
    return row > 0 ? list(w).cellText(row, 1).trimmed() : QString();
}
QString currentCard(Window &w) {
    const int row = list(w).currentRow();
    return row > 0 ? list(w).cellText(row, 0).trimmed() : QString();
}

// A key pressed in the list; what it asks for may come one event later.
void press(Window &w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(list(w).rowsView(), key, modifiers);
    QCoreApplication::processEvents();
}

void typeIn(Window &w, const QString &text) {
    QTest::keyClicks(list(w).rowsView(), text);
    QCoreApplication::processEvents();
}

// Drags the thumb to a position and drops it there.
void dropThumb(Window &w, int position) {
    QScrollBar *bar = list(w).scrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(position);
    bar->setSliderDown(false);
    QCoreApplication::processEvents();
}

// Answers the next popup menu once it is up.
void answerPopup(std::function<void(QMenu &)> answer) {
    auto *poll = new QTimer;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, deadline] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (menu && menu->isVisible()) {
            poll->stop();
            poll->deleteLater();
            answer(*menu);
            return;
        }
        if (Clock::now() > deadline) {
            ADD_FAILURE() << "no popup menu came up";
            if (QWidget *popup = QApplication::activePopupWidget()) popup->close();
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

class BrowseCommandsTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    test_support::TemporaryConfig config;
    testing::WarningRecorder recorder;
    CommandsLibrary library{recorder};
    CommandsUse mainWindowUse{library};  // the main window keeps COMMANDS open
    std::string path = (std::filesystem::path(folder.path()) / "COMMANDS.tps").string();
    // Runs in the edit form's window, one for each time the form opens.
    std::deque<Script> forms;
    int formsOpened = 0;

    void SetUp() override { mainWindowUse.acquire(); }

    std::uint32_t add(const Commands &c) {
        library.commandsRecord() = c;
        EXPECT_EQ(library.commandsFile().add(), 0);
        return library.commandsFile().recordNumber();
    }

    // count records, five commands to a card named in letters ("AAA",
    // "AAB" ...), added in a scattered order; returns card and name of each
    // in key order (card, then the order of adding).
    std::vector<std::pair<QString, QString>> addMany(int count) {
        keyed::KeyedFile &file = library.commandsFile();
        EXPECT_EQ(file.beginTransaction(), 0);
        std::vector<std::tuple<std::string, std::uint32_t, std::string>> added;
        for (int n = 0; n < count; ++n) {
            const int i = static_cast<int>((static_cast<long long>(n) * 7919) % count);
            const int c = i / 5;
            const std::string card{char('A' + c / 676), char('A' + c / 26 % 26), char('A' + c % 26)};
            const std::string name = "command " + std::to_string(i);
            added.emplace_back(card, add(command(card, name)), name);
        }
        EXPECT_EQ(file.commit(), 0);
        std::sort(added.begin(), added.end());
        std::vector<std::pair<QString, QString>> order;
        for (const auto &[card, recno, name] : added)
            order.emplace_back(QString::fromStdString(card), QString::fromStdString(name));
        return order;
    }

    std::uint32_t fileChanges() const { return testing::fileChanges(path); }

    // Runs the browser with the script in its window; the browser is closed
    // after the script unless it closed already.  Each opening of the edit
    // form runs the next script of forms, which should close it.
    void browse(const Script &script) {
        bool ran = false;
        recorder.windowRunHook = [&](Window &w) {
            w.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w, 5000)) << w.name();
            if (w.name() == kForm) {
                ++formsOpened;
                if (forms.empty()) {
                    ADD_FAILURE() << "the edit form opened unexpectedly";
                } else {
                    const Script form = forms.front();
                    forms.pop_front();
                    form(w);
                }
                if (w.isVisible()) {
                    ADD_FAILURE() << "the form is still open after its script";
                    w.close();
                }
                return;
            }
            ASSERT_EQ(w.name(), kBrowser);
            ran = true;
            script(w);
            if (w.isVisible()) w.close();
        };
        library.formCall().request = 0;
        browseCommands(recorder, library);
        recorder.windowRunHook = nullptr;
        EXPECT_TRUE(ran);
        EXPECT_TRUE(forms.empty()) << "form scripts left over";
        EXPECT_EQ(library.formCall().response, 2);
        EXPECT_EQ(library.useCount(), 1) << "the browser released its use of COMMANDS";
    }

    std::vector<std::string> captions() const {
        std::vector<std::string> list;
        for (const auto &box : recorder.boxes) list.push_back(box.caption);
        return list;
    }
};

// An entry of the edit form.
QLineEdit *entry(Window &w, const char *name) { return w.findChild<QLineEdit *>(name); }

void typeInto(Window &w, const char *name, const QString &keys) {
    QLineEdit *field = entry(w, name);
    ASSERT_NE(field, nullptr) << name;
    field->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    field->selectAll();
    QTest::keyClicks(field, keys);
}

TEST_F(BrowseCommandsTest, ThreeRowsFillNoPageAndTheWindowIsLaidOutInDialogUnits) {
    add(command("Visa", "Select"));
    add(command("", "Sin tarjeta"));  // a blank card name is never listed
    add(command("amex", "Verify"));
    add(command("EMV", "Read"));
    QSize resized;
    browse([&](Window &w) {
        EXPECT_EQ(w.windowTitle(), "Comandos");
        EXPECT_TRUE(w.isResizable());
        EXPECT_EQ(w.minimumSize(), w.size());
        const runtime::qt::DialogUnits &du = w.units();
        PageList &l = list(w);
        EXPECT_EQ(l.geometry(), du.toPixels(QRect(8, 5, 413, 157)));
        const QStringList headings{"Card", "Name", "Cod", "Cla", "Ins", "P1", "P2", "P3", "Data"};
        const int widths[] = {44, 127, 20, 20, 20, 20, 20, 20, 512};
        ASSERT_EQ(l.columnCount(), 9);
        for (int c = 0; c < 9; ++c) {
            EXPECT_EQ(l.columnHeading(c), headings[c]);
            EXPECT_EQ(l.columnWidth(c), du.toPixelsX(widths[c])) << c;
        }
        // The buttons below the list, "&Select" not shown.
        const std::pair<const char *, const char *> texts[] = {
            {"insert", "&Insert"}, {"change", "&Change"}, {"delete", "&Delete"}, {"close", "Close"}, {"help", "Help"}};
        for (const auto &[name, text] : texts) {
            QPushButton *b = button(w, name);
            ASSERT_NE(b, nullptr) << name;
            EXPECT_EQ(b->text(), text);
            EXPECT_EQ(b->size(), du.toPixels(QSize(45, 14)));
            EXPECT_GT(b->y(), l.geometry().bottom()) << name;
        }
        for (QPushButton *b : w.findChildren<QPushButton *>()) EXPECT_NE(b->text(), "&Select");
        EXPECT_EQ(w.statusText(), "Browsing Records");

        // All three in key order, the first current, no scroll bar.
        EXPECT_GT(l.visibleRowCount(), 3);
        EXPECT_EQ(cards(w), QStringList({"amex", "EMV", "Visa"}));
        EXPECT_EQ(names(w), QStringList({"Verify", "Read", "Select"}));
        EXPECT_EQ(l.currentRow(), 1);
        EXPECT_EQ(fieldText(library.commandsRecord().name), "Verify") << "the current row is in the record buffer";
        EXPECT_FALSE(l.scrollBarShown());
        EXPECT_TRUE(button(w, "change")->isEnabled());
        EXPECT_TRUE(button(w, "delete")->isEnabled());
        EXPECT_EQ(list(w).cellText(1, 8), QString("3F00").leftJustified(128)) << "each field as text of its width";

        // Rows and pages stop at the ends of the file.
        press(w, Qt::Key_Down);
        press(w, Qt::Key_Down);
        press(w, Qt::Key_Down);
        EXPECT_EQ(currentCard(w), "Visa");
        press(w, Qt::Key_PageDown);
        press(w, Qt::Key_PageUp);
        EXPECT_EQ(cards(w), QStringList({"amex", "EMV", "Visa"}));
        EXPECT_EQ(currentCard(w), "amex");

        click(w, "help");
        ASSERT_EQ(captions(), std::vector<std::string>{"Ayuda"});
        EXPECT_NE(recorder.boxes[0].text.find("Ctrl+Intro"), std::string::npos);

        w.resize(w.width() + 40, w.height() + 60);
        QCoreApplication::processEvents();
        EXPECT_EQ(list(w).geometry().size(), du.toPixels(QSize(413, 157)) + QSize(40, 60));
        EXPECT_EQ(button(w, "help")->geometry().bottomRight(),
                  du.toPixels(QRect(376, 166, 45, 14)).bottomRight() + QPoint(40, 60));
        resized = w.size();
        click(w, "close");
    });
    EXPECT_NE(runtime::readProfileString("BrowseCMD", "Width", "0", runtime::kSettingsFile), "0");
    recorder.boxes.clear();

    // The next opening comes back at the stored size and shows more rows.
    browse([&](Window &w) {
        EXPECT_NEAR(w.width(), resized.width(), w.units().toPixelsX(1));
        EXPECT_NEAR(w.height(), resized.height(), w.units().toPixelsY(1));
        EXPECT_EQ(cards(w), QStringList({"amex", "EMV", "Visa"}));
        EXPECT_EQ(list(w).currentRow(), 1);
    });
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(BrowseCommandsTest, PagesSlideThroughTenThousandRecords) {
    const auto order = addMany(10000);
    const auto slice = [&order](int from, int count) {
        QStringList shown;
        for (int i = from; i < from + count; ++i) shown << order[static_cast<std::size_t>(i)].second;
        return shown;
    };
    const auto nameAt = [&order](int i) { return order[static_cast<std::size_t>(i)].second; };
    browse([&](Window &w) {
        PageList &l = list(w);
        const int n = l.visibleRowCount();
        ASSERT_GT(n, 3);
        EXPECT_EQ(names(w), slice(0, n));
        EXPECT_EQ(l.currentRow(), 1);
        EXPECT_TRUE(l.scrollBarShown());
        EXPECT_EQ(l.thumb(), 0);

        // Down to the last row, then one more: the page slides by a row.
        for (int i = 1; i < n; ++i) press(w, Qt::Key_Down);
        EXPECT_EQ(l.currentRow(), n);
        EXPECT_EQ(names(w), slice(0, n));
        press(w, Qt::Key_Down);
        EXPECT_EQ(names(w), slice(1, n));
        EXPECT_EQ(l.currentRow(), n);
        EXPECT_EQ(currentName(w), nameAt(n));
        // A page down keeps the current row's place.
        press(w, Qt::Key_PageDown);
        EXPECT_EQ(names(w), slice(1 + n, n));
        EXPECT_EQ(currentName(w), nameAt(2 * n));
        press(w, Qt::Key_Home);
        EXPECT_EQ(names(w), slice(0, n));
        EXPECT_EQ(l.currentRow(), 1);
        press(w, Qt::Key_Up);
        EXPECT_EQ(names(w), slice(0, n)) << "the start of the file stops";

        // The scroll bar's track and arrows ask for pages and rows.
        l.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCoreApplication::processEvents();
        EXPECT_EQ(names(w), slice(n, n));
        l.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCoreApplication::processEvents();
        EXPECT_EQ(names(w), slice(n - 1, n));

        press(w, Qt::Key_End);
        EXPECT_EQ(names(w), slice(10000 - n, n));
        EXPECT_EQ(l.currentRow(), n);
        EXPECT_EQ(l.thumb(), 100);
        press(w, Qt::Key_Down);
        press(w, Qt::Key_PageDown);
        EXPECT_EQ(names(w), slice(10000 - n, n)) << "the end of the file stops";

        // The thumb's ends give the first and the last page; a place in
        // between the first command of the first card not below that stop.
        dropThumb(w, 0);
        EXPECT_EQ(names(w), slice(0, n));
        EXPECT_EQ(l.currentRow(), 1);
        dropThumb(w, 100);
        EXPECT_EQ(names(w), slice(10000 - n, n));
        EXPECT_EQ(l.currentRow(), n);
        const KeyStops stops = keyStops("AAA", order.back().first.toStdString(), 10);
        for (const int position : {2, 50, 99}) {
            SCOPED_TRACE(position);
            dropThumb(w, position);
            const QString stop = QString::fromStdString(stops[static_cast<std::size_t>(position) - 1]);
            const auto found = std::find_if(order.begin(), order.end(), [&stop](const auto &entry) {
                return entry.first.leftJustified(10) >= stop;
            });
            ASSERT_NE(found, order.end());
            const int index = static_cast<int>(found - order.begin());
            EXPECT_GT(index, 0);
            EXPECT_EQ(currentName(w), nameAt(index));
            EXPECT_EQ(names(w), slice(std::min(index, 10000 - n), n));
            EXPECT_EQ(l.thumb(), thumbPosition(stops, found->first.toStdString()));
        }
    });
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(BrowseCommandsTest, ALetterWalksThroughTheCardsThatBeginWithIt) {
    for (const char *card : {"CERO", "BRAVO", "ALFA", "BETA", "FOXTROT"})
        add(command(card, std::string("cmd ") + card));
    browse([&](Window &w) {
        EXPECT_EQ(currentCard(w), "ALFA");
        typeIn(w, "b");
        EXPECT_EQ(currentCard(w), "BETA");
        typeIn(w, "b");
        EXPECT_EQ(currentCard(w), "BRAVO");
        typeIn(w, "B");
        EXPECT_EQ(currentCard(w), "BETA");
        // No card begins with D: the first one after it; none after Z: the
        // last page with its last row current.
        typeIn(w, "d");
        EXPECT_EQ(currentCard(w), "FOXTROT");
        typeIn(w, "a");
        EXPECT_EQ(currentCard(w), "ALFA");
        typeIn(w, "z");
        EXPECT_EQ(cards(w), QStringList({"ALFA", "BETA", "BRAVO", "CERO", "FOXTROT"}));
        EXPECT_EQ(list(w).currentRow(), 5);
        typeIn(w, " ");
        EXPECT_EQ(list(w).currentRow(), 5) << "a space locates nothing";
    });
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(BrowseCommandsTest, AnInsertFarAwayIsShownCurrentAndAChangeWithoutEditsWritesNothing) {
    addMany(200);
    forms.push_back([](Window &f) {
        EXPECT_EQ(f.statusText(1), "Se añadirá un registro");
        EXPECT_EQ(entry(f, "card")->text(), "") << "an insert starts blank";
        typeInto(f, "card", "ZULU");
        typeInto(f, "name", "Nuevo al final");
        QTest::mouseClick(f.findChild<QPushButton *>("ok"), Qt::LeftButton);
    });
    forms.push_back([](Window &f) {
        typeInto(f, "card", "aba");
        typeInto(f, "name", "Nuevo en medio");
        QTest::mouseClick(f.findChild<QPushButton *>("ok"), Qt::LeftButton);
    });
    std::uint32_t before = 0;
    QStringList pageBefore;
    forms.push_back([&](Window &f) {
        EXPECT_EQ(f.statusText(1), "Se modificará el registro");
        before = fileChanges();
        QTest::mouseClick(f.findChild<QPushButton *>("ok"), Qt::LeftButton);
    });
    browse([&](Window &w) {
        const int n = list(w).visibleRowCount();
        // A new last record: the page fills up above it.
        click(w, "insert");
        EXPECT_EQ(list(w).currentRow(), n);
        EXPECT_EQ(currentCard(w), "ZULU");
        EXPECT_EQ(currentName(w), "Nuevo al final");
        EXPECT_EQ(w.focusWidget(), list(w).rowsView()) << "the focus is back on the list";
        // One in the middle of the file: the page starts at it, after the
        // commands its card (in any case) had already.
        press(w, Qt::Key_Insert);
        EXPECT_EQ(list(w).currentRow(), 1);
        EXPECT_EQ(currentName(w), "Nuevo en medio");
        EXPECT_EQ(currentCard(w), "aba");

        pageBefore = names(w);
        press(w, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(formsOpened, 3);
        EXPECT_EQ(fileChanges(), before) << "nothing written";
        EXPECT_EQ(currentName(w), "Nuevo en medio");
        EXPECT_EQ(names(w), pageBefore) << "rebuilt on the same record";
        press(w, Qt::Key_Up);
        EXPECT_EQ(currentCard(w), "ABA");
    });
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(BrowseCommandsTest, TheListsKeysAndItsMenuCallTheFormOnlyWhereThereIsARecord) {
    // An empty file: only Insert works.
    forms.push_back([](Window &f) {
        EXPECT_EQ(f.statusText(1), "Se añadirá un registro");
        QTest::mouseClick(f.findChild<QPushButton *>("cancel"), Qt::LeftButton);
    });
    browse([&](Window &w) {
        EXPECT_EQ(list(w).rowCount(), 0);
        EXPECT_EQ(list(w).currentRow(), 0);
        EXPECT_FALSE(button(w, "change")->isEnabled());
        EXPECT_FALSE(button(w, "delete")->isEnabled());
        EXPECT_FALSE(list(w).scrollBarShown());
        press(w, Qt::Key_Delete);
        press(w, Qt::Key_Return, Qt::ControlModifier);
        QTest::mouseDClick(list(w).rowsView()->viewport(), Qt::LeftButton);
        typeIn(w, "a");
        EXPECT_EQ(formsOpened, 0);
        press(w, Qt::Key_Insert);
        EXPECT_EQ(formsOpened, 1);
    });
    EXPECT_TRUE(recorder.boxes.empty());

    add(command("Visa", "Select"));
    add(command("Visa", "Read"));
    const auto changeForm = [](Window &f) {
        EXPECT_EQ(f.statusText(1), "Se modificará el registro");
        EXPECT_EQ(entry(f, "name")->text(), "Read");
        QTest::mouseClick(f.findChild<QPushButton *>("cancel"), Qt::LeftButton);
    };
    forms = {changeForm, changeForm};
    formsOpened = 0;
    browse([&](Window &w) {
        QWidget *viewport = list(w).rowsView()->viewport();
        const QRect second = list(w).rowsView()->visualItemRect(list(w).rowsView()->topLevelItem(1));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, second.center());
        EXPECT_EQ(list(w).currentRow(), 2);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, second.center());
        EXPECT_EQ(formsOpened, 1);
        EXPECT_EQ(list(w).currentRow(), 2) << "a cancelled form keeps the current row";

        // The right button: Insert, Change and Delete.
        QStringList offered;
        answerPopup([&offered](QMenu &menu) {
            for (QAction *a : menu.actions()) offered << a->text();
            menu.setActiveAction(menu.actions().at(1));
            QTest::keyClick(&menu, Qt::Key_Return);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, second.center(), viewport->mapToGlobal(second.center()));
        QApplication::sendEvent(viewport, &event);
        QCoreApplication::processEvents();
        EXPECT_EQ(offered, QStringList({"&Insert", "&Change", "&Delete"}));
        EXPECT_EQ(formsOpened, 2);
    });
}

TEST_F(BrowseCommandsTest, DeleteAsksAndTheNextRowTakesThePlace) {
    for (const char *name : {"uno", "dos", "tres"}) add(command("Visa", name));
    browse([&](Window &w) {
        press(w, Qt::Key_Down);
        recorder.answers = {runtime::ButtonCancel};
        press(w, Qt::Key_Delete);
        EXPECT_EQ(captions(), std::vector<std::string>{"Confirm Delete"});
        EXPECT_EQ(names(w), QStringList({"uno", "dos", "tres"}));
        EXPECT_EQ(currentName(w), "dos");

        recorder.answers = {runtime::ButtonOk};
        click(w, "delete");
        EXPECT_EQ(names(w), QStringList({"uno", "tres"}));
        EXPECT_EQ(currentName(w), "tres");
        EXPECT_EQ(w.focusWidget(), list(w).rowsView());
        // The last row gone: the new last row is current.
        recorder.answers = {runtime::ButtonOk};
        press(w, Qt::Key_Delete);
        EXPECT_EQ(names(w), QStringList({"uno"}));
        EXPECT_EQ(currentName(w), "uno");
    });
    EXPECT_EQ(captions(), std::vector<std::string>(3, "Confirm Delete"));
    EXPECT_EQ(library.commandsFile().records(), 1);
}

// A delete on the last page: the records above fill the page again, so it
// stays full and keeps its scroll bar.
TEST_F(BrowseCommandsTest, ADeleteNearTheEndFillsThePageFromAbove) {
    const auto order = addMany(60);
    const auto namesOf = [&order](int from, int to, int except) {
        QStringList shown;
        for (int i = from; i <= to; ++i)
            if (i != except) shown << order[static_cast<std::size_t>(i)].second;
        return shown;
    };
    browse([&](Window &w) {
        PageList &l = list(w);
        const int n = l.visibleRowCount();
        ASSERT_GT(n, 3);
        ASSERT_LT(n + 2, 60);
        press(w, Qt::Key_End);
        press(w, Qt::Key_Up);
        ASSERT_EQ(currentName(w), order[58].second);
        // The last but one, then the last: the next row, then the new last
        // row takes the place.
        const struct { int from, except, current; } deletes[] = {{59 - n, 58, 59}, {58 - n, 59, 57}};
        for (const auto &d : deletes) {
            SCOPED_TRACE(d.except);
            recorder.answers = {runtime::ButtonOk};
            press(w, Qt::Key_Delete);
            EXPECT_EQ(names(w), namesOf(d.from, d.except == 58 ? 59 : 57, d.except));
            EXPECT_EQ(l.rowCount(), n);
            EXPECT_TRUE(l.scrollBarShown());
            EXPECT_EQ(currentName(w), order[static_cast<std::size_t>(d.current)].second);
        }
    });
    EXPECT_EQ(library.commandsFile().records(), 58);
}

TEST_F(BrowseCommandsTest, AnotherStationsChangesAreReadBeforeTheFormAndCaughtByIt) {
    const auto recno = add(command("Visa", "Select"));
    add(command("Visa", "Read"));
    forms.push_back([&](Window &f) {
        // Changed before Change was pressed: the form shows it.
        EXPECT_EQ(entry(f, "name")->text(), "Su nombre");
        // Changed while the form is open: OK is refused with warning 38.
        ASSERT_EQ(runPeer({"put", path, std::to_string(recno), "Visa", "Otro nombre"}), "0");
        typeInto(f, "name", "Mi nombre");
        QTest::mouseClick(f.findChild<QPushButton *>("ok"), Qt::LeftButton);
        EXPECT_EQ(captions(), std::vector<std::string>{"Record Was Not Updated"});
        EXPECT_EQ(entry(f, "name")->text(), "Otro nombre");
        QTest::mouseClick(f.findChild<QPushButton *>("cancel"), Qt::LeftButton);
    });
    browse([&](Window &w) {
        EXPECT_EQ(currentName(w), "Select");
        ASSERT_EQ(runPeer({"put", path, std::to_string(recno), "Visa", "Su nombre"}), "0");
        click(w, "change");
        EXPECT_EQ(formsOpened, 1);
        // The cancelled form leaves the page read again.
        EXPECT_EQ(names(w), QStringList({"Otro nombre", "Read"}));
        EXPECT_EQ(currentName(w), "Otro nombre");
    });
}

TEST_F(BrowseCommandsTest, ADeleteWhileAnotherProcessHoldsTheFileTellsWarning34) {
    add(command("Visa", "Select"));
    Peer peer({"hold-transaction", path, "30000"});
    ASSERT_EQ(peer.readLine(), "ready");
    browse([&](Window &w) {
        recorder.answers = {runtime::ButtonOk, runtime::ButtonOk, runtime::ButtonNo};
        const auto start = Clock::now();
        press(w, Qt::Key_Delete);
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_GE(waited.count(), 1900);
        ASSERT_EQ(captions(),
                  (std::vector<std::string>{"Confirm Delete", "Transaction Framing Error", "Record Update Error"}));
        EXPECT_NE(recorder.boxes[1].text.find("attempting to frame the delete transaction on Commands"),
                  std::string::npos);
        EXPECT_EQ(names(w), QStringList{"Select"});
        EXPECT_TRUE(w.isVisible());
    });
}

TEST_F(BrowseCommandsTest, AReadThatFailsTellsWarning35AndCloses) {
    addMany(100);
    browse([&](Window &w) {
        Peer peer({"hold-write-lock", path, "30000"});
        ASSERT_EQ(peer.readLine(), "ready");
        press(w, Qt::Key_PageDown);
        ASSERT_EQ(captions(), std::vector<std::string>{"Record Retrieval Error"});
        EXPECT_NE(recorder.boxes[0].text.find("attempting to access a record from the Commands file.  Returning to "
                                              "previous window."),
                  std::string::npos)
            << recorder.boxes[0].text;
        EXPECT_FALSE(w.isVisible()) << "the browser closed";
    });
}

TEST_F(BrowseCommandsTest, AResizeOrComingBackReadsTheCurrentRecordAgainFromTheFirstCommandOfItsCard) {
    const auto order = addMany(1000);
    browse([&](Window &w) {
        PageList &l = list(w);
        const int n = l.visibleRowCount();
        press(w, Qt::Key_PageDown);
        for (int i = 0; i < 2; ++i) press(w, Qt::Key_Down);
        const QString card = currentCard(w);
        const auto first = std::find_if(order.begin(), order.end(), [&card](const auto &e) { return e.first == card; });
        ASSERT_NE(first, order.end());
        ASSERT_NE(currentName(w), first->second) << "a command other than its card's first";

        w.resize(w.width(), w.height() + 10 * l.rowsView()->fontMetrics().height());
        QCoreApplication::processEvents();
        ASSERT_GT(l.visibleRowCount(), n);
        EXPECT_EQ(l.rowCount(), l.visibleRowCount());
        EXPECT_EQ(l.currentRow(), 1);
        EXPECT_EQ(currentName(w), first->second);

        // Back from another program: another station's change is read, and
        // the current row moves to the first command of its card again.
        press(w, Qt::Key_Down);
        const std::string second = currentName(w).toStdString();
        std::uint32_t recno = 0;
        for (std::uint32_t number = 1; number <= 1000 && recno == 0; ++number)
            if (library.commandsFile().readByNumber(number) == 0 && fieldText(library.commandsRecord().name) == second)
                recno = number;
        ASSERT_NE(recno, 0u);
        ASSERT_EQ(runPeer({"put", path, std::to_string(recno), card.toStdString(), "Cambiado fuera"}), "0");
        // The focus goes to a window of another program, and comes back.
        QWidget elsewhere;
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        QCoreApplication::processEvents();
        ASSERT_FALSE(w.isActiveWindow());
        QApplication::setActiveWindow(&w);
        QCoreApplication::processEvents();
        ASSERT_TRUE(w.isActiveWindow());
        EXPECT_EQ(l.currentRow(), 1);
        EXPECT_EQ(currentName(w), first->second);
        EXPECT_EQ(names(w).at(1), "Cambiado fuera");
    });
}

}  // namespace
}  // namespace kvr::library
