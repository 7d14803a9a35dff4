#include "runtime/qt/file_dialog.h"
#include "runtime/qt/screen_interaction.h"
#include "scripted_interaction.h"
#include "when_shown.h"

#include <QApplication>
#include <QFileDialog>

#include <gtest/gtest.h>

namespace kvr::runtime::qt {
namespace {

TEST(FileDialog, FiltersBecomeQtFilters) {
    const std::pair<QString, QString> cases[] = {
        {"Comandos|*.tps", "Comandos (*.tps)"},
        {"Comandos|*.tps|Todos|*.*", "Comandos (*.tps);;Todos (*.*)"},
        {"Texto|*.txt;*.csv", "Texto (*.txt *.csv)"},
        {"Comandos", "Comandos (*)"},
        {"", ""},
    };
    for (const auto &[filter, expected] : cases) EXPECT_EQ(toQtFilter(filter), expected) << filter.toStdString();
}

TEST(FileDialog, TheAnswererStandsInForTheDialog) {
    OpenFileRequest seen;
    test_support::ScriptedInteraction interaction;
    interaction.openFileAnswerer = [&](const OpenFileRequest &request) {
        seen = request;
        return QStringLiteral("/data/OTROS.tps");
    };
    const std::string chosen = chooseOpenFile(interaction, "Importar comandos", "Comandos|*.tps");
    EXPECT_EQ(chosen, "/data/OTROS.tps");
    EXPECT_EQ(seen.title, "Importar comandos");
    EXPECT_EQ(toQtFilter(QString::fromStdString(seen.filter)), QStringLiteral("Comandos (*.tps)"));
}

TEST(FileDialog, CancellingTheRealDialogChoosesNothing) {
    QString title, filter;
    test_support::WhenShown<QFileDialog> driver([&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        filter = dialog.selectedNameFilter();
        dialog.reject();
    });
    ScreenInteraction screen;
    EXPECT_EQ(chooseOpenFile(screen, "Importar comandos", "Comandos|*.tps"), "");
    EXPECT_EQ(title, QStringLiteral("Importar comandos"));
    EXPECT_EQ(filter, QStringLiteral("Comandos (*.tps)"));
    EXPECT_TRUE(driver.ran());
}

}  // namespace
}  // namespace kvr::runtime::qt
