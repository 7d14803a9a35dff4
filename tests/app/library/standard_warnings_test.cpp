#include "library/standard_warnings.h"
#include "keyed_file/keyed_file.h"
#include "warning_recorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string_view>
#include <utility>

using namespace kvr::library;
using namespace kvr::keyed;
using namespace kvr::runtime;
using kvr::testing::ProgramEnded;
using kvr::testing::WarningRecorder;

namespace {

constexpr MessageIcon Q = MessageIcon::Question;
constexpr MessageIcon X = MessageIcon::Exclamation;

struct Row {
    int number;
    std::string t1, t2;
    std::string text, caption;
    MessageIcon icon;
    int buttons, defaultButton;
    std::string endText;  // "" when the warning returns
};

// An error of the COMMANDS file as the engine leaves it.
KeyedError fileError(int code, std::string driverCode = {}, std::string driverText = {}) {
    return {code, "COMMANDS", std::move(driverCode), std::move(driverText)};
}

// Raises entry I of the table through the call of its kind; the answer of a
// question, 0 for a warning that only tells.
template <std::size_t I>
int raiseEntry(Warnings &warnings, const KeyedError &error, std::string_view t1, std::string_view t2) {
    // The warning as a template argument: clang 14 takes neither a constexpr
    // local nor the table entry as a constant in the consteval conversion to
    // the kind's warning type inside a template.
    using Entry = std::integral_constant<Warning, kWarningTable[I].warning>;
    if constexpr (kWarningTable[I].kind() == WarningKind::Tells) {
        warnings.tell(Entry::value, error, t1, t2);
        return 0;
    } else if constexpr (kWarningTable[I].kind() == WarningKind::Asks) {
        return warnings.ask(Entry::value, error, t1, t2);
    } else {
        warnings.halt(Entry::value, error, t1, t2);
    }
}

// The calls take warnings known when compiling: one instance per entry.
int raise(Warnings &warnings, const KeyedError &error, int number, std::string_view t1 = {}, std::string_view t2 = {}) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        int result = -1;
        (void)((static_cast<int>(kWarningTable[I].warning) == number
                    ? (result = raiseEntry<I>(warnings, error, t1, t2), true)
                    : false) ||
               ...);
        return result;
    }
    (std::make_index_sequence<kWarningTable.size()>());
}

// E in every row: the engine's current error, File Not Found (2).
const std::string E = "File Not Found (2)";
const std::string T1 = "Commands  ", T2 = " Two  ";  // trailing spaces go, leading stay

