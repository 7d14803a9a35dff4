// The reader information and About windows, opened from the main window's
// menus against the reader emulator.
#include "window_test_support.h"

#include "console/info_windows.h"

#include "runtime/profile.h"
#include "when_shown.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <string>
#include <vector>

namespace kvr::console::testing {

using namespace session;
namespace {

QString labelText(runtime::qt::Window &w, const char *name) {
    auto *label = w.findChild<QLabel *>(name);
    EXPECT_NE(label, nullptr) << name;
    return label ? label->text() : QString();
}

QString hexDigits(const std::vector<uint8_t> &bytes, std::size_t from, std::size_t count) {
    QString text;
    for (std::size_t i = from; i < from + count; ++i)
        text += QString("%1").arg(bytes.at(i), 2, 16, QChar('0')).toUpper();
    return text;
}

void pressOk(runtime::qt::Window &w) {
    auto *ok = w.findChild<QPushButton *>("ok");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible()) << "OK closes the window";
}

class InfoWindowsTest : public ConsoleWindowTest {};

TEST_F(InfoWindowsTest, ReaderInformationShowsTheEmulatorsIdentification) {
    startReader();
    const std::vector<uint8_t> id = kvr7x::emu::defaultIdentification();
    const std::string text(id.begin(), id.end());
    const std::size_t hash = text.find('#');
    ASSERT_NE(hash, std::string::npos);
    bool shown = false;
    runMainWindow({
        {"MAIN$WINDOW",
         [&](runtime::qt::Window &w) {
             choose(w, "reader.info");
             EXPECT_TRUE(shown);
         }},
        {"INFOLECTOR$WINDOW",
         [&](runtime::qt::Window &w) {
             shown = true;
             EXPECT_EQ(w.windowTitle(), "Información del Lector");
             EXPECT_EQ(labelText(w, "model").trimmed(), QString::fromStdString(text.substr(0, hash)));
             EXPECT_EQ(labelText(w, "port"), "COM2");
             EXPECT_EQ(labelText(w, "hardwareVersion").trimmed(), hexDigits(id, hash + 1, 2));
             EXPECT_EQ(labelText(w, "firmwareVersion").trimmed(),
                       hexDigits(id, hash + 3, 1) + "." + hexDigits(id, hash + 4, 1));
             EXPECT_EQ(labelText(w, "serialNumber").trimmed(), hexDigits(id, hash + 5, 8));
             QStringList labels;
             for (QLabel *l : w.client()->findChildren<QLabel *>())
                 if (l->objectName().isEmpty()) labels << l->text();
             EXPECT_EQ(labels, QStringList({"Modelo:", "Número de Serie:", "Puerto de Comunicaciones:",
                                            "Version Hardware:", "Version Firmware:"}));
             pressOk(w);
         }},
    });
}

TEST_F(InfoWindowsTest, BasicReaderHasNoVersions) {
    kvr7x::emu::Config config;
    config.identification = kvr7x::emu::basicIdentification();
    startReader(config);
    const std::vector<uint8_t> &id = config.identification;
    const std::string text(id.begin(), id.end());
    const std::size_t hash = text.find('#');
    runMainWindow({
        {"MAIN$WINDOW", [&](runtime::qt::Window &w) { choose(w, "reader.info"); }},
        {"INFOLECTOR$WINDOW",
         [&](runtime::qt::Window &w) {
             EXPECT_EQ(labelText(w, "serialNumber").trimmed(), hexDigits(id, hash + 1, 5));
             EXPECT_EQ(labelText(w, "hardwareVersion").trimmed(), "");
             EXPECT_EQ(labelText(w, "firmwareVersion").trimmed(), "");
         }},
    });
}

TEST_F(InfoWindowsTest, FailedIdentificationShowsOnlyThePort) {
    startReader();
    emulator->setSilent(true);
    runMainWindow({
        {"MAIN$WINDOW", [&](runtime::qt::Window &w) { choose(w, "reader.info"); }},
        {"INFOLECTOR$WINDOW",
         [&](runtime::qt::Window &w) {
             for (const char *name : {"model", "serialNumber", "hardwareVersion", "firmwareVersion"})
                 EXPECT_EQ(labelText(w, name).trimmed(), "") << name;
             EXPECT_EQ(labelText(w, "port"), "COM2");
         }},
    });
}

TEST_F(InfoWindowsTest, EachWindowKeepsItsPlace) {
    startReader();
    struct Case {
        const char *item, *window, *section;
    };
    const Case cases[] = {{"reader.info", "INFOLECTOR$WINDOW", "InfoLector"}, {"help.about", "ABOUT$WINDOW", "About"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.window);
        QPoint placed;
        int opened = 0;
        runMainWindow({
            {"MAIN$WINDOW",
             [&](runtime::qt::Window &w) {
                 choose(w, c.item);
                 choose(w, c.item);
                 EXPECT_TRUE(w.isVisible()) << "the main window runs on";
             }},
            {c.window,
             [&](runtime::qt::Window &w) {
                 if (++opened == 1) {
                     w.move(w.pos() + QPoint(41, 23));
                     placed = w.pos();
                 } else {
                     // Places are kept in dialog units: back to within one unit.
                     EXPECT_LE(std::abs(w.pos().x() - placed.x()), w.units().toPixelsX(1));
                     EXPECT_LE(std::abs(w.pos().y() - placed.y()), w.units().toPixelsY(1));
                 }
                 w.close();
             }},
        });
        EXPECT_EQ(opened, 2);
        EXPECT_NE(runtime::readProfileString(c.section, "XPosit", "", "KVRMAN1.INI"), "");
    }
}

// Where each control stands, in dialog units.
TEST_F(InfoWindowsTest, LayoutInDialogUnits) {
    startReader();
    const auto at = [](runtime::qt::Window &, QWidget *control) { return control->pos(); };
    runMainWindow({
        {"MAIN$WINDOW",
         [&](runtime::qt::Window &w) {
             choose(w, "reader.info");
             choose(w, "help.about");
         }},
        {"INFOLECTOR$WINDOW",
         [&](runtime::qt::Window &w) {
             EXPECT_EQ(w.client()->size(), w.units().toPixels(QSize(260, 100)));
             const std::pair<const char *, int> rows[] = {{"Modelo:", 5},
                                                          {"Número de Serie:", 20},
                                                          {"Puerto de Comunicaciones:", 35},
                                                          {"Version Hardware:", 49},
                                                          {"Version Firmware:", 64}};
             const char *values[] = {"model", "serialNumber", "port", "hardwareVersion", "firmwareVersion"};
             std::size_t row = 0;
             for (QLabel *l : w.client()->findChildren<QLabel *>()) {
                 if (!l->objectName().isEmpty() || row >= std::size(rows)) continue;
                 EXPECT_EQ(l->text(), rows[row].first);
                 EXPECT_EQ(at(w, l), w.units().toPixels(QPoint(5, rows[row].second))) << rows[row].first;
                 auto *value = w.findChild<QLabel *>(values[row]);
                 ASSERT_NE(value, nullptr);
                 EXPECT_EQ(at(w, value), w.units().toPixels(QPoint(139, rows[row].second))) << values[row];
                 ++row;
             }
             EXPECT_EQ(row, std::size(rows));
             auto *ok = w.findChild<QPushButton *>("ok");
             ASSERT_NE(ok, nullptr);
             EXPECT_EQ(ok->geometry(), w.units().toPixels(QRect(93, 79, 75, 14)));
         }},
        {"ABOUT$WINDOW",
         [&](runtime::qt::Window &w) {
             EXPECT_EQ(w.client()->size(), w.units().toPixels(QSize(163, 77)));
             auto *icon = w.findChild<QLabel *>("icon");
             ASSERT_NE(icon, nullptr);
             EXPECT_EQ(at(w, icon), w.units().toPixels(QPoint(74, 2)));
             const std::pair<const char *, int> lines[] = {{"product", 16}, {"notice", 26}, {"contact", 45}};
             for (const auto &[name, y] : lines) {
                 auto *line = w.findChild<QLabel *>(name);
                 ASSERT_NE(line, nullptr) << name;
                 EXPECT_EQ(line->geometry(), w.units().toPixels(QRect(12, y, 138, 10))) << name;
             }
             auto *library = w.findChild<QLabel *>("library");
             ASSERT_NE(library, nullptr);
             EXPECT_EQ(library->geometry(), w.units().toPixels(QRect(12, 36, 138, 9)));
             auto *ok = w.findChild<QPushButton *>("ok");
             ASSERT_NE(ok, nullptr);
             EXPECT_EQ(ok->geometry(), w.units().toPixels(QRect(50, 60, 61, 14)));
         }},
    });
}

TEST_F(InfoWindowsTest, AboutOpensAndCloses) {
    startReader();
    runMainWindow({
        {"MAIN$WINDOW", [&](runtime::qt::Window &w) { choose(w, "help.about"); }},
        {"ABOUT$WINDOW",
         [&](runtime::qt::Window &w) {
             EXPECT_EQ(w.windowTitle(), "Acerca de KvrMan");
             EXPECT_EQ(labelText(w, "product"), "Kvr Manager V3.01");
             EXPECT_TRUE(labelText(w, "notice").contains("3.01"));
             EXPECT_FALSE(labelText(w, "contact").isEmpty());
             for (const char *name : {"product", "notice", "contact"}) {
                 auto *line = w.findChild<QLabel *>(name);
                 EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width()) << name << " is cut";
             }
             // Which command library is in use: here the file in the current
             // directory; a long place loses its middle, the tip has it all.
             auto *place = w.findChild<QLabel *>("library");
             ASSERT_NE(place, nullptr);
             const QString full = QString::fromUtf8(kAboutLibrary) + QString::fromStdString(library.placeText());
             EXPECT_EQ(place->toolTip(), full);
             EXPECT_TRUE(place->text().startsWith("Biblioteca: /"));
             EXPECT_TRUE(place->text().endsWith("COMMANDS.tps"));
             EXPECT_LE(place->fontMetrics().horizontalAdvance(place->text()), place->width());
             auto *icon = w.findChild<QLabel *>("icon");
             ASSERT_NE(icon, nullptr);
             EXPECT_FALSE(icon->pixmap().isNull());
             pressOk(w);
         }},
    });
}

