#include "keyed_file/keyed_file.h"

#include "keyed_file/key_value.h"
#include "keyed_file/share_lock.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace kvr::runtime {

namespace {

constexpr int kApplicationId = 0x4B564B46;  // "KVKF"
constexpr int kSchemaVersion = 1;
constexpr const char *kIndexSql = "CREATE INDEX records_by_key ON records(key, recno) WHERE key IS NOT NULL";
// The number of records in the key, kept by the database itself on every
// write; at open it is compared with the entries the index holds.
constexpr const char *kCountSql =
    "DROP TRIGGER IF EXISTS records_keyed_insert; DROP TRIGGER IF EXISTS records_keyed_delete;"
    " DROP TRIGGER IF EXISTS records_keyed_update;"
    " CREATE TRIGGER records_keyed_insert AFTER INSERT ON records WHEN NEW.key IS NOT NULL"
    " BEGIN UPDATE keyed_count SET keyed = keyed + 1; END;"
    " CREATE TRIGGER records_keyed_delete AFTER DELETE ON records WHEN OLD.key IS NOT NULL"
    " BEGIN UPDATE keyed_count SET keyed = keyed - 1; END;"
    " CREATE TRIGGER records_keyed_update AFTER UPDATE OF key ON records"
    " WHEN (OLD.key IS NULL) <> (NEW.key IS NULL)"
    " BEGIN UPDATE keyed_count SET keyed = keyed + (NEW.key IS NOT NULL) - (OLD.key IS NOT NULL); END;";
constexpr const char *kColumns = "SELECT recno, key, version, data FROM records ";

using FileId = std::pair<dev_t, ino_t>;

std::map<FileId, KeyedFile *> &openFiles() {
    // Never destroyed: file definitions with static lifetime leave it late.
    static auto *instance = new std::map<FileId, KeyedFile *>;
    return *instance;
}

std::string folderOf(const std::string &path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int errnoCode(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR: return KeyedNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return KeyedAccessDenied;
    default: return KeyedSystemError;
    }
}

std::string hexOf(const std::string &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
    if (hex.size() % 2) return std::nullopt;
    std::string out;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

}  // namespace

struct KeyedFile::Db {
    sqlite3 *handle = nullptr;
    ShareLock share;
    FileId id{};
    std::map<std::string, sqlite3_stmt *> statements;

    ~Db() { closeHandle(); }

    void closeHandle() {
        for (auto &entry : statements) sqlite3_finalize(entry.second);
        statements.clear();
        if (handle) sqlite3_close_v2(handle);
        handle = nullptr;
        // Only now: closing any descriptor of the file drops the database's
        // own POSIX locks of this process.
        share.release();
    }

    sqlite3_stmt *statement(const std::string &sql, int &rc) {
        auto found = statements.find(sql);
        if (found != statements.end()) {
            sqlite3_reset(found->second);
            sqlite3_clear_bindings(found->second);
            rc = SQLITE_OK;
            return found->second;
        }
        sqlite3_stmt *stmt = nullptr;
        rc = sqlite3_prepare_v3(handle, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) return nullptr;
        statements.emplace(sql, stmt);
        return stmt;
    }

    int exec(const char *sql) {
        int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
        settle();
        return rc;
    }

    // Busy handling: wait up to busyTimeoutMs for a lock, in short steps,
    // marked as waiting so that a busy writer lets this process in.
    int busyTimeoutMs = KeyedFile::kDefaultTimeoutMs;
    bool waiting = false;
    std::chrono::steady_clock::time_point busySince;

    void install() { sqlite3_busy_handler(handle, &Db::onBusy, this); }