const std::vector<Row> &rows() {
    static const std::vector<Row> table{
        {1, T1, T2, "Error: (" + E + ") accessing Commands.  Press OK to end this application.", "Invalid File", X,
         ButtonOk, ButtonOk, "Invalid File!"},
        {2, T1, T2, "Commands key file is invalid.  Do you want to rebuild the key?", "Invalid Key", Q,
         ButtonYes | ButtonNo, ButtonYes, ""},
        {3, T1, T2, "Error: (" + E + ") repairing key for Commands.  Press OK to end this application.",
         "Key Rebuild Error", X, ButtonOk, ButtonOk, "Error Rebuilding Key!"},
        {4, T1, T2, "Error: (" + E + ") creating Commands.  Press OK to end this application.", "File Creation Error",
         X, ButtonOk, ButtonOk, "File Creation Error!"},
        {5, T1, T2, "Error: (" + E + ") opening created file:Commands.  Press OK to end this application.",
         "File Creation Error", X, ButtonOk, ButtonOk, "File Creation Error!"},
        {6, T1, T2, "The Procedure Commands has not been defined.", "Procedure not defined", X, ButtonOk, ButtonOk, ""},
        {7, T1, T2, "Unable to read keyed record.  Error: " + E + ".  Insert Aborted", "Record Retrieval Error", X,
         ButtonOk, ButtonOk, ""},
        {8, T1, T2, "The value of Commands must be lower than  Two.", "Range Error", X, ButtonOk, ButtonOk, ""},
        {9, T1, T2, "The value of Commands must be higher than  Two.", "Range Error", X, ButtonOk, ButtonOk, ""},
        {10, T1, T2, "The value of Commands must be between  Two.", "Range Error", X, ButtonOk, ButtonOk, ""},
        {11, T1, T2, "The value for Commands must be found in the  Two file.", "Field Contents Error", X, ButtonOk,
         ButtonOk, ""},
        {12, T1, T2,
         "This record is referenced from the file Commands.  Linking field(s) have been restricted from change and "
         "have been reset to original values.",
         "Referential Integrity Update Error", X, ButtonOk, ButtonOk, ""},
        {13, T1, T2,
         "This record is referenced from the file Commands.  This record cannot be deleted while these references "
         "exist.",
         "Referential Integrity Delete Error", X, ButtonOk, ButtonOk, ""},
        {14, T1, T2, "An error was experienced during the update of record.  Error: " + E + ".", "Record Insert Error",
         X, ButtonOk, ButtonOk, ""},
        {15, T1, T2,
         "An error (" + E +
             ") was experienced when attempting to update a record from the file.  Probable Cause: "
             "Commands.",
         "Update Operation Error", X, ButtonOk, ButtonOk, ""},
        {16, T1, T2, "An error was experienced changing this record.  Do you want to try to save again?",
         "Record Update Error", X, ButtonYes | ButtonNo | ButtonCancel, ButtonCancel, ""},
        {17, T1, T2, "An error (" + E + ") was experienced when attempting to delete a record from the file Commands.",
         "Delete Operation Error", X, ButtonOk, ButtonOk, ""},
        {18, T1, T2, "An error was experienced deleting this record.  Do you want to try to save again?",
         "Record Update Error", X, ButtonYes | ButtonNo | ButtonCancel, ButtonCancel, ""},
        {19, T1, T2,
         "This procedure was called to insert a record, however inserts are not allowed for this procedure.  Press "
         "OK to return to the calling procedure",
         "Invalid Request", X, ButtonOk, ButtonOk, ""},
        {20, T1, T2,
         "This procedure was called to change a record, however changes are not allowed for this procedure.  Press "
         "OK to return to the calling procedure",
         "Invalid Request", X, ButtonOk, ButtonOk, ""},
        {21, T1, T2,
         "This procedure was called to delete a record, however deletions are not allowed for this procedure.  "
         "Press OK to return to the calling procedure",
         "Invalid Request", X, ButtonOk, ButtonOk, ""},
        {22, T1, T2,
         "The File Commands was not found, and creation of the file is not allowed.  Press OK to end this "
         "application.",
         "File Creation Not Allowed", X, ButtonOk, ButtonOk, "File Creation Error!"},
        {23, T1, T2, "Are you sure you want to cancel?", "Update Cancelled", Q, ButtonYes | ButtonNo, ButtonNo, ""},
        {24, T1, T2, "Adding this record creates a duplicate entry for the key:Commands", "Duplicate Key Error", X,
         ButtonOk, ButtonOk, ""},
        {25, T1, T2, "Attempts to automatically number this record have failed.  Error: " + E + ".",
         "Auto Increment Error", X, ButtonRetry | ButtonCancel, ButtonCancel, ""},
        {26, T1, T2, "Commands File Load Error.  Error: " + E + ".", "File Load Error", X, ButtonOk, ButtonOk, ""},
        {27, T1, T2, "Are you certain you want to stop loading Commands?", "Cancel Request", Q, ButtonOk | ButtonCancel,
         ButtonCancel, ""},
        {28, T1, T2, "Commands File Load Error.  The file you've requested contains no text.", "File Load Error", X,
         ButtonOk, ButtonOk, ""},
        {29, "Down  ", T2,
         "The end of the viewed file was encountered.  Do you want to start again from the beginning?",
         "End of File Error", Q, ButtonYes | ButtonNo, ButtonYes, ""},
        {29, "Up", T2,
         "The beginning of the viewed file was encountered.  Do you want to start again from the end of the file?",
         "Beginning of File Error", Q, ButtonYes | ButtonNo, ButtonYes, ""},
        {30, T1, T2, "File (Commands) could not be opened.  Error: " + E + ".", "File Access Error", X, ButtonOk,
         ButtonOk, ""},
        {31, "Put", "Commands ", "An error was experienced when making changes to the Commands file.  Error: " + E,
         "Process PUT Error", X, ButtonOk, ButtonOk, ""},
        {31, "Delete", "Commands",
         "An error was experienced when deleting a record from the Commands file.  Error: " + E, "Process DELETE Error",
         X, ButtonOk, ButtonOk, ""},
        {32, T1, T2, "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
         "Confirm Delete", Q, ButtonOk | ButtonCancel, ButtonCancel, ""},
        {33, T1, T2, "Do you want to save the changes to this record?", "Update Cancelled", Q,
         ButtonYes | ButtonNo | ButtonCancel, ButtonNo, ""},
        {34, "Delete ", "Commands",
         "Error: (" + E + ") attempting to frame the delete transaction on Commands.  Delete transaction cancelled.",
         "Transaction Framing Error", X, ButtonOk, ButtonOk, ""},
        {35, T1, T2,
         "Error: (" + E + ") attempting to access a record from the Commands file.  Returning to previous window.",
         "Record Retrieval Error", X, ButtonOk, ButtonOk, ""},
        {36, T1, T2, "Error: (" + E + ") attempting to open the current VIEW. Filter and Range Limits ignored.",
         "View Open Error", X, ButtonOk, ButtonOk, ""},
        {37, T1, T2, "This record has been added to the file. Do you want to add another record?", "Record Added", Q,
         ButtonYes | ButtonNo, ButtonYes, ""},
        {38, T1, T2,
         "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button or "
         "Ctrl+' to recall your changes.",
         "Record Was Not Updated", X, ButtonOk, ButtonOk, ""},
    };
    return table;
}

