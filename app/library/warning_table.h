// The standard warnings and their one table: wording, caption, icon, buttons
// with the default one, and whether the program ends after the box.
//
// Texts hold inserts in braces: {E} the error description, {T1} and {T2}
// the caller's texts (trailing spaces removed), {t1} T1 in lower case.  Three
// warnings have a second wording, chosen by T1 or by the error reported.
//
// A warning is one of three kinds, and each kind has its own call on
// Warnings (standard_warnings.h): one that tells (OK only, returns), one
// that asks (returns the button pressed; InvalidKey answered No ends the
// program instead) and one that ends the program (never returns).
#ifndef KVR_LIBRARY_WARNING_TABLE_H
#define KVR_LIBRARY_WARNING_TABLE_H

#include "runtime/message_box.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace kvr::library {

// Numbered as the operator's documentation numbers them.
enum class Warning : int {
    InvalidFile = 1,
    InvalidKey = 2,
    KeyRebuildFailed = 3,
    FileCreationFailed = 4,
    CreatedFileOpenFailed = 5,
    ProcedureNotDefined = 6,
    InsertReadFailed = 7,
    MustBeLower = 8,
    MustBeHigher = 9,
    MustBeBetween = 10,
    MustBeInFile = 11,
    ReferencedOnUpdate = 12,
    ReferencedOnDelete = 13,
    RecordInsertFailed = 14,
    UpdateFailed = 15,
    RetryChange = 16,
    DeleteFailed = 17,
    RetryDelete = 18,
    InsertNotAllowed = 19,
    ChangeNotAllowed = 20,
    DeleteNotAllowed = 21,
    CreationNotAllowed = 22,
    ConfirmCancel = 23,
    DuplicateKey = 24,
    AutoNumberFailed = 25,
    FileLoadFailed = 26,
    ConfirmStopLoading = 27,
    FileLoadEmpty = 28,
    ViewedFileEnd = 29,
    FileAccessFailed = 30,
    ProcessWriteFailed = 31,
    ConfirmDelete = 32,
    SaveChanges = 33,
    TransactionFramingFailed = 34,
    RecordRetrievalFailed = 35,
    ViewOpenFailed = 36,
    AddAnother = 37,
    RecordWasNotUpdated = 38,
};

enum class WarningKind { Tells, Asks, Ends };

// After the box: the program goes on, ends, or ends when the answer is No.
enum class WarningEnd { Never, Always, WhenAnsweredNo };

// When the second wording replaces the first.
enum class Rewording {
    None,
    WhenT1IsNotDown,       // the beginning of the viewed file instead of its end
    WhenT1IsNotPut,        // a delete instead of a put
    WhenNoErrorOrChanged,  // the error reported is none (0) or "changed" (KeyedChanged)
};

struct WarningEntry {
    Warning warning;
    std::string_view text;
    std::string_view caption;
    runtime::MessageIcon icon = runtime::MessageIcon::Exclamation;
    int buttons = runtime::ButtonOk;
    int defaultButton = runtime::ButtonOk;
    WarningEnd ends = WarningEnd::Never;
    std::string_view endText = {};  // the end-of-program box's text
    Rewording reworded = Rewording::None;
    std::string_view otherText = {};
    std::string_view otherCaption = {};

    constexpr WarningKind kind() const {
        if (ends == WarningEnd::Always) return WarningKind::Ends;
        return buttons == runtime::ButtonOk ? WarningKind::Tells : WarningKind::Asks;
    }
};