// Closing a window opened from the main window, or the import's file
// dialog, gives the keyboard back to the field that had it, without a
// click, and the operator goes on typing where they were.
TEST_F(InfoWindowsTest, TheKeyboardComesBackToTheMainWindowWhenAWindowCloses) {
    startReader();
    const auto closeIt = [](runtime::qt::Window &w) { w.close(); };
    test_support::WhenShown<QFileDialog> cancelImport([](QFileDialog &dialog) { dialog.reject(); });
    runMainWindow({
        {"MAIN$WINDOW",
         [&](runtime::qt::Window &w) {
             choose(w, "card.isoIn");
             for (const char *item : {"reader.info", "help.about", "utilities.commands", "utilities.import"}) {
                 SCOPED_TRACE(item);
                 type(w, "P1", "00");  // from another field, so that typing replaces the view
                 type(w, "requestHex", "00 A4 ");
                 ASSERT_EQ(QApplication::focusWidget(), field(w, "requestHex"));
                 choose(w, item);
                 EXPECT_TRUE(eventually([&] { return QApplication::activeWindow() == &w; }));
                 ASSERT_EQ(QApplication::focusWidget(), field(w, "requestHex"));
                 QTest::keyClicks(field(w, "requestHex"), "B0");
                 EXPECT_EQ(text(w, "requestHex"), "00 A4 B0");
             }
         }},
        {"INFOLECTOR$WINDOW", closeIt},
        {"ABOUT$WINDOW", closeIt},
        {"BROWSECMD$QUICKWINDOW", closeIt},
    });
    EXPECT_TRUE(cancelImport.ran());
}

}  // namespace
}  // namespace kvr::console::testing