    static int onBusy(void *self, int count) {
        auto *db = static_cast<Db *>(self);
        auto now = std::chrono::steady_clock::now();
        if (count == 0) {
            db->busySince = now;
            if (!db->waiting) db->share.markWaiting(true);
            db->waiting = true;
        }
        auto left = std::chrono::milliseconds(db->busyTimeoutMs) - (now - db->busySince);
        if (left <= std::chrono::milliseconds(0)) return 0;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(2)));
        return 1;
    }

    void settle() {
        if (!waiting) return;
        share.markWaiting(false);
        waiting = false;
    }

    // Before starting a write: let processes that are waiting for the file
    // go first (for at most the time-out).
    void yieldToWaiters() {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
        while (share.othersWaiting() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

namespace {

// Maps a database result to an engine code.
int codeOf(int rc) {
#ifdef SQLITE_CORRUPT_INDEX
    // The database found an index entry missing or out of place.
    if (rc == SQLITE_CORRUPT_INDEX) return KeyedRebuildKeys;
#endif
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return KeyedLocked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return KeyedAccessDenied;
    default: return KeyedSystemError;
    }
}

// Checks that the open database is a keyed file of the layout: 0, 46, 47 or
// a database result (negative).
int layoutState(sqlite3 *db, const KeyedLayout &layout, bool checkIndex) {
    auto scalar = [db](const char *sql, long long &value) -> int {
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return rc;
        }
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return rc == SQLITE_ROW ? SQLITE_OK : rc;
    };
    long long value = 0;
    int rc = scalar("PRAGMA application_id", value);
    if (rc != SQLITE_OK) return -rc;
    if (value != kApplicationId) return KeyedBadDeclaration;
    rc = scalar("PRAGMA user_version", value);
    if (rc != SQLITE_OK) return -rc;
    if (value != kSchemaVersion) return KeyedBadDeclaration;

    sqlite3_stmt *stmt = nullptr;
    rc = sqlite3_prepare_v2(db, "SELECT name, record_size, key_offset, key_width FROM keyed_layout", -1, &stmt,
                            nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return (rc & 0xFF) == SQLITE_ERROR ? KeyedBadDeclaration : -rc;
    }
    rc = sqlite3_step(stmt);
    bool same = rc == SQLITE_ROW && sqlite3_column_text(stmt, 0) &&
                reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)) == std::string_view(layout.name) &&
                sqlite3_column_int64(stmt, 1) == static_cast<long long>(layout.recordSize) &&
                sqlite3_column_int64(stmt, 2) == static_cast<long long>(layout.keyOffset) &&
                sqlite3_column_int64(stmt, 3) == static_cast<long long>(layout.keyWidth);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return -rc;
    if (!same) return KeyedBadDeclaration;

    rc = scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'records'", value);
    if (rc != SQLITE_OK) return -rc;
    if (value != 1) return KeyedBadDeclaration;
    if (!checkIndex) return 0;

    rc = sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = 'records_by_key'",
                            -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return -rc;
    }
    rc = sqlite3_step(stmt);
    bool indexOk = rc == SQLITE_ROW && sqlite3_column_text(stmt, 0) &&
                   reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)) == std::string_view(kIndexSql);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return -rc;
    if (!indexOk) return KeyedRebuildKeys;

    // Entries of the index against the count the table keeps: a walk over
    // the index alone, which is small next to the records.
    rc = scalar("SELECT (SELECT count(*) FROM records INDEXED BY records_by_key WHERE key IS NOT NULL)"
                " = (SELECT keyed FROM keyed_count)",
                value);
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_ERROR || (rc & 0xFF) == SQLITE_CORRUPT) return KeyedRebuildKeys;
        return -rc;
    }
    return value == 1 ? 0 : KeyedRebuildKeys;
}

}  // namespace

KeyedFile::KeyedFile(KeyedLayout layout, std::string name)
    : layout_(std::move(layout)), name_(std::move(name)), buffer_(layout_.recordSize, ' ') {}

KeyedFile::~KeyedFile() {
    if (isOpen()) {
        if (inTransaction_) db_->exec("ROLLBACK");
        openFiles().erase(db_->id);
    }
}

void KeyedFile::setName(std::string name) { name_ = std::move(name); }

std::string KeyedFile::path() const {
    auto slash = name_.rfind('/');
    std::string base = slash == std::string::npos ? name_ : name_.substr(slash + 1);
    if (base.find('.') == std::string::npos) return name_ + ".tps";
    return name_;
}

void KeyedFile::bind(RecordBinding binding) { binding_ = std::move(binding); }

bool KeyedFile::isOpen() const { return db_ && db_->handle; }

int KeyedFile::ok() {
    setKeyedError(KeyedOk, name_);
    return KeyedOk;
}

