// A prepared SQLite statement, finalized when it goes.  Binds and columns
// speak the engine's types: 64-bit integers, byte strings (key values and
// records are blobs, never text) and "no key value" as NULL.
#ifndef KVR_KEYED_SQLITE_STATEMENT_H
#define KVR_KEYED_SQLITE_STATEMENT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kvr::keyed::sqlite {

class Statement {
public:
    // Prepares sql on db; result() tells how that went.  persistent: the
    // statement is kept for many uses (a cached statement).
    Statement(sqlite3 *db, std::string_view sql, bool persistent = false);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    int result() const { return prepared_; }  // SQLITE_OK when prepared
    bool ready() const { return stmt_ != nullptr; }

    void bind(int index, std::int64_t value);
    void bindBytes(int index, std::string_view bytes);
    void bindText(int index, std::string_view text);
    void bindKey(int index, const std::optional<std::string> &key);  // NULL for nothing

    // SQLITE_ROW, SQLITE_DONE or the error.
    int step();
    // Ready for the next use: the last run ended, its bindings cleared (and
    // a read it was doing no longer holds the file).
    void reset();

    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string_view bytes(int column) const;
    std::optional<std::string> key(int column) const;  // nothing for NULL
    std::optional<std::string_view> text(int column) const;

private:
    sqlite3_stmt *stmt_ = nullptr;
    int prepared_ = 0;
};

// A cached statement lent for one use; reset when the loan ends.
class StatementUse {
public:
    explicit StatementUse(Statement *statement, int result) : statement_(statement), result_(result) {}
    ~StatementUse() {
        if (statement_) statement_->reset();
    }
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;

    explicit operator bool() const { return statement_ != nullptr; }
    int result() const { return result_; }
    Statement *operator->() const { return statement_; }
    Statement &operator*() const { return *statement_; }

private:
    Statement *statement_;
    int result_;
};

}  // namespace kvr::keyed::sqlite

#endif
