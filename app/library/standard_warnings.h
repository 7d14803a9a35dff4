// The standard warnings: every problem with a keyed record file or a record,
// and every standard question about a record, is put to the operator through
// Warnings, with the fixed English wording, caption, icon and buttons of the
// warning table (warning_table.h).
//
// Each kind of warning has its own call, so that a reader sees where the
// program goes on: tell() returns, ask() returns the answer, halt() shows the
// warning and then the end-of-program box, and never returns.  A warning of
// the wrong kind for the call does not compile.
//
// Every call first builds the error description E: the saved error (see
// saveFileError) when there is one, else the error given with the call (the
// last error of the keyed file the warning is about; none when the call
// gives none); then the saved error is emptied, whichever warning is shown.
#ifndef KVR_LIBRARY_STANDARD_WARNINGS_H
#define KVR_LIBRARY_STANDARD_WARNINGS_H

#include "library/warning_table.h"
#include "keyed_file/keyed_error.h"
#include "runtime/user_interaction.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::keyed {
class KeyedFile;
}

namespace kvr::library {

// A warning known at compile time to be of the kind K.
template <WarningKind K>
struct WarningOf {
    consteval WarningOf(Warning w) : warning(w) {
        if (!isKind(w, K)) wrongKindOfWarning();
    }
    Warning warning;

private:
    static void wrongKindOfWarning() {}  // not constexpr: a call here fails to compile
};
using Told = WarningOf<WarningKind::Tells>;
using Asked = WarningOf<WarningKind::Asks>;
using Fatal = WarningOf<WarningKind::Ends>;

// The error kept by saveFileError (empty: both codes 0, both texts empty).
struct SavedFileError {
    std::int32_t code = 0;
    std::string text;  // at most 255 characters
    std::int32_t driverCode = 0;
    std::string driverText;  // at most 255 characters
};

class Warnings {
public:
    // interaction: where the boxes go and the program ends.
    explicit Warnings(runtime::UserInteraction &interaction) : interaction_(interaction) {}
    Warnings(const Warnings &) = delete;
    Warnings &operator=(const Warnings &) = delete;

    // T1 and T2 lose their trailing spaces, never their leading ones.
    void tell(Told warning, std::string_view t1 = {}, std::string_view t2 = {});
    void tell(Told warning, const keyed::KeyedError &error, std::string_view t1 = {}, std::string_view t2 = {});
    // The value of the button pressed.  InvalidKey returns only when
    // answered Yes; No ends the program with "Invalid Key!".
    int ask(Asked warning, std::string_view t1 = {}, std::string_view t2 = {});
    int ask(Asked warning, const keyed::KeyedError &error, std::string_view t1 = {}, std::string_view t2 = {});
    [[noreturn]] void halt(Fatal warning, const keyed::KeyedError &error, std::string_view t1 = {},
                           std::string_view t2 = {});

    // Keeps the file's last error for the next warning and rolls back the
    // file's open transaction (which leaves an error of its own).
    void saveFileError(keyed::KeyedFile &file);
    // Keeps the error for the next warning.
    void saveError(const keyed::KeyedError &error);
    const SavedFileError &savedFileError() const { return saved_; }
    // The code the last warning built its error description from.
    std::int32_t rememberedErrorCode() const { return remembered_; }
    runtime::UserInteraction &interaction() const { return interaction_; }

private:
    int box(const WarningEntry &entry, const keyed::KeyedError &error, std::string_view t1, std::string_view t2);
    std::string errorDescription(const keyed::KeyedError &error);

    runtime::UserInteraction &interaction_;
    SavedFileError saved_;
    std::int32_t remembered_ = 0;
};

}  // namespace kvr::library

#endif