namespace warning_table_detail {
using runtime::ButtonCancel, runtime::ButtonNo, runtime::ButtonOk, runtime::ButtonRetry, runtime::ButtonYes;
using enum Warning;
constexpr runtime::MessageIcon Question = runtime::MessageIcon::Question;
constexpr runtime::MessageIcon Exclamation = runtime::MessageIcon::Exclamation;

// An exclamation with OK that returns.
constexpr WarningEntry notice(Warning w, std::string_view text, std::string_view caption) { return {w, text, caption}; }
// A box with a choice; returns the answer.
constexpr WarningEntry question(Warning w, std::string_view text, std::string_view caption, int buttons,
                                int defaultButton, runtime::MessageIcon icon = Question) {
    return {w, text, caption, icon, buttons, defaultButton};
}
// An exclamation with OK after which the program ends with endText.
constexpr WarningEntry fatal(Warning w, std::string_view text, std::string_view caption, std::string_view endText) {
    return {w, text, caption, Exclamation, ButtonOk, ButtonOk, WarningEnd::Always, endText};
}
constexpr WarningEntry endingWhenNo(WarningEntry e, std::string_view endText) {
    e.ends = WarningEnd::WhenAnsweredNo;
    e.endText = endText;
    return e;
}
constexpr WarningEntry reworded(WarningEntry e, Rewording when, std::string_view text, std::string_view caption) {
    e.reworded = when;
    e.otherText = text;
    e.otherCaption = caption;
    return e;
}

inline constexpr std::array<WarningEntry, 38> kTable{{
    fatal(InvalidFile, "Error: ({E}) accessing {T1}.  Press OK to end this application.", "Invalid File",
          "Invalid File!"),
    endingWhenNo(question(InvalidKey, "{T1} key file is invalid.  Do you want to rebuild the key?", "Invalid Key",
                          ButtonYes | ButtonNo, ButtonYes),
                 "Invalid Key!"),
    fatal(KeyRebuildFailed, "Error: ({E}) repairing key for {T1}.  Press OK to end this application.",
          "Key Rebuild Error", "Error Rebuilding Key!"),
    fatal(FileCreationFailed, "Error: ({E}) creating {T1}.  Press OK to end this application.", "File Creation Error",
          "File Creation Error!"),
    fatal(CreatedFileOpenFailed, "Error: ({E}) opening created file:{T1}.  Press OK to end this application.",
          "File Creation Error", "File Creation Error!"),
    notice(ProcedureNotDefined, "The Procedure {T1} has not been defined.", "Procedure not defined"),
    // Caption and icon are this program's own choice.
    notice(InsertReadFailed, "Unable to read keyed record.  Error: {E}.  Insert Aborted", "Record Retrieval Error"),
    notice(MustBeLower, "The value of {T1} must be lower than {T2}.", "Range Error"),
    notice(MustBeHigher, "The value of {T1} must be higher than {T2}.", "Range Error"),
    notice(MustBeBetween, "The value of {T1} must be between {T2}.", "Range Error"),
    notice(MustBeInFile, "The value for {T1} must be found in the {T2} file.", "Field Contents Error"),
    notice(ReferencedOnUpdate,
           "This record is referenced from the file {T1}.  Linking field(s) have been restricted from change and "
           "have been reset to original values.",
           "Referential Integrity Update Error"),
    notice(ReferencedOnDelete,
           "This record is referenced from the file {T1}.  This record cannot be deleted while these references "
           "exist.",
           "Referential Integrity Delete Error"),
    notice(RecordInsertFailed, "An error was experienced during the update of record.  Error: {E}.",
           "Record Insert Error"),
    reworded(notice(UpdateFailed,
                    "An error ({E}) was experienced when attempting to update a record from the file.  Probable "
                    "Cause: {T1}.",
                    "Update Operation Error"),
             Rewording::WhenNoErrorOrChanged, "This record was changed by another station.", "Update Operation Error"),
    question(RetryChange, "An error was experienced changing this record.  Do you want to try to save again?",
             "Record Update Error", ButtonYes | ButtonNo | ButtonCancel, ButtonCancel, Exclamation),
    notice(DeleteFailed, "An error ({E}) was experienced when attempting to delete a record from the file {T1}.",
           "Delete Operation Error"),
    question(RetryDelete, "An error was experienced deleting this record.  Do you want to try to save again?",
             "Record Update Error", ButtonYes | ButtonNo | ButtonCancel, ButtonCancel, Exclamation),
    notice(InsertNotAllowed,
           "This procedure was called to insert a record, however inserts are not allowed for this procedure.  "
           "Press OK to return to the calling procedure",
           "Invalid Request"),
    notice(ChangeNotAllowed,
           "This procedure was called to change a record, however changes are not allowed for this procedure.  "
           "Press OK to return to the calling procedure",
           "Invalid Request"),
    notice(DeleteNotAllowed,
           "This procedure was called to delete a record, however deletions are not allowed for this procedure.  "
           "Press OK to return to the calling procedure",
           "Invalid Request"),
    fatal(CreationNotAllowed,
          "The File {T1} was not found, and creation of the file is not allowed.  Press OK to end this application.",
          "File Creation Not Allowed", "File Creation Error!"),
    question(ConfirmCancel, "Are you sure you want to cancel?", "Update Cancelled", ButtonYes | ButtonNo, ButtonNo),
    notice(DuplicateKey, "Adding this record creates a duplicate entry for the key:{T1}", "Duplicate Key Error"),
    question(AutoNumberFailed, "Attempts to automatically number this record have failed.  Error: {E}.",
             "Auto Increment Error", ButtonRetry | ButtonCancel, ButtonCancel, Exclamation),
    notice(FileLoadFailed, "{T1} File Load Error.  Error: {E}.", "File Load Error"),
    question(ConfirmStopLoading, "Are you certain you want to stop loading {T1}?", "Cancel Request",
             ButtonOk | ButtonCancel, ButtonCancel),
    notice(FileLoadEmpty, "{T1} File Load Error.  The file you've requested contains no text.", "File Load Error"),
    reworded(question(ViewedFileEnd,
                      "The end of the viewed file was encountered.  Do you want to start again from the beginning?",
                      "End of File Error", ButtonYes | ButtonNo, ButtonYes),
             Rewording::WhenT1IsNotDown,
             "The beginning of the viewed file was encountered.  Do you want to start again from the end of the "
             "file?",
             "Beginning of File Error"),
    notice(FileAccessFailed, "File ({T1}) could not be opened.  Error: {E}.", "File Access Error"),
    reworded(notice(ProcessWriteFailed, "An error was experienced when making changes to the {T2} file.  Error: {E}",
                    "Process PUT Error"),
             Rewording::WhenT1IsNotPut,
             "An error was experienced when deleting a record from the {T2} file.  Error: {E}", "Process DELETE Error"),
    question(ConfirmDelete,
             "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
             "Confirm Delete", ButtonOk | ButtonCancel, ButtonCancel),
    question(SaveChanges, "Do you want to save the changes to this record?", "Update Cancelled",
             ButtonYes | ButtonNo | ButtonCancel, ButtonNo),
    notice(TransactionFramingFailed,
           "Error: ({E}) attempting to frame the {t1} transaction on {T2}.  {T1} transaction cancelled.",
           "Transaction Framing Error"),
    notice(RecordRetrievalFailed,
           "Error: ({E}) attempting to access a record from the {T1} file.  Returning to previous window.",
           "Record Retrieval Error"),
    notice(ViewOpenFailed, "Error: ({E}) attempting to open the current VIEW. Filter and Range Limits ignored.",
           "View Open Error"),
    question(AddAnother, "This record has been added to the file. Do you want to add another record?", "Record Added",
             ButtonYes | ButtonNo, ButtonYes),
    notice(RecordWasNotUpdated,
           "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button "
           "or Ctrl+' to recall your changes.",
           "Record Was Not Updated"),
}};

// Every insert a text holds is one the warnings know.
constexpr bool insertsKnown(std::string_view text) {
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
        const std::string_view insert = text.substr(open, text.find('}', open) - open + 1);
        if (insert != "{E}" && insert != "{T1}" && insert != "{T2}" && insert != "{t1}") return false;
    }
    return true;
}