TEST(StandardWarnings, EveryWarningAsTheTableGivesIt) {
    std::set<int> seen;
    for (const Row &row : rows()) {
        SCOPED_TRACE(::testing::Message() << "warning " << row.number << " " << row.t1);
        seen.insert(row.number);
        const WarningKind kind = warningEntry(static_cast<Warning>(row.number)).kind();
        EXPECT_EQ(kind == WarningKind::Ends, !row.endText.empty());
        EXPECT_EQ(kind == WarningKind::Tells, row.endText.empty() && row.buttons == ButtonOk);
        WarningRecorder recorder;
        Warnings warnings{recorder};
        const KeyedError error = fileError(KeyedNotFound);
        std::string ended;
        int result = -1;
        try {
            result = raise(warnings, error, row.number, row.t1, row.t2);
        } catch (const ProgramEnded &end) {
            ended = end.text;
        }
        ASSERT_GE(recorder.boxes.size(), 1u);
        const MessageBoxRequest &box = recorder.boxes[0];
        EXPECT_EQ(box.text, row.text);
        EXPECT_EQ(box.caption, row.caption);
        EXPECT_EQ(box.icon, row.icon);
        EXPECT_EQ(box.buttons, row.buttons);
        EXPECT_EQ(box.defaultButton, row.defaultButton);
        EXPECT_EQ(ended, row.endText);
        if (row.endText.empty()) {
            EXPECT_EQ(recorder.boxes.size(), 1u);
            if (kind == WarningKind::Asks) {
                EXPECT_EQ(result, row.defaultButton);
            }
        } else {
            ASSERT_EQ(recorder.boxes.size(), 2u);
            EXPECT_EQ(recorder.boxes[1].caption, "Halt");
            EXPECT_EQ(recorder.boxes[1].text, row.endText);
            EXPECT_EQ(recorder.boxes[1].icon, MessageIcon::Stop);
            EXPECT_EQ(recorder.boxes[1].buttons, ButtonOk);
        }
    }
    EXPECT_EQ(seen.size(), 38u);
    EXPECT_EQ(kWarningTable.size(), 38u);
}

TEST(StandardWarnings, AnswersComeBackAndInvalidKeyAnsweredNoEndsTheProgram) {
    WarningRecorder recorder;
    Warnings warnings{recorder};
    recorder.answers = {ButtonYes, ButtonCancel, ButtonYes, ButtonNo};
    EXPECT_EQ(warnings.ask(Warning::RetryChange), ButtonYes);
    EXPECT_EQ(warnings.ask(Warning::SaveChanges), ButtonCancel);
    EXPECT_EQ(warnings.ask(Warning::InvalidKey, "COMMANDS"), ButtonYes);
    try {
        warnings.ask(Warning::InvalidKey, "COMMANDS");
        FAIL() << "InvalidKey answered No returned";
    } catch (const ProgramEnded &end) {
        EXPECT_EQ(end.text, "Invalid Key!");
    }
}

TEST(StandardWarnings, EveryWarningEmptiesTheSavedErrorAndRemembersItsCode) {
    WarningRecorder recorder;
    Warnings warnings{recorder};
    // Warnings whose text has no error description all the same.
    const std::function<void()> raisers[] = {
        [&] { warnings.tell(Warning::ProcedureNotDefined, "x"); },
        [&] { warnings.ask(Warning::ConfirmDelete); },
        [&] { warnings.tell(Warning::RecordWasNotUpdated); },
    };
    for (const auto &raiseOne : raisers) {
        warnings.saveError(fileError(KeyedLocked));
        raiseOne();
        EXPECT_EQ(warnings.savedFileError().code, 0);
        EXPECT_EQ(warnings.rememberedErrorCode(), KeyedLocked);
    }
    EXPECT_EQ(recorder.boxes.size(), 3u);
}

