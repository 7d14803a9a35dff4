// Views on keyed files: a cursor of its own over a file's key order that
// delivers records a batch at a time, each with its position.  A browsing
// window reads its pages through a view.
//
// A view is placed at the start or the end of the key order, before the
// first record whose key is not lower than a text, or at a record by its
// position; reading forward or backward from a record's position delivers
// that record first when it is still there (in the same place in the key),
// otherwise its neighbour in the direction of reading.  After a read the
// view stays behind the last record delivered.
//
// Each read is one read of the file, however many records it asks for, and
// sees the file as other processes left it at that moment.  Reads keep the
// file's read rules (keyed_file.h): reading from one end to the other, in
// pages in one direction, ends with KeyedSystemError instead of KeyedNotAvailable when the records
// delivered disagree with the store's count of the key.  Reading through
// a view leaves the file's own key cursor, current record and record buffer
// alone.
#ifndef KVR_KEYED_VIEW_H
#define KVR_KEYED_VIEW_H

#include "keyed_file/keyed_file.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::keyed {

struct ViewRecord {
    std::vector<unsigned char> data;
    std::string position;
};

enum class ViewDirection { Forward, Backward };

class KeyedView {
public:
    explicit KeyedView(KeyedFile &file) : file_(file) {}
    KeyedView(const KeyedView &) = delete;
    KeyedView &operator=(const KeyedView &) = delete;

    // KeyedNotOpen when the file is not open.
    [[nodiscard]] int open();
    void close();
    bool isOpen() const { return open_; }

    [[nodiscard]] int setStart();
    [[nodiscard]] int setEnd();
    [[nodiscard]] int setFromKey(std::string_view text);
    // KeyedRecordNotFound for a text that names no record of the key.
    [[nodiscard]] int setFromPosition(std::string_view text);

    // Up to count records from the view's place in the direction, appended
    // to rows in reading order.  0 when count records were read, KeyedNotAvailable when the
    // key order ended first, another code when a read failed (rows then
    // holds those read before the failure).
    [[nodiscard]] int read(ViewDirection direction, std::size_t count, std::vector<ViewRecord> &rows);

private:
    enum class Place { Start, End, At };

    [[nodiscard]] int result(int code);  // sets the file's last error

    KeyedFile &file_;
    bool open_ = false;
    Place place_ = Place::Start;
    KeyPlace at_;             // Place::At: the key value and record number
    bool inclusive_ = false;  // the record at at_ itself is read
    // A whole read from one end to the other (see KeyedFile::wholeReadEnded).
    struct Sweep {
        bool on = false;
        ViewDirection direction = ViewDirection::Forward;
        std::int64_t delivered = 0;
        std::uint64_t mark = 0;
    } sweep_;
};

}  // namespace kvr::keyed

#endif