constexpr bool wellFormed() {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        const WarningEntry &w = kTable[i];
        if (static_cast<std::size_t>(w.warning) != i + 1) return false;  // in number order, none missing
        if (!(w.buttons & w.defaultButton)) return false;
        if ((w.ends != WarningEnd::Never) != !w.endText.empty()) return false;
        if (w.ends == WarningEnd::Always && w.buttons != ButtonOk) return false;
        if (w.ends == WarningEnd::WhenAnsweredNo && !(w.buttons & ButtonNo)) return false;
        if ((w.reworded != Rewording::None) != !w.otherText.empty()) return false;
        if (!insertsKnown(w.text) || !insertsKnown(w.otherText)) return false;
    }
    return true;
}
static_assert(wellFormed(), "the warning table is out of order or inconsistent");
}  // namespace warning_table_detail

inline constexpr std::array<WarningEntry, 38> kWarningTable = warning_table_detail::kTable;

constexpr bool inTable(Warning warning) {
    const int number = static_cast<int>(warning);
    return number >= 1 && number <= static_cast<int>(kWarningTable.size());
}

// The table entry of a warning of the table.
constexpr const WarningEntry &warningEntry(Warning warning) {
    return kWarningTable[static_cast<std::size_t>(static_cast<int>(warning) - 1)];
}

constexpr bool isKind(Warning warning, WarningKind kind) {
    return inTable(warning) && warningEntry(warning).kind() == kind;
}

}  // namespace kvr::library

#endif
