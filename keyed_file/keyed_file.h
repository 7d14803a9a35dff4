// Keyed record files.
//
// A keyed file holds fixed-width records and one key over one text field of
// the record (see key_value.h): ascending, case-insensitive, duplicates
// allowed, blank values left out of the key, equal values in record-number
// order.  A name without an extension gets ".tps".  The records are stored
// as they are, byte for byte, by a store (keyed_store.h); the one there is
// keeps each file in an SQLite database (sqlite/sqlite_store.h).
//
// Every record has a 32-bit record number that stays its own while it exists
// (numbers are never reused) and a position text (at most 512 characters,
// record_position.h) by which it can be read back; callers keep positions
// and never look inside.
//
// Reading in key order moves a cursor: each step goes on from the record
// last delivered, so other processes may write in between.
//
// Access modes (access_mode.h; the low digit is the access, the high one the
// sharing):
//   0x00  read only (others may read and write)
//   0x20  read only, other processes may not write
//   0x22  read and write, other processes may not write
//   0x40  read only, others may read and write
//   0x42  read and write, others may read and write
//   0x10 / 0x12 deny others everything, 0x30 / 0x32 deny others reading;
//   an access digit of 1 (write only) opens for reading and writing.
// An open that conflicts with the sharing of another process's open fails
// with KeyedLocked.
//
// Option texts: "Recover=N" makes every later open of this file definition
// keep retrying for up to N seconds while the file is locked (KeyedLocked), for
// instance while another process holds it with a conflicting sharing mode
// or is in the middle of writing.  A write that was cut short (a killed
// process) never shows: nothing needs to be repaired by hand.
//
// Writes are atomic: each add, put and delete outside a transaction is
// whole or not at all.
//
// Checks at open: a file that is not a keyed file of this layout gives KeyedBadDeclaration;
// a text or damaged file gives KeyedSystemError with the store's message; a key that is
// missing or damaged gives KeyedRebuildKeys.  buildKeys() derives every key value again
// from the record bytes and builds the key anew.
//
// Every read ends, whatever the file holds: a record that breaks the read
// rules (read_rules.h: a step that does not move on in key order, a key
// that disagrees with its record, a record number beyond 32 bits) is
// reported as a damaged file (KeyedSystemError, the store's message) and not delivered;
// the cursor stays where it was.  A whole read in key order (setStart, then
// next() alone until KeyedNotAvailable) that has seen fewer or more records than the store
// counts in the key, while nobody wrote to the file, ends with KeyedSystemError instead
// of KeyedNotAvailable: a file does not pass for a shorter one.  So does a whole read
// backward, or one reading back each record by its position as it goes,
// or one through a view.
//
// Watched reads: after watch(), the next read remembers the record's change
// counter; a put or delete of that record then fails with KeyedChanged and writes
// nothing when another process has changed or deleted it since.  The
// comparison runs inside the write.
//
// Every operation leaves its error as the file definition's last error
// (lastError(), keyed_error.h).
#ifndef KVR_KEYED_FILE_H
#define KVR_KEYED_FILE_H

#include "keyed_file/access_mode.h"
#include "keyed_file/keyed_error.h"
#include "keyed_file/keyed_store.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::keyed {

// Ties a file definition to a caller's record buffer: load() receives every
// record read, save() gives the bytes of every record added or put.
struct RecordBinding {
    std::function<void(const unsigned char *record)> load;
    std::function<void(unsigned char *record)> save;
};

class KeyedFile {
public:
    static constexpr int kModeSharedReadWrite = access::kDenyNone | access::kReadWrite;
    static constexpr int kModeDenyWriteReadWrite = access::kDenyWrite | access::kReadWrite;
    static constexpr int kDefaultTimeoutMs = 2000;

    // A file definition kept by the given store (store_choice.h makes the
    // one a run uses).
    KeyedFile(KeyedLayout layout, std::string name, std::unique_ptr<KeyedStore> store);
    ~KeyedFile();
    KeyedFile(const KeyedFile &) = delete;
    KeyedFile &operator=(const KeyedFile &) = delete;

    // The name as given and the path it opens ("COMMANDS" -> "COMMANDS.tps").
    const std::string &name() const { return name_; }
    void setName(std::string name);
    std::string path() const;
    const KeyedLayout &layout() const { return layout_; }

    // The error the last operation on this file definition left (or on a
    // view of it); code 0 after one that succeeded.
    const KeyedError &lastError() const { return error_; }

    void bind(RecordBinding binding);
    // The record buffer of the file definition (what a read delivered, what
    // add/put write when no binding is set).
    std::vector<unsigned char> &buffer() { return buffer_; }

    [[nodiscard]] int open(int mode = kModeDenyWriteReadWrite);
    [[nodiscard]] int create();  // a new empty file; never replaces an existing one
    // Fails only on a file that is not open (KeyedNotOpen): its result may
    // be dropped, as may that of sendOption, which accepts every option.
    int close();
    bool isOpen() const;
    bool readOnly() const { return readOnly_; }
    [[nodiscard]] int buildKeys();  // rebuilds the key of a closed file
    int sendOption(std::string_view option);

    // Key order.  setFromKey positions before the first record whose key is
    // not lower than the key value of text.
    [[nodiscard]] int setStart();
    [[nodiscard]] int setEnd();
    [[nodiscard]] int setFromKey(std::string_view text);
    [[nodiscard]] int next();
    [[nodiscard]] int previous();

