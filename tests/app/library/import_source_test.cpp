// The import's source is another installation's file: it is read and never
// written, whatever its form (the older forms are not turned, nothing is
// stamped, no journal or other file is left beside it), a source whose
// records table another program declared is refused, and a record whose
// bytes changed since they were written stops the import as a read error
// instead of going into COMMANDS.
#include "command_files.h"
#include "engines.h"
#include "library/command_import.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "older_forms.h"
#include "peer_process.h"
#include "sqlite_sql.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvr::library {
namespace {

using testing::numberedCommand;
using testing::RecordBytes;

std::string fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::vector<unsigned char>> images(const std::vector<RecordBytes> &records) {
    std::vector<std::vector<unsigned char>> out;
    for (const RecordBytes &r : records) out.emplace_back(r.begin(), r.end());
    return out;
}

class ImportSourceTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    testing::WarningRecorder recorder;
    CommandsLibrary library{recorder, ""};
    CommandsUse mainWindow{library};
    std::string sourceFolder = folder.file("otra");

    void SetUp() override {
        mainWindow.acquire();
        std::filesystem::create_directory(sourceFolder);
    }

    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(sourceFolder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ImportResult importFrom(const std::string &name) {
        library.setImportFileName(name);
        return importCommandFile(library);
    }
};

TEST_F(ImportSourceTest, ASourceOfEveryFormIsReadWithoutAByteOfItWritten) {
    std::vector<RecordBytes> records;
    for (int n = 0; n < 40; ++n) records.push_back(numberedCommand(n));
    struct Form {
        const char *what;
        std::function<void(const std::string &)> make;
    };
    const Form forms[] = {
        {"records kept whole, last written by the engine",
         [&](const std::string &p) { testing::makeOlderFormFile(p, images(records), 1, true); }},
        {"records kept whole, written by another program since",
         [&](const std::string &p) { testing::makeOlderFormFile(p, images(records), 1, false); }},
        {"records without their blank tails, no checksums",
         [&](const std::string &p) { testing::makeOlderFormFile(p, images(records), 2, true); }},
        {"the current form, with checksums",
         [&](const std::string &p) { ASSERT_TRUE(testing::writeCommandFile(p, records)); }},
        {"the current form, written by another program since",
         [&](const std::string &p) {
             ASSERT_TRUE(testing::writeCommandFile(p, records));
             testing::sqliteValue(p, "UPDATE keyed_check SET stamp = -1");
         }},
    };
    int round = 0;
    for (const Form &form : forms) {
        SCOPED_TRACE(form.what);
        const std::string source = sourceFolder + "/FORMA" + std::to_string(round++) + ".tps";
        form.make(source);
        ASSERT_FALSE(HasFailure());
        const std::string before = fileBytes(source);
        const std::vector<std::string> names = listing();
        const ImportResult result = importFrom(source);
        ASSERT_FALSE(result.openError) << openErrorText(*result.openError);
        EXPECT_TRUE(result.report.clean()) << result.report.firstError;
        EXPECT_EQ(result.report.appended, 40);
        EXPECT_EQ(fileBytes(source), before);
        EXPECT_EQ(listing(), names);
    }
    EXPECT_EQ(testing::inKeyOrder(library.commandsFile()).size(), 40u * round);
}

TEST_F(ImportSourceTest, ASourceWhoseRecordsTableIsDeclaredOtherwiseIsRefusedAndLeftAsItWas) {
    const std::string source = sourceFolder + "/AJENO.tps";
    testing::makeOlderFormFile(source, images({numberedCommand(1), numberedCommand(2)}), 1, false,
                               "CREATE TABLE records(data BLOB NOT NULL CHECK (length(data) = 184),"
                               " version INTEGER NOT NULL, key BLOB, recno INTEGER PRIMARY KEY AUTOINCREMENT);");
    ASSERT_FALSE(HasFailure());
    const std::string before = fileBytes(source);
    const std::vector<std::string> names = listing();
    const ImportResult result = importFrom(source);
    ASSERT_TRUE(result.openError);
    EXPECT_EQ(result.openError->code, 47);
    EXPECT_EQ(fileBytes(source), before);
    EXPECT_EQ(listing(), names);
    EXPECT_TRUE(testing::inKeyOrder(library.commandsFile()).empty());
}

// The third of five records in key order has a byte of its name changed in
// the file: the two before it are appended, the import stops there with the
// damage, and the source is still left as it was.
TEST_F(ImportSourceTest, ARecordWhoseBytesChangedStopsTheImportAsAReadError) {
    std::vector<RecordBytes> records;
    for (int n = 0; n < 5; ++n) records.push_back(numberedCommand(n * 5));  // one card each, in key order
    const std::string source = sourceFolder + "/DANADO.tps";
    ASSERT_TRUE(testing::writeCommandFile(source, records));
    std::string bytes = fileBytes(source);
    const std::string name = "command 10";
    const std::size_t at = bytes.find(name);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(name, at + 1), std::string::npos);
    bytes[at + 3] = 'N';
    std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes;
    const std::vector<std::string> names = listing();

    const ImportResult result = importFrom(source);
    ASSERT_FALSE(result.openError);
    EXPECT_TRUE(result.report.readError);
    EXPECT_EQ(result.report.appended, 2);
    EXPECT_EQ(result.report.firstError.rfind("database disk image is malformed (", 0), 0u) << result.report.firstError;
    EXPECT_EQ(testing::inKeyOrder(library.commandsFile()),
              std::vector<RecordBytes>(records.begin(), records.begin() + 2));
    EXPECT_EQ(fileBytes(source), bytes);
    EXPECT_EQ(listing(), names);
}

}  // namespace
}  // namespace kvr::library