int KeyedFile::fail(int code) {
    setKeyedError(code, name_);
    return code;
}

int KeyedFile::failDb(int rc) {
    std::string text = db_ && db_->handle ? sqlite3_errmsg(db_->handle) : sqlite3_errstr(rc);
    int code = codeOf(rc);
    setKeyedError(code, name_, std::to_string(rc), text);
    return code;
}

int KeyedFile::needOpen() { return isOpen() ? KeyedOk : fail(KeyedNotOpen); }

int KeyedFile::needWritable() {
    if (!isOpen()) return fail(KeyedNotOpen);
    if (readOnly_) return fail(KeyedAccessDenied);
    return KeyedOk;
}

int KeyedFile::sendOption(std::string_view option) {
    std::string text(option);
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    if (text.rfind("recover=", 0) == 0) {
        int seconds = std::atoi(text.c_str() + 8);
        recoverSeconds_ = std::clamp(seconds, 0, 3600);
    }
    // Other options mean nothing to this engine and are accepted unchanged.
    return ok();
}

int KeyedFile::open(int mode) {
    if (isOpen()) return fail(KeyedAlreadyOpen);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(recoverSeconds_);
    for (;;) {
        int code = openOnce(mode);
        if (code != KeyedLocked || std::chrono::steady_clock::now() >= deadline) return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int KeyedFile::openOnce(int mode) {
    const std::string p = path();
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        int e = errno;
        int code = errnoCode(e);
        setKeyedError(code, name_, code == KeyedSystemError ? std::to_string(e) : std::string{},
                      code == KeyedSystemError ? std::strerror(e) : std::string{});
        return code;
    }
    if (!S_ISREG(st.st_mode)) {
        setKeyedError(KeyedSystemError, name_, std::to_string(EISDIR), "not a regular file");
        return KeyedSystemError;
    }
    FileId id{st.st_dev, st.st_ino};
    if (openFiles().count(id)) return fail(KeyedAlreadyOpen);

    const int access = mode & 0x0F;
    const int share = mode & 0xF0;
    const bool write = access != 0;
    if (::access(p.c_str(), R_OK) != 0) return fail(KeyedAccessDenied);
    // Writing needs the file and its folder (for the rollback journal); a
    // file marked read-only is never written, whoever runs the program.
    if (write && ((st.st_mode & 0222) == 0 || ::access(p.c_str(), W_OK) != 0 ||
                  ::access(folderOf(p).c_str(), W_OK | X_OK) != 0))
        return fail(KeyedAccessDenied);

    auto db = std::make_unique<Db>();
    db->id = id;
    int err = 0;
    switch (db->share.acquire(p, write, share == 0x10 || share == 0x30, share == 0x10 || share == 0x20, err)) {
    case ShareLock::Result::Ok: break;
    case ShareLock::Result::Conflict: return fail(KeyedLocked);
    case ShareLock::Result::Failed: {
        int code = errnoCode(err);
        setKeyedError(code, name_, std::to_string(err), std::strerror(err));
        return code;
    }
    }

    int flags = (write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(p.c_str(), &db->handle, flags, nullptr);
    db_ = std::move(db);
    auto abandon = [this](int code, int dbRc) {
        int result = dbRc ? failDb(dbRc) : fail(code);
        db_.reset();
        return result;
    };
    if (rc != SQLITE_OK) return abandon(0, rc);
    sqlite3_extended_result_codes(db_->handle, 1);
    db_->install();
    db_->busyTimeoutMs = std::max(kDefaultTimeoutMs, recoverSeconds_ * 1000);
    if (write) {
        rc = db_->exec("PRAGMA synchronous = FULL");
        if (rc != SQLITE_OK) return abandon(0, rc);
    }
    int state = layoutState(db_->handle, layout_, true);
    if (state < 0) return abandon(0, -state);
    db_->settle();
    if (state > 0) return abandon(state, 0);
    db_->busyTimeoutMs = kDefaultTimeoutMs;

    openFiles()[id] = this;
    readOnly_ = !write;
    inTransaction_ = false;
    cursor_ = Cursor::Start;
    cursorKey_.reset();
    cursorRecno_ = 0;
    currentRecno_ = 0;
    currentKey_.reset();
    watchArmed_ = watched_ = false;
    return ok();
}

int KeyedFile::close() {
    if (!isOpen()) return fail(KeyedNotOpen);
    if (inTransaction_) db_->exec("ROLLBACK");
    inTransaction_ = false;
    openFiles().erase(db_->id);
    db_.reset();
    currentRecno_ = 0;
    return ok();
}

int KeyedFile::create() {
    const std::string p = path();
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) return fail(KeyedAlreadyExists);
    if (::access(folderOf(p).c_str(), W_OK | X_OK) != 0) {
        int e = errno;
        int code = errnoCode(e);
        setKeyedError(code, name_, std::to_string(e), std::strerror(e));
        return code;
    }
    // Built under a temporary name and linked into place, so that nobody
    // ever opens a half-made file and an existing file is never replaced.
    const std::string temp = p + ".new." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    ::unlink((temp + "-journal").c_str());
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    std::string sql = "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; PRAGMA application_id = " +
                      std::to_string(kApplicationId) + "; PRAGMA user_version = " + std::to_string(kSchemaVersion) +
                      "; BEGIN; CREATE TABLE keyed_layout(name TEXT NOT NULL, record_size INTEGER NOT NULL,"
                      " key_offset INTEGER NOT NULL, key_width INTEGER NOT NULL);"
                      " CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
                      " version INTEGER NOT NULL, data BLOB NOT NULL CHECK (length(data) = " +
                      std::to_string(layout_.recordSize) + ")); " + kIndexSql +
                      "; CREATE TABLE keyed_count(keyed INTEGER NOT NULL); INSERT INTO keyed_count VALUES (0); " +
                      kCountSql;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        rc = sqlite3_prepare_v2(db, "INSERT INTO keyed_layout VALUES (?, ?, ?, ?)", -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(stmt, 1, layout_.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(layout_.recordSize));
            sqlite3_bind_int64(stmt, 3, static_cast<sqlite3_int64>(layout_.keyOffset));
            sqlite3_bind_int64(stmt, 4, static_cast<sqlite3_int64>(layout_.keyWidth));
            rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
        }
        sqlite3_finalize(stmt);
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        ::unlink(temp.c_str());
        ::unlink((temp + "-journal").c_str());
        setKeyedError(codeOf(rc), name_, std::to_string(rc), text);
        return codeOf(rc);
    }
    sqlite3_close_v2(db);
    int linked = ::link(temp.c_str(), p.c_str());
    int e = errno;
    ::unlink(temp.c_str());
    if (linked != 0) {
        if (e == EEXIST) return fail(KeyedAlreadyExists);
        int code = errnoCode(e);
        setKeyedError(code, name_, std::to_string(e), std::strerror(e));
        return code;
    }
    int dir = ::open(folderOf(p).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return ok();
}

int KeyedFile::buildKeys() {
    if (isOpen()) return fail(KeyedAlreadyOpen);
    const std::string p = path();
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return fail(errnoCode(errno));
    if (openFiles().count(FileId{st.st_dev, st.st_ino})) return fail(KeyedAlreadyOpen);
    if ((st.st_mode & 0222) == 0 || ::access(p.c_str(), R_OK | W_OK) != 0 ||
        ::access(folderOf(p).c_str(), W_OK | X_OK) != 0)
        return fail(KeyedAccessDenied);

    auto db = std::make_unique<Db>();
    int err = 0;
    switch (db->share.acquire(p, true, true, true, err)) {
    case ShareLock::Result::Ok: break;
    case ShareLock::Result::Conflict: return fail(KeyedLocked);
    case ShareLock::Result::Failed: return fail(errnoCode(err));
    }
    int rc = sqlite3_open_v2(p.c_str(), &db->handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto failWith = [&](int dbRc) {
        std::string text = db->handle ? sqlite3_errmsg(db->handle) : sqlite3_errstr(dbRc);
        if (db->handle) sqlite3_exec(db->handle, "ROLLBACK", nullptr, nullptr, nullptr);
        setKeyedError(codeOf(dbRc), name_, std::to_string(dbRc), text);
        return codeOf(dbRc);
    };
    if (rc != SQLITE_OK) return failWith(rc);
    sqlite3_extended_result_codes(db->handle, 1);
    sqlite3_busy_timeout(db->handle, kDefaultTimeoutMs);
    db->exec("PRAGMA synchronous = FULL");
    int state = layoutState(db->handle, layout_, false);
    if (state < 0) return failWith(-state);
    if (state > 0) return fail(state);

    rc = db->exec("BEGIN EXCLUSIVE");
    if (rc != SQLITE_OK) return failWith(rc);
    // Every key value again from the record's own bytes, then the index and
    // its count anew.
    {
        sqlite3_stmt *read = nullptr, *update = nullptr;
        rc = sqlite3_prepare_v2(db->handle, "SELECT recno, data FROM records", -1, &read, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v2(db->handle, "UPDATE records SET key = ?1 WHERE recno = ?2 AND key IS NOT ?1", -1,
                                    &update, nullptr);
        while (rc == SQLITE_OK) {
            int step = sqlite3_step(read);
            if (step == SQLITE_DONE) break;
            if (step != SQLITE_ROW) {
                rc = step;
                break;
            }
            const char *data = static_cast<const char *>(sqlite3_column_blob(read, 1));
            std::string_view bytes(data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(read, 1)));
            std::optional<std::string> key;
            if (bytes.size() > layout_.keyOffset)
                key = keyValueOf(bytes.substr(layout_.keyOffset, layout_.keyWidth), layout_.keyWidth);
            sqlite3_reset(update);
            if (key) sqlite3_bind_blob(update, 1, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
            else sqlite3_bind_null(update, 1);
            sqlite3_bind_int64(update, 2, sqlite3_column_int64(read, 0));
            int done = sqlite3_step(update);
            if (done != SQLITE_DONE) rc = done;
        }
        sqlite3_finalize(read);
        sqlite3_finalize(update);
    }
    if (rc == SQLITE_OK) rc = db->exec("DROP INDEX IF EXISTS records_by_key");
    if (rc == SQLITE_OK) rc = db->exec(kIndexSql);
    if (rc == SQLITE_OK)
        rc = db->exec("CREATE TABLE IF NOT EXISTS keyed_count(keyed INTEGER NOT NULL); DELETE FROM keyed_count;"
                      " INSERT INTO keyed_count SELECT count(*) FROM records WHERE key IS NOT NULL;");
    if (rc == SQLITE_OK) rc = db->exec(kCountSql);
    if (rc == SQLITE_OK) rc = db->exec("COMMIT");
    if (rc != SQLITE_OK) return failWith(rc);
    // Gives back pages an index lost from the schema may still hold.
    rc = db->exec("VACUUM");
    if (rc != SQLITE_OK) return failWith(rc);
    return ok();
}

int KeyedFile::setStart() {
    if (int code = needOpen()) return code;
    cursor_ = Cursor::Start;
    return ok();
}

int KeyedFile::setEnd() {
    if (int code = needOpen()) return code;
    cursor_ = Cursor::End;
    return ok();
}

int KeyedFile::setFromKey(std::string_view text) {
    if (int code = needOpen()) return code;
    auto key = keyValueOf(text, layout_.keyWidth);
    cursor_ = Cursor::At;
    cursorKey_ = key ? *key : std::string(layout_.keyWidth, ' ');
    cursorRecno_ = 0;
    return ok();
}

int KeyedFile::fetch(const char *sql, const std::function<void(void *)> &bindArgs) {
    int rc = SQLITE_OK;
    sqlite3_stmt *stmt = db_->statement(std::string(kColumns) + sql, rc);
    if (!stmt) return failDb(rc);
    if (bindArgs) bindArgs(stmt);
    rc = sqlite3_step(stmt);
    db_->settle();
    int code;
    if (rc == SQLITE_ROW) code = deliver(stmt);
    else if (rc == SQLITE_DONE) code = -1;  // no such record; the caller names the code
    else code = failDb(rc);
    sqlite3_reset(stmt);
    return code;
}

int KeyedFile::deliver(void *raw) {
    auto *stmt = static_cast<sqlite3_stmt *>(raw);
    const auto *data = static_cast<const unsigned char *>(sqlite3_column_blob(stmt, 3));
    std::size_t size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, 3));
    if (size != layout_.recordSize || !data) return fail(KeyedBadDeclaration);
    std::int64_t recno = sqlite3_column_int64(stmt, 0);
    buffer_.assign(data, data + size);
    currentRecno_ = static_cast<std::uint32_t>(recno);
    if (sqlite3_column_type(stmt, 1) == SQLITE_NULL) {
        currentKey_.reset();
    } else {
        const char *key = static_cast<const char *>(sqlite3_column_blob(stmt, 1));
        currentKey_ = std::string(key ? key : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, 1)));
        cursor_ = Cursor::At;
        cursorKey_ = currentKey_;
        cursorRecno_ = recno;
    }
    currentVersion_ = sqlite3_column_int64(stmt, 2);
    watched_ = watchArmed_;
    watchArmed_ = false;
    if (binding_.load) binding_.load(buffer_.data());
    return ok();
}

