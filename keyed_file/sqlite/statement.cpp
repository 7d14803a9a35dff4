#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

namespace kvr::keyed::sqlite {

Statement::Statement(sqlite3 *db, std::string_view sql, bool persistent) {
    prepared_ = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                   persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, nullptr);
    if (prepared_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

void Statement::bindBytes(int index, std::string_view bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Statement::bindText(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::bindKey(int index, const std::optional<std::string> &key) {
    if (key)
        bindBytes(index, *key);
    else
        sqlite3_bind_null(stmt_, index);
}

int Statement::step() { return sqlite3_step(stmt_); }

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string_view Statement::bytes(int column) const {
    const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column));
    return data ? std::string_view(data, size) : std::string_view{};
}

std::optional<std::string> Statement::key(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    return std::string(bytes(column));
}

std::optional<std::string_view> Statement::text(int column) const {
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    if (!data) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

}  // namespace kvr::keyed::sqlite
