// Keyed record files.
//
// A keyed file holds fixed-width records and one key over one text field of
// the record (see key_value.h): ascending, case-insensitive, duplicates
// allowed, blank values left out of the key, equal values in record-number
// order.  Each file is one SQLite database; a name without an extension gets
// ".tps".  The records are stored as they are, byte for byte.
//
// Every record has a 32-bit record number that stays its own while it exists
// (numbers are never reused) and a position text (at most 512 characters) by
// which it can be read back; callers keep positions and never look inside.
//
// Reading in key order moves a cursor: each step is one index seek from the
// record last delivered, so a step costs O(log n) and no statement stays open
// between calls (other processes may write in between).
//
// Access modes (the low digit is the access, the high one the sharing):
//   0x00  read only (others may read and write)
//   0x20  read only, other processes may not write
//   0x22  read and write, other processes may not write
//   0x40  read only, others may read and write
//   0x42  read and write, others may read and write
//   0x10 / 0x12 deny others everything, 0x30 / 0x32 deny others reading;
//   an access digit of 1 (write only) opens for reading and writing.
// An open that conflicts with the sharing of another process's open fails
// with 32.
//
// Option texts: "Recover=N" makes every later open of this file definition
// keep retrying for up to N seconds while the file is locked (code 32), for
// instance while another process holds it with a conflicting sharing mode
// or is in the middle of writing.  A write that was cut short (a killed
// process) is always rolled back by the database itself when the file is
// next opened; nothing needs to be repaired by hand.
//
// Writes are atomic: each add, put and delete outside a transaction is its
// own database transaction, and the rollback journal with full
// synchronisation keeps the file whole if a writer dies.  The rollback
// journal (rather than a write-ahead log) keeps every committed change in
// the one ".tps" file, so a file copied from another installation, or read
// from a read-only medium, is always complete.
//
// Checks at open: a database that is not a keyed file of this layout (no
// layout signature, another record size or key) gives 47; a text or damaged
// file gives 90 with the database's message ("file is not a database"); a
// key index that is missing, defined otherwise, or holding another number of
// entries than the records in the key gives 46 (the count is kept by the
// database on every write; comparing it walks the index only, not the
// records).  buildKeys() derives every key value again from the record
// bytes, builds the index and its count anew and compacts the file.
//
// Watched reads: after watch(), the next read remembers the record's change
// counter; a put or delete of that record then fails with 89 and writes
// nothing when another process has changed or deleted it since.  The
// comparison runs inside the write transaction.
//
// The last error of every operation is kept process-wide (keyed_error.h).
#ifndef KVR_RUNTIME_KEYED_FILE_H
#define KVR_RUNTIME_KEYED_FILE_H

#include "keyed_file/keyed_error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::runtime {

// The record layout a file definition expects; a file of another layout is
// refused with 47.
struct KeyedLayout {
    std::string name;          // layout name kept in the file, e.g. "COMMANDS"
    std::size_t recordSize = 0;
    std::size_t keyOffset = 0;  // the key's text field inside the record
    std::size_t keyWidth = 0;
};

// Ties a file definition to a caller's record buffer: load() receives every
// record read, save() gives the bytes of every record added or put.
struct RecordBinding {
    std::function<void(const unsigned char *record)> load;
    std::function<void(unsigned char *record)> save;
};

class KeyedFile {
public:
    static constexpr int kModeSharedReadWrite = 0x42;
    static constexpr int kModeDenyWriteReadWrite = 0x22;
    static constexpr int kDefaultTimeoutMs = 2000;

    KeyedFile(KeyedLayout layout, std::string name);
    ~KeyedFile();
    KeyedFile(const KeyedFile &) = delete;
    KeyedFile &operator=(const KeyedFile &) = delete;

    // The name as given and the path it opens ("COMMANDS" -> "COMMANDS.tps").
    const std::string &name() const { return name_; }
    void setName(std::string name);
    std::string path() const;
    const KeyedLayout &layout() const { return layout_; }

    void bind(RecordBinding binding);
    // The record buffer of the file definition (what a read delivered, what
    // add/put write when no binding is set).
    std::vector<unsigned char> &buffer() { return buffer_; }

    int open(int mode = kModeDenyWriteReadWrite);
    int create();  // a new empty file; never replaces an existing one
    int close();
    bool isOpen() const;
    bool readOnly() const { return readOnly_; }
    int buildKeys();  // rebuilds the key of a closed file
    int sendOption(std::string_view option);

    // Key order.  setFromKey positions before the first record whose key is
    // not lower than the key value of text.
    int setStart();
    int setEnd();
    int setFromKey(std::string_view text);
    int next();
    int previous();

    // The record last read, added or put.
    std::string position() const;
    std::uint32_t recordNumber() const { return currentRecno_; }

    // Read back.  readByPosition also places the key cursor at the record's
    // place, even when the record is gone (35), so that next()/previous()
    // continue from there.
    int readByPosition(std::string_view position);
    int readByNumber(std::uint32_t recordNumber);

    int add();
    int put();
    int remove();

    int beginTransaction(int timeoutMs = kDefaultTimeoutMs);
    int commit();
    int rollback();
    bool inTransaction() const { return inTransaction_; }
    // Rolls back the transaction of every open keyed file of the process.
    static void rollbackAll();

    void watch();

    // Number of records (also those left out of the key).
    std::int64_t records();

private:
    struct Db;
    enum class Cursor { Start, End, At };

    int fail(int code);
    int failDb(int rc);
    int ok();
    int needOpen();
    int needWritable();
    int openOnce(int mode);
    int checkLayout();
    int step(bool forward);
    int fetch(const char *sql, const std::function<void(void *)> &bindArgs);
    int deliver(void *stmt);
    std::vector<unsigned char> outgoing();
    int write(const std::function<int()> &body);

    KeyedLayout layout_;
    std::string name_;
    RecordBinding binding_;
    std::vector<unsigned char> buffer_;
    std::unique_ptr<Db> db_;
    bool readOnly_ = false;
    bool inTransaction_ = false;
    int recoverSeconds_ = 0;

    Cursor cursor_ = Cursor::Start;
    std::optional<std::string> cursorKey_;
    std::int64_t cursorRecno_ = 0;

    std::uint32_t currentRecno_ = 0;
    std::optional<std::string> currentKey_;
    std::int64_t currentVersion_ = 0;
    bool watchArmed_ = false;
    bool watched_ = false;

    // The record last read as it stood when the transaction began: a
    // transaction that is rolled back (or whose commit fails) wrote nothing,
    // so the current record, its change counter and its watch are those of
    // before again, and the same write can simply be tried once more.
    struct Current {
        std::uint32_t recno = 0;
        std::optional<std::string> key;
        std::int64_t version = 0;
        bool watched = false;
    };
    Current beforeTransaction_;
    void restoreCurrent();
};

}  // namespace kvr::runtime

#endif