// One step in key order from the cursor: first among the records of the
// cursor's key value (record-number order), then the neighbouring key value.
// Both are single index seeks.
int KeyedFile::step(bool forward) {
    if (int code = needOpen()) return code;
    if (cursor_ == (forward ? Cursor::End : Cursor::Start)) return fail(KeyedNotAvailable);
    int code;
    if (cursor_ != Cursor::At) {
        code = fetch(forward ? "WHERE key IS NOT NULL ORDER BY key, recno LIMIT 1"
                             : "WHERE key IS NOT NULL ORDER BY key DESC, recno DESC LIMIT 1",
                     nullptr);
        return code < 0 ? fail(KeyedNotAvailable) : code;
    }
    const std::string key = *cursorKey_;
    const std::int64_t recno = cursorRecno_;
    auto bindKey = [&key, recno](void *s) {
        auto *stmt = static_cast<sqlite3_stmt *>(s);
        sqlite3_bind_blob(stmt, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 2, recno);
    };
    code = fetch(forward ? "WHERE key = ?1 AND recno > ?2 ORDER BY recno LIMIT 1"
                         : "WHERE key = ?1 AND recno < ?2 ORDER BY recno DESC LIMIT 1",
                 bindKey);
    if (code >= 0) return code;
    code = fetch(forward ? "WHERE key > ?1 ORDER BY key, recno LIMIT 1"
                         : "WHERE key IS NOT NULL AND key < ?1 ORDER BY key DESC, recno DESC LIMIT 1",
                 bindKey);
    return code < 0 ? fail(KeyedNotAvailable) : code;
}