std::string errorOf14(Warnings &warnings, WarningRecorder &recorder, const KeyedError &current = {}) {
    warnings.tell(Warning::RecordInsertFailed, current);
    const std::string &text = recorder.boxes.back().text;
    const std::string head = "An error was experienced during the update of record.  Error: ";
    EXPECT_EQ(text.substr(0, head.size()), head);
    return text.substr(head.size(), text.size() - head.size() - 1);
}

TEST(StandardWarnings, ErrorDescriptionFromSavedOrCurrentError) {
    WarningRecorder recorder;
    Warnings warnings{recorder};
    // Saved error first, even after later operations succeeded.
    warnings.saveError(fileError(KeyedLocked));
    const KeyedError none = fileError(KeyedOk);
    EXPECT_EQ(errorOf14(warnings, recorder, none), "File Is Already Locked (32)");
    // The saved error was emptied: the next warning reports the current one.
    EXPECT_EQ(errorOf14(warnings, recorder, none), " (0)");
    EXPECT_EQ(errorOf14(warnings, recorder, fileError(KeyedChanged)), "Record Changed By Another Station (89)");

    // KeyedSystemError: the driver's own text and code, trailing spaces removed.
    const KeyedError notADatabase = fileError(KeyedSystemError, "26", "file is not a database   ");
    EXPECT_EQ(errorOf14(warnings, recorder, notADatabase), "file is not a database (26)");
    warnings.saveError(notADatabase);
    EXPECT_EQ(warnings.savedFileError().driverCode, 26);
    EXPECT_EQ(errorOf14(warnings, recorder, fileError(KeyedNotFound)), "file is not a database (26)");

    // Cut to 150 characters.
    const KeyedError long300 = fileError(KeyedSystemError, "10", std::string(300, 'x'));
    EXPECT_EQ(errorOf14(warnings, recorder, long300), std::string(150, 'x'));
    warnings.saveError(long300);
    EXPECT_EQ(warnings.savedFileError().driverText.size(), 255u);
}

TEST(StandardWarnings, UpdateFailedUsesTheRememberedCode) {
    WarningRecorder recorder;
    Warnings warnings{recorder};
    const std::string changed = "This record was changed by another station.";
    warnings.tell(Warning::UpdateFailed, fileError(KeyedOk), "ignored");
    EXPECT_EQ(recorder.boxes.back().text, changed);
    warnings.saveError(fileError(KeyedChanged));
    const KeyedError current = fileError(KeyedNotFound);
    warnings.tell(Warning::UpdateFailed, current, "Record Changed by Another Station");
    EXPECT_EQ(recorder.boxes.back().text, changed);
    warnings.tell(Warning::UpdateFailed, current, "Commands");
    EXPECT_EQ(recorder.boxes.back().text,
              "An error (File Not Found (2)) was experienced when attempting to update a "
              "record from the file.  Probable Cause: Commands.");
}

// Two objects keep two saved errors.
TEST(StandardWarnings, EachWarningsObjectKeepsItsOwnSavedError) {
    WarningRecorder recorder;
    Warnings first{recorder}, second{recorder};
    first.saveError(fileError(KeyedLocked));
    EXPECT_EQ(errorOf14(second, recorder), " (0)");
    EXPECT_EQ(errorOf14(first, recorder), "File Is Already Locked (32)");
}

}  // namespace

namespace {

// The real end of the program, in a child process: the fatal warnings leave
// with exit code 0 once their boxes are closed, and never return.
TEST(StandardWarningsDeathTest, FatalWarningsEndTheProgramWithExitCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<int, int> fatal[] = {{1, ButtonOk}, {2, ButtonNo}, {3, ButtonOk},
                                         {4, ButtonOk}, {5, ButtonOk}, {22, ButtonOk}};
    for (const auto &[number, answer] : fatal) {
        SCOPED_TRACE(number);
        EXPECT_EXIT(
            {
                kvr::test_support::ScriptedInteraction operatorSide;
                operatorSide.answerer = [answer = answer](const MessageBoxRequest &request) {
                    return request.caption == "Halt" ? int(ButtonOk) : answer;
                };
                Warnings warnings{operatorSide};
                raise(warnings, {}, number, "COMMANDS");
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

}  // namespace
