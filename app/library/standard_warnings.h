// The standard warnings: every problem with a keyed record file or a record,
// and every standard question about a record, is put to the operator through
// RaiseWarning (numbers 1 to 38), with fixed English wording, caption, icon
// and buttons.  Fatal warnings end the program through the "Halt" box.
#ifndef KVR_LIBRARY_STANDARD_WARNINGS_H
#define KVR_LIBRARY_STANDARD_WARNINGS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::library {

// Shows warning number with the texts T1 and T2 and returns the value of the
// button pressed (warning 2 answered Yes returns 2).  Numbers outside 1..38
// show nothing and return 0; the error description is built (and the saved
// error emptied) all the same.
std::int32_t RaiseWarning(std::int32_t number, std::string_view t1 = {}, std::string_view t2 = {});

// Keeps the keyed-file engine's current error for the next warning and rolls
// back any open transaction.
void SaveFileError();

// The error kept by SaveFileError (empty: both codes 0, both texts empty).
struct SavedFileError {
    std::int32_t code = 0;
    std::string text;          // at most 255 characters
    std::int32_t driverCode = 0;
    std::string driverText;    // at most 255 characters
};
const SavedFileError &savedFileError();

// The code the last RaiseWarning built its error description from.
std::int32_t rememberedErrorCode();

}  // namespace kvr::library

#endif