int KeyedFile::next() { return step(true); }

int KeyedFile::previous() { return step(false); }

std::string KeyedFile::position() const {
    if (currentRecno_ == 0) return {};
    std::string text(1, currentKey_ ? 'K' : 'R');
    text.append(std::to_string(currentRecno_));
    if (currentKey_) {
        text.push_back(':');
        text.append(hexOf(*currentKey_));
    }
    return text;
}

int KeyedFile::readByNumber(std::uint32_t recordNumber) {
    if (int code = needOpen()) return code;
    int code = fetch("WHERE recno = ?1", [recordNumber](void *s) {
        sqlite3_bind_int64(static_cast<sqlite3_stmt *>(s), 1, static_cast<sqlite3_int64>(recordNumber));
    });
    return code < 0 ? fail(KeyedRecordNotFound) : code;
}

int KeyedFile::readByPosition(std::string_view position) {
    if (int code = needOpen()) return code;
    if (position.size() < 2 || (position[0] != 'K' && position[0] != 'R')) return fail(KeyedRecordNotFound);
    std::string_view rest = position.substr(1);
    auto colon = rest.find(':');
    std::string_view number = rest.substr(0, colon);
    if (number.empty() || number.size() > 10 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fail(KeyedRecordNotFound);
    unsigned long long recno = std::strtoull(std::string(number).c_str(), nullptr, 10);
    if (recno == 0 || recno > UINT32_MAX) return fail(KeyedRecordNotFound);
    if (position[0] == 'K') {
        if (colon == std::string_view::npos) return fail(KeyedRecordNotFound);
        auto key = bytesOfHex(rest.substr(colon + 1));
        if (!key || key->size() != layout_.keyWidth) return fail(KeyedRecordNotFound);
        cursor_ = Cursor::At;
        cursorKey_ = *key;
        cursorRecno_ = static_cast<std::int64_t>(recno);
    } else if (colon != std::string_view::npos) {
        return fail(KeyedRecordNotFound);
    }
    return readByNumber(static_cast<std::uint32_t>(recno));
}

std::vector<unsigned char> KeyedFile::outgoing() {
    if (binding_.save) {
        buffer_.assign(layout_.recordSize, ' ');
        binding_.save(buffer_.data());
    }
    buffer_.resize(layout_.recordSize, ' ');
    return buffer_;
}

// Runs body as one atomic write: a savepoint inside a transaction, else a
// transaction of its own.  body returns 0 or an engine code (already set).
int KeyedFile::write(const std::function<int()> &body) {
    if (inTransaction_) {
        int rc = db_->exec("SAVEPOINT keyed_write");
        if (rc != SQLITE_OK) return failDb(rc);
        int code = body();
        db_->settle();
        if (code != KeyedOk) db_->exec("ROLLBACK TO keyed_write");
        db_->exec("RELEASE keyed_write");
        return code;
    }
    db_->yieldToWaiters();
    int rc = db_->exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return failDb(rc);
    int code = body();
    db_->settle();
    if (code != KeyedOk) {
        KeyedError saved = keyedLastError();
        db_->exec("ROLLBACK");
        setKeyedError(saved.code, saved.file, saved.driverCode, saved.driverText);
        return code;
    }
    rc = db_->exec("COMMIT");
    if (rc != SQLITE_OK) {
        code = failDb(rc);
        db_->exec("ROLLBACK");
        return code;
    }
    return KeyedOk;
}

int KeyedFile::add() {
    if (int code = needWritable()) return code;
    std::vector<unsigned char> data = outgoing();
    auto key = keyValueOf(
        std::string_view(reinterpret_cast<const char *>(data.data()) + layout_.keyOffset, layout_.keyWidth),
        layout_.keyWidth);
    std::int64_t recno = 0;
    int code = write([&]() -> int {
        int rc = SQLITE_OK;
        sqlite3_stmt *stmt =
            db_->statement("INSERT INTO records(key, version, data) VALUES (?1, 1, ?2) RETURNING recno", rc);
        if (!stmt) return failDb(rc);
        if (key) sqlite3_bind_blob(stmt, 1, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
        else sqlite3_bind_null(stmt, 1);
        sqlite3_bind_blob(stmt, 2, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) recno = sqlite3_column_int64(stmt, 0);
        int last = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        if (rc != SQLITE_ROW) return failDb(rc);
        if (last != SQLITE_DONE) return failDb(last);
        if (recno > INT32_MAX) {
            setKeyedError(KeyedSystemError, name_, "0", "record numbers exhausted");
            return KeyedSystemError;
        }
        return KeyedOk;
    });
    if (code != KeyedOk) return code;
    currentRecno_ = static_cast<std::uint32_t>(recno);
    currentKey_ = key;
    currentVersion_ = 1;
    watched_ = false;
    if (key) {
        cursor_ = Cursor::At;
        cursorKey_ = key;
        cursorRecno_ = recno;
    }
    return ok();
}

int KeyedFile::put() {
    if (int code = needWritable()) return code;
    if (currentRecno_ == 0) return fail(KeyedNotAvailable);
    std::vector<unsigned char> data = outgoing();
    auto key = keyValueOf(
        std::string_view(reinterpret_cast<const char *>(data.data()) + layout_.keyOffset, layout_.keyWidth),
        layout_.keyWidth);
    std::int64_t version = 0;
    int code = write([&]() -> int {
        int rc = SQLITE_OK;
        std::string sql = "UPDATE records SET key = ?1, data = ?2, version = version + 1 WHERE recno = ?3";
        if (watched_) sql += " AND version = ?4";
        sqlite3_stmt *stmt = db_->statement(sql + " RETURNING version", rc);
        if (!stmt) return failDb(rc);
        if (key) sqlite3_bind_blob(stmt, 1, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
        else sqlite3_bind_null(stmt, 1);
        sqlite3_bind_blob(stmt, 2, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 3, currentRecno_);
        if (watched_) sqlite3_bind_int64(stmt, 4, currentVersion_);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) version = sqlite3_column_int64(stmt, 0);
        int last = rc == SQLITE_ROW ? sqlite3_step(stmt) : rc;
        sqlite3_reset(stmt);
        if (rc == SQLITE_DONE) return fail(watched_ ? KeyedChanged : KeyedRecordNotFound);
        if (rc != SQLITE_ROW) return failDb(rc);
        if (last != SQLITE_DONE) return failDb(last);
        return KeyedOk;
    });
    if (code != KeyedOk) return code;
    currentKey_ = key;
    currentVersion_ = version;
    if (key) {
        cursor_ = Cursor::At;
        cursorKey_ = key;
        cursorRecno_ = currentRecno_;
    }
    return ok();
}

int KeyedFile::remove() {
    if (int code = needWritable()) return code;
    if (currentRecno_ == 0) return fail(KeyedNotAvailable);
    int code = write([&]() -> int {
        int rc = SQLITE_OK;
        std::string sql = "DELETE FROM records WHERE recno = ?1";
        if (watched_) sql += " AND version = ?2";
        sqlite3_stmt *stmt = db_->statement(sql, rc);
        if (!stmt) return failDb(rc);
        sqlite3_bind_int64(stmt, 1, currentRecno_);
        if (watched_) sqlite3_bind_int64(stmt, 2, currentVersion_);
        rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE) return failDb(rc);
        if (sqlite3_changes(db_->handle) == 0) return fail(watched_ ? KeyedChanged : KeyedRecordNotFound);
        return KeyedOk;
    });
    if (code != KeyedOk) return code;
    currentRecno_ = 0;
    watched_ = false;
    return ok();
}

int KeyedFile::beginTransaction(int timeoutMs) {
    if (int code = needWritable()) return code;
    if (inTransaction_) return fail(KeyedTransactionActive);
    db_->busyTimeoutMs = std::max(0, timeoutMs);
    db_->yieldToWaiters();
    int rc = db_->exec("BEGIN IMMEDIATE");
    db_->busyTimeoutMs = kDefaultTimeoutMs;
    if (rc != SQLITE_OK) return failDb(rc);
    inTransaction_ = true;
    beforeTransaction_ = {currentRecno_, currentKey_, currentVersion_, watched_};
    return ok();
}

void KeyedFile::restoreCurrent() {
    currentRecno_ = beforeTransaction_.recno;
    currentKey_ = beforeTransaction_.key;
    currentVersion_ = beforeTransaction_.version;
    watched_ = beforeTransaction_.watched;
}

int KeyedFile::commit() {
    if (int code = needOpen()) return code;
    if (!inTransaction_) return fail(KeyedNoTransaction);
    int rc = db_->exec("COMMIT");
    if (rc != SQLITE_OK) {
        int code = failDb(rc);
        db_->exec("ROLLBACK");
        inTransaction_ = false;
        restoreCurrent();
        return code;
    }
    inTransaction_ = false;
    return ok();
}

int KeyedFile::rollback() {
    if (int code = needOpen()) return code;
    if (!inTransaction_) return fail(KeyedNoTransaction);
    int rc = db_->exec("ROLLBACK");
    inTransaction_ = false;
    restoreCurrent();
    if (rc != SQLITE_OK) return failDb(rc);
    return ok();
}

void KeyedFile::rollbackAll() {
    for (auto &entry : openFiles())
        if (entry.second->inTransaction_) entry.second->rollback();
}

void KeyedFile::watch() { watchArmed_ = true; }

std::int64_t KeyedFile::records() {
    if (needOpen()) return -1;
    int rc = SQLITE_OK;
    sqlite3_stmt *stmt = db_->statement("SELECT count(*) FROM records", rc);
    if (!stmt) {
        failDb(rc);
        return -1;
    }
    rc = sqlite3_step(stmt);
    db_->settle();
    std::int64_t count = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_reset(stmt);
    if (rc != SQLITE_ROW) failDb(rc);
    else ok();
    return count;
}

}  // namespace kvr::runtime
