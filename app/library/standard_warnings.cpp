#include "standard_warnings.h"

#include "keyed_file/keyed_file.h"
#include "message_box.h"

#include <cstdlib>
#include <optional>
#include <utility>

// GCC 12 at -O2 takes "literal" + std::string for an overlapping copy
// (its bug 105651); the texts below are built that way throughout.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace kvr::library {

namespace {

using runtime::MessageIcon;
constexpr int Ok = runtime::ButtonOk, Yes = runtime::ButtonYes, No = runtime::ButtonNo,
              Retry = runtime::ButtonRetry, Cancel = runtime::ButtonCancel;

SavedFileError &saved() {
    static SavedFileError instance;
    return instance;
}

std::int32_t &remembered() {
    static std::int32_t instance = 0;
    return instance;
}

std::string withoutTrailingSpaces(std::string_view text) {
    auto end = text.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1));
}

// The first count characters of UTF-8 text.
std::string firstCharacters(const std::string &text, std::size_t count) {
    std::size_t i = 0, seen = 0;
    while (i < text.size() && seen < count) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        ++seen;
    }
    return text.substr(0, i);
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::int32_t numberOf(const std::string &text) {
    return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

// The error description E; empties the saved error.
std::string errorDescription() {
    std::string e;
    SavedFileError &s = saved();
    if (s.code != 0) {
        if (s.code == runtime::KeyedSystemError)
            e = withoutTrailingSpaces(s.driverText) + " (" + std::to_string(s.driverCode) + ")";
        else
            e = withoutTrailingSpaces(s.text) + " (" + std::to_string(s.code) + ")";
        remembered() = s.code;
    } else {
        int code = runtime::keyedErrorCode();
        if (code == runtime::KeyedSystemError)
            e = withoutTrailingSpaces(runtime::keyedDriverErrorText()) + " (" +
                std::to_string(numberOf(runtime::keyedDriverErrorCode())) + ")";
        else
            e = withoutTrailingSpaces(runtime::keyedErrorText()) + " (" + std::to_string(code) + ")";
        remembered() = code;
    }
    s = SavedFileError{};
    return firstCharacters(e, 150);
}

struct Warning {
    Warning(std::string text, std::string caption, MessageIcon icon, int buttons = Ok, int defaultButton = Ok,
            std::optional<std::string> endText = std::nullopt)
        : text(std::move(text)), caption(std::move(caption)), icon(icon), buttons(buttons),
          defaultButton(defaultButton), endText(std::move(endText)) {}
    std::string text;
    std::string caption;
    MessageIcon icon;
    int buttons;
    int defaultButton;
    std::optional<std::string> endText;  // fatal: the end-of-program text
};

std::optional<Warning> warningFor(int number, const std::string &e, const std::string &t1, const std::string &t2) {
    const MessageIcon Q = MessageIcon::Question;
    const MessageIcon X = MessageIcon::Exclamation;
    const std::string endApp = ".  Press OK to end this application.";
    const std::string backToCaller = "  Press OK to return to the calling procedure";
    switch (number) {
    case 1: return Warning{"Error: (" + e + ") accessing " + t1 + endApp, "Invalid File", X, Ok, Ok, "Invalid File!"};
    case 2:
        return Warning{t1 + " key file is invalid.  Do you want to rebuild the key?", "Invalid Key", Q, Yes | No, Yes,
                       std::nullopt};
    case 3:
        return Warning{"Error: (" + e + ") repairing key for " + t1 + endApp, "Key Rebuild Error", X, Ok, Ok,
                       "Error Rebuilding Key!"};
    case 4:
        return Warning{"Error: (" + e + ") creating " + t1 + endApp, "File Creation Error", X, Ok, Ok,
                       "File Creation Error!"};
    case 5:
        return Warning{"Error: (" + e + ") opening created file:" + t1 + endApp, "File Creation Error", X, Ok, Ok,
                       "File Creation Error!"};
    case 6: return Warning{"The Procedure " + t1 + " has not been defined.", "Procedure not defined", X};
    case 7:
        // Caption and icon are this program's own choice.
        return Warning{"Unable to read keyed record.  Error: " + e + ".  Insert Aborted", "Record Retrieval Error", X};
    case 8: return Warning{"The value of " + t1 + " must be lower than " + t2 + ".", "Range Error", X};
    case 9: return Warning{"The value of " + t1 + " must be higher than " + t2 + ".", "Range Error", X};
    case 10: return Warning{"The value of " + t1 + " must be between " + t2 + ".", "Range Error", X};
    case 11: return Warning{"The value for " + t1 + " must be found in the " + t2 + " file.", "Field Contents Error", X};
    case 12:
        return Warning{"This record is referenced from the file " + t1 +
                           ".  Linking field(s) have been restricted from change and have been reset to original "
                           "values.",
                       "Referential Integrity Update Error", X};
    case 13:
        return Warning{"This record is referenced from the file " + t1 +
                           ".  This record cannot be deleted while these references exist.",
                       "Referential Integrity Delete Error", X};
    case 14:
        return Warning{"An error was experienced during the update of record.  Error: " + e + ".",
                       "Record Insert Error", X};
    case 15:
        if (remembered() == 0 || remembered() == runtime::KeyedChanged)
            return Warning{"This record was changed by another station.", "Update Operation Error", X};
        return Warning{"An error (" + e +
                           ") was experienced when attempting to update a record from the file.  Probable Cause: " +
                           t1 + ".",
                       "Update Operation Error", X};
    case 16:
        return Warning{"An error was experienced changing this record.  Do you want to try to save again?",
                       "Record Update Error", X, Yes | No | Cancel, Cancel};
    case 17:
        return Warning{"An error (" + e + ") was experienced when attempting to delete a record from the file " + t1 +
                           ".",
                       "Delete Operation Error", X};
    case 18:
        return Warning{"An error was experienced deleting this record.  Do you want to try to save again?",
                       "Record Update Error", X, Yes | No | Cancel, Cancel};
    case 19:
        return Warning{"This procedure was called to insert a record, however inserts are not allowed for this "
                       "procedure." + backToCaller,
                       "Invalid Request", X};
    case 20:
        return Warning{"This procedure was called to change a record, however changes are not allowed for this "
                       "procedure." + backToCaller,
                       "Invalid Request", X};
    case 21:
        return Warning{"This procedure was called to delete a record, however deletions are not allowed for this "
                       "procedure." + backToCaller,
                       "Invalid Request", X};
    case 22:
        return Warning{"The File " + t1 + " was not found, and creation of the file is not allowed" + endApp,
                       "File Creation Not Allowed", X, Ok, Ok, "File Creation Error!"};
    case 23: return Warning{"Are you sure you want to cancel?", "Update Cancelled", Q, Yes | No, No};
    case 24: return Warning{"Adding this record creates a duplicate entry for the key:" + t1, "Duplicate Key Error", X};
    case 25:
        return Warning{"Attempts to automatically number this record have failed.  Error: " + e + ".",
                       "Auto Increment Error", X, Retry | Cancel, Cancel};
    case 26: return Warning{t1 + " File Load Error.  Error: " + e + ".", "File Load Error", X};
    case 27:
        return Warning{"Are you certain you want to stop loading " + t1 + "?", "Cancel Request", Q, Ok | Cancel,
                       Cancel};
    case 28:
        return Warning{t1 + " File Load Error.  The file you've requested contains no text.", "File Load Error", X};
    case 29:
        if (t1 == "Down")
            return Warning{"The end of the viewed file was encountered.  Do you want to start again from the "
                           "beginning?",
                           "End of File Error", Q, Yes | No, Yes};
        return Warning{"The beginning of the viewed file was encountered.  Do you want to start again from the end "
                       "of the file?",
                       "Beginning of File Error", Q, Yes | No, Yes};
    case 30: return Warning{"File (" + t1 + ") could not be opened.  Error: " + e + ".", "File Access Error", X};
    case 31:
        if (t1 == "Put")
            return Warning{"An error was experienced when making changes to the " + t2 + " file.  Error: " + e,
                           "Process PUT Error", X};
        return Warning{"An error was experienced when deleting a record from the " + t2 + " file.  Error: " + e,
                       "Process DELETE Error", X};
    case 32:
        return Warning{"You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
                       "record.",
                       "Confirm Delete", Q, Ok | Cancel, Cancel};
    case 33:
        return Warning{"Do you want to save the changes to this record?", "Update Cancelled", Q, Yes | No | Cancel, No};
    case 34:
        return Warning{"Error: (" + e + ") attempting to frame the " + lower(t1) + " transaction on " + t2 + ".  " +
                           t1 + " transaction cancelled.",
                       "Transaction Framing Error", X};
    case 35:
        return Warning{"Error: (" + e + ") attempting to access a record from the " + t1 +
                           " file.  Returning to previous window.",
                       "Record Retrieval Error", X};
    case 36:
        return Warning{"Error: (" + e + ") attempting to open the current VIEW. Filter and Range Limits ignored.",
                       "View Open Error", X};
    case 37:
        return Warning{"This record has been added to the file. Do you want to add another record?", "Record Added",
                       Q, Yes | No, Yes};
    case 38:
        return Warning{"This record was changed by another station. Those changes will now be displayed. Use the "
                       "Ditto Button or Ctrl+' to recall your changes.",
                       "Record Was Not Updated", X};
    default: return std::nullopt;
    }
}

}  // namespace

std::int32_t RaiseWarning(std::int32_t number, std::string_view t1, std::string_view t2) {
    const std::string e = errorDescription();
    auto warning = warningFor(number, e, withoutTrailingSpaces(t1), withoutTrailingSpaces(t2));
    if (!warning) return 0;
    int answer = runtime::showMessageBox(
        {warning->text, warning->caption, warning->icon, warning->buttons, warning->defaultButton});
    if (warning->endText) runtime::endProgram(*warning->endText);
    if (number == 2) {
        if (answer == No) runtime::endProgram("Invalid Key!");
        return Yes;
    }
    return answer;
}

void SaveFileError() {
    SavedFileError &s = saved();
    s.code = runtime::keyedErrorCode();
    s.text = firstCharacters(runtime::keyedErrorText(), 255);
    s.driverCode = numberOf(runtime::keyedDriverErrorCode());
    s.driverText = firstCharacters(runtime::keyedDriverErrorText(), 255);
    runtime::KeyedFile::rollbackAll();
}

const SavedFileError &savedFileError() { return saved(); }

std::int32_t rememberedErrorCode() { return remembered(); }

}  // namespace kvr::library
