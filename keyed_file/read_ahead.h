// Records a store read ahead of the key cursor: a step that finds none
// reads a page beyond the place (a browser page, then twice as much while
// the cursor keeps going on, up to a limit), and the steps that follow take
// them in order without reading the file.  The store decides how long they
// stay good (keyed_store.h: SQLite while the file is unchanged, PostgreSQL
// until the cursor leaves the page) and forgets them at each of its own
// writes.
//
// step() is the cursor's step on both stores, the rule in one place: the
// store gives the read of a page and whether the records are still good.
#ifndef KVR_KEYED_READ_AHEAD_H
#define KVR_KEYED_READ_AHEAD_H

#include "keyed_file/keyed_store.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kvr::keyed {

// What the read of a page gave: its status (the records before a damaged
// one come with the damage), whether its records are delivered at all (a
// page read whose end failed is not), and whether they are kept for the
// steps after it (not when the store cannot tell how long they hold).
struct PageRead {
    KeyedStatus status = KeyedStatus::success();
    bool deliver = true;
    bool keep = true;
};

class ReadAhead {
public:
    // Reads up to size records of the key order beyond the step's place.
    using ReadPage = std::function<PageRead(std::size_t size, std::vector<StoredRecord> &records)>;

    // One step of the key cursor from place (nothing: from the end): the
    // next record read ahead while the records follow the place and
    // stillGood() says they hold, else the first of a page readPage reads,
    // nextSize() records.  Records before a damaged one are delivered; the
    // step that reaches the damage reads it again and reports it.
    KeyedStatus step(const std::optional<KeyPlace> &place, Direction direction, const std::function<bool()> &stillGood,
                     const ReadPage &readPage, StoredRecord &record) {
        const bool continues = follows(place, direction) && stillGood();
        if (continues && hasRecord()) {
            take(record);
            return KeyedStatus::success();
        }
        if (continues && atEnd()) return KeyedStatus::of(KeyedNotAvailable);
        const std::size_t size = nextSize(continues);
        forget();
        std::vector<StoredRecord> records;
        const PageRead page = readPage(size, records);
        if (!page.deliver) return page.status;
        if (records.empty()) return page.status.ok() ? KeyedStatus::of(KeyedNotAvailable) : page.status;
        fill(place, direction, std::move(records), size, page.status.ok(), record);
        if (!page.status.ok() || !page.keep) forget();
        return KeyedStatus::success();
    }

    static constexpr std::size_t kFirst = 20;  // a page of the browser
    static constexpr std::size_t kMost = 128;

    // Whether the records answer a step from place (nothing: from the end):
    // the cursor goes on from the record it delivered last, the same way.
    bool follows(const std::optional<KeyPlace> &place, Direction direction) const {
        if (!usable_ || direction_ != direction || !place != !after_) return false;
        return !place || (place->key == after_->key && place->recordNumber == after_->recordNumber);
    }
    bool hasRecord() const { return taken_ < records_.size(); }
    // The read met the end of the key order: nothing follows.
    bool atEnd() const { return toTheEnd_ && !hasRecord(); }
    // Only when follows() and hasRecord().
    void take(StoredRecord &record) {
        record = std::move(records_[taken_++]);
        after_ = KeyPlace{record.key.value_or(std::string()), record.recordNumber};
    }
    // How many records the next read fetches: more when it continues these.
    std::size_t nextSize(bool continues) const {
        return continues ? std::min(kMost, std::max(kFirst, size_ * 2)) : kFirst;
    }
    // The records a read of size records from place fetched (fewer: the key
    // order ended); the first is taken at once.
    void fill(const std::optional<KeyPlace> &place, Direction direction, std::vector<StoredRecord> records,
              std::size_t size, bool complete, StoredRecord &record) {
        usable_ = true;
        direction_ = direction;
        after_ = place;
        records_ = std::move(records);
        taken_ = 0;
        size_ = size;
        toTheEnd_ = complete && records_.size() < size;
        take(record);
    }
    void forget() {
        usable_ = false;
        records_.clear();
        taken_ = 0;
    }

private:
    bool usable_ = false;
    Direction direction_ = Direction::Forward;
    std::optional<KeyPlace> after_;
    std::vector<StoredRecord> records_;
    std::size_t taken_ = 0;
    std::size_t size_ = 0;
    bool toTheEnd_ = false;
};

}  // namespace kvr::keyed

#endif
