// "&Importar...": the platform's open-file dialog driven as the operator
// would, the boxes answered by the test, real command files, and a second
// process that keeps COMMANDS busy.
#include "library/import_commands.h"

#include "command_files.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "peer_process.h"
#include "runtime/file_dialog.h"
#include "runtime/wait_cursor.h"
#include "warning_recorder.h"
#include "when_shown.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kvr::library {
namespace {

using testing::inKeyOrder;
using testing::numberedCommand;
using testing::RecordBytes;
using testing::writeCommandFile;

class ImportCommandsTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    testing::WarningRecorder recorder;
    CommandsLibrary library{recorder};
    CommandsUse mainWindow{library};
    std::string commandsPath = folder.file("COMMANDS.tps");
    std::vector<RecordBytes> source{numberedCommand(0, "zeta"), numberedCommand(1, "Alfa"), numberedCommand(2, "mid")};

    void SetUp() override { mainWindow.acquire(); }

    void choose(const std::string &path) {
        recorder.openFileAnswerer = [path](const runtime::OpenFileRequest &) { return QString::fromStdString(path); };
    }

    std::vector<RecordBytes> commands() { return inKeyOrder(library.commandsFile()); }
};

TEST_F(ImportCommandsTest, TheDialogOffersTheLastChoiceAndACleanImportOnlyCountsInTheStatusBar) {
    const std::string path = folder.file("OTROS.tps");
    ASSERT_TRUE(writeCommandFile(path, source));

    struct Seen {
        QString title, filter, directory;
        QStringList selected;
    };
    Seen first, second;
    bool waitCursorShown = true;
    std::string status;
    {
        test_support::WhenShown<QFileDialog> operatorChooses([&](QFileDialog &dialog) {
            first = {dialog.windowTitle(), dialog.selectedNameFilter(), dialog.directory().absolutePath(), {}};
            dialog.selectFile(QString::fromStdString(path));
            static_cast<QDialog &>(dialog).accept();  // as the Open button does
        });
        status = importCommands(recorder, library, [&](const ImportReport &) {
            waitCursorShown = waitCursorShown && runtime::WaitCursor::active() && QApplication::overrideCursor() &&
                              QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        EXPECT_TRUE(operatorChooses.ran());
    }
    EXPECT_EQ(first.title, "Escoger archivo a importar");
    EXPECT_EQ(first.filter, "Comandos (*.tps)");
    EXPECT_EQ(first.directory, QDir::current().absolutePath()) << "nothing chosen before: the current folder";
    EXPECT_EQ(status, "3 comandos importados");
    EXPECT_TRUE(waitCursorShown);
    EXPECT_FALSE(runtime::WaitCursor::active());
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(commands(), (std::vector<RecordBytes>{source[1], source[2], source[0]}));

    {
        test_support::WhenShown<QFileDialog> operatorCancels([&](QFileDialog &dialog) {
            second = {dialog.windowTitle(), dialog.selectedNameFilter(), dialog.directory().absolutePath(),
                      dialog.selectedFiles()};
            dialog.reject();
        });
        EXPECT_EQ(importCommands(recorder, library), "");
        EXPECT_TRUE(operatorCancels.ran());
    }
    EXPECT_EQ(second.directory, QString::fromStdString(folder.path()));
    EXPECT_EQ(second.selected, QStringList{QString::fromStdString(path)}) << "the last file chosen is offered";
    EXPECT_EQ(commands().size(), 3u) << "a cancelled dialog imports nothing";
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(ImportCommandsTest, ASourceThatCannotBeOpenedGetsTheErrorBoxNamingIt) {
    const std::string text = folder.file("TEXTO.tps");
    std::ofstream(text) << "CARD      NAME\n";
    std::filesystem::create_symlink(commandsPath, folder.file("enlace.tps"));
    const struct {
        std::string chosen;
        std::string text;
    } cases[] = {
        {text, "Error 90 al abrir el archivo: " + text},
        {folder.file("enlace.tps"), "Error 52 al abrir el archivo: " + folder.file("enlace.tps")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chosen);
        recorder.boxes.clear();
        choose(c.chosen);
        EXPECT_EQ(importCommands(recorder, library), "");
        ASSERT_EQ(recorder.boxes.size(), 1u);
        const runtime::MessageBoxRequest &box = recorder.boxes[0];
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.icon, runtime::MessageIcon::Stop);
        EXPECT_EQ(box.buttons, runtime::ButtonOk);
        EXPECT_TRUE(commands().empty());
    }
}

TEST_F(ImportCommandsTest, RecordsThatCouldNotBeAppendedAreCountedInABox) {
    const std::string path = folder.file("OTROS.tps");
    ASSERT_TRUE(writeCommandFile(path, source));
    choose(path);
    // Another process holds COMMANDS in a transaction past the 2-second wait.
    testing::Peer holder({"hold-transaction", commandsPath, "3000"});
    ASSERT_EQ(holder.readLine(), "ready");
    EXPECT_EQ(importCommands(recorder, library), "");
    ASSERT_EQ(recorder.boxes.size(), 1u);
    const runtime::MessageBoxRequest &box = recorder.boxes[0];
    EXPECT_EQ(box.caption, "Importar comandos");
    EXPECT_EQ(box.icon, runtime::MessageIcon::Exclamation);
    EXPECT_EQ(box.buttons, runtime::ButtonOk);
    EXPECT_EQ(box.text, "Comandos importados: 0\nComandos no importados: 3\nPrimer error: File Is Already Locked (32)");
    holder.wait();
    EXPECT_TRUE(commands().empty());
}

}  // namespace
}  // namespace kvr::library
