#include "keyed_file/sqlite/schema_functions.h"

#include "keyed_file/record_checksum.h"
#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema_sql.h"

#include <sqlite3.h>

#include <optional>
#include <string_view>

namespace kvr::keyed::sqlite {

namespace {

std::string_view bytesOf(sqlite3_value *value) {
    const auto *bytes = static_cast<const char *>(sqlite3_value_blob(value));
    return {bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

// keyed_key(data): the key value of a record's stored bytes, as the engine
// makes it (NULL when blank), for comparing the stored key values in SQL.
void keyOfRecord(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *image = static_cast<const ImageLayout *>(sqlite3_user_data(context));
    const std::optional<std::string> key = keyOfStored(bytesOf(values[0]), image->layout, image->blank);
    if (key)
        sqlite3_result_blob(context, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
    else
        sqlite3_result_null(context);
}

// keyed_kept(data): a record's bytes, of either form, without the tail they
// share with the blank record.
void keptOfRecord(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *blank = static_cast<const std::string *>(sqlite3_user_data(context));
    const std::string image = restoredImage(bytesOf(values[0]), *blank);
    sqlite3_result_blob(context, image.data(), static_cast<int>(keptLength(image, *blank)), SQLITE_TRANSIENT);
}

// keyed_crc(data): the checksum of a record's bytes, of either form, as the
// current form keeps them (without the blank tail; record_checksum.h).
void checksumOfRecord(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *blank = static_cast<const std::string *>(sqlite3_user_data(context));
    const std::string image = restoredImage(bytesOf(values[0]), *blank);
    sqlite3_result_int64(context, recordChecksum(std::string_view(image).substr(0, keptLength(image, *blank))));
}

// keyed_image(data): the whole image of a record's stored bytes, of either
// form.
void imageOfRecord(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *blank = static_cast<const std::string *>(sqlite3_user_data(context));
    const std::string image = restoredImage(bytesOf(values[0]), *blank);
    sqlite3_result_blob(context, image.data(), static_cast<int>(image.size()), SQLITE_TRANSIENT);
}

}  // namespace

RecordFunctions::RecordFunctions(Connection &db, const KeyedLayout &layout)
    : db_(db), image_{layout, blankImageOf(layout)} {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    result_ = sqlite3_create_function(db.handle(), "keyed_key", 1, flags, &image_, keyOfRecord, nullptr, nullptr);
    if (result_ == SQLITE_OK)
        result_ =
            sqlite3_create_function(db.handle(), "keyed_crc", 1, flags, blank(), checksumOfRecord, nullptr, nullptr);
    if (result_ == SQLITE_OK)
        result_ =
            sqlite3_create_function(db.handle(), "keyed_image", 1, flags, blank(), imageOfRecord, nullptr, nullptr);
    if (result_ == SQLITE_OK)
        result_ = sqlite3_create_function(db.handle(), "keyed_kept", 1, flags, blank(), keptOfRecord, nullptr, nullptr);
}

RecordFunctions::~RecordFunctions() {
    for (const char *name : {"keyed_key", "keyed_crc", "keyed_image", "keyed_kept"})
        sqlite3_create_function(db_.handle(), name, 1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace kvr::keyed::sqlite