    // Up to count records in key order from a place (see KeyedStore::read),
    // all from one read of the file; the cursor, the current record and the
    // buffer stay as they are.  Views read this way (keyed_view.h).
    [[nodiscard]] int readKeyOrder(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                                   std::size_t count, std::vector<StoredRecord> &records);

    // A whole read in key order from one end to the other, by steps or
    // through a view, delivered records since the store's change mark was
    // mark: KeyedNotAvailable when that agrees with the store's count of the key or
    // another process wrote since, else the damaged file (KeyedSystemError).
    std::uint64_t changeMark();
    [[nodiscard]] int wholeReadEnded(std::int64_t delivered, std::uint64_t mark);

    // A source of notices of this file's committed changes by other
    // stations, for a file open in a store that hears them (the team
    // library); nothing otherwise.  It may outlive a close of the file,
    // not the file definition.
    std::unique_ptr<ChangeNotices> listenForChanges();

    // The record last read, added or put.
    std::string position() const;
    std::uint32_t recordNumber() const { return current_.recordNumber; }

    // Read back.  readByPosition also places the key cursor at the record's
    // place, even when the record is gone (KeyedRecordNotFound), so that next()/previous()
    // continue from there.
    [[nodiscard]] int readByPosition(std::string_view text);
    [[nodiscard]] int readByNumber(std::uint32_t recordNumber);

    [[nodiscard]] int add();
    [[nodiscard]] int put();
    [[nodiscard]] int remove();
    // Adds the records in order, each as add() would, with its code in
    // codes; the store may send them together (the team library does so
    // inside a transaction).  The last one added becomes the current record;
    // the first failure is the file's last error.
    [[nodiscard]] int addMany(const std::vector<std::vector<unsigned char>> &records, std::vector<int> &codes);
    // addMany in two halves, so that the caller can read on while the team
    // library's server adds: sendAdds starts, receiveAdds waits for the end
    // and gives the codes.  Between the two the file takes no other call
    // (outgoing() aside).
    void sendAdds(const std::vector<std::vector<unsigned char>> &records);
    [[nodiscard]] int receiveAdds(std::vector<int> &codes);
    // Whether receiveAdds would find its answer without waiting: the caller
    // may read on meanwhile and send more in the next group.
    bool addsAnswered();
    // The record add() and put() write now: the binding's, else the buffer.
    std::vector<unsigned char> outgoing();

    [[nodiscard]] int beginTransaction(int timeoutMs = kDefaultTimeoutMs);
    [[nodiscard]] int commit();
    [[nodiscard]] int rollback();
    bool inTransaction() const { return inTransaction_; }

    void watch();

    // Number of records (also those left out of the key).
    std::int64_t records();
    // The records after a place in key order (from the start without one)
    // whose key value is lower than below when given, counted by the store
    // without reading them (KeyedStore::countKeyOrder).
    [[nodiscard]] int countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                                    std::int64_t &records);

private:
    friend class KeyedView;  // its reads leave their error here too

    enum class Cursor { Start, End, At };

    // The record last read, added or put.
    struct Current {
        std::uint32_t recordNumber = 0;
        std::optional<std::string> key;
        std::int64_t version = 0;
        bool watched = false;  // its put or delete compares the version
    };

    [[nodiscard]] int publish(const KeyedStatus &status);
    [[nodiscard]] int fail(int code);
    [[nodiscard]] int ok();
    [[nodiscard]] int needOpen();
    [[nodiscard]] int needWritable();
    [[nodiscard]] int openOnce(int mode);
    [[nodiscard]] int step(Direction direction);
    [[nodiscard]] int deliver(const KeyedStatus &status, StoredRecord &record);
    bool keyAgrees(const StoredRecord &record) const;
    std::optional<std::string> keyOf(const std::vector<unsigned char> &record) const;
    void placeCursorAt(const std::optional<std::string> &key, std::int64_t recordNumber);
    std::optional<std::int64_t> expectedVersion() const;

    KeyedLayout layout_;
    std::string name_;
    std::unique_ptr<KeyedStore> store_;
    KeyedError error_;
    RecordBinding binding_;
    std::vector<unsigned char> buffer_;
    bool readOnly_ = false;
    bool inTransaction_ = false;
    int recoverSeconds_ = 0;

    Cursor cursor_ = Cursor::Start;
    KeyPlace cursorPlace_;

    // A whole read in key order under way: the records delivered since
    // the first, and the store's change mark then.
    struct Sweep {
        bool on = false;
        Direction direction = Direction::Forward;
        std::int64_t delivered = 0;
        std::uint64_t mark = 0;
    };
    [[nodiscard]] int sweepStep(int code, Direction direction, bool fromEnd);

    Sweep sweep_;
    std::uint64_t writes_ = 0;  // writes of this file definition, for changeMark()
    Current current_;
    bool watchArmed_ = false;
    // The current record as it stood when the transaction began: a
    // transaction that is rolled back (or whose commit fails) wrote nothing,
    // so the current record, its change counter and its watch are those of
    // before again, and the same write can simply be tried once more.
    Current beforeTransaction_;
    std::vector<NewRecord> sending_;  // sendAdds' records, receiveAdds' to answer
    int sendRefused_ = KeyedOk;       // why sendAdds could not add at all
};

}  // namespace kvr::keyed

#endif
