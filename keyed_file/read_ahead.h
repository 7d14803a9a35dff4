// Records a store read ahead of the key cursor: a step that finds none
// reads a page beyond the place (a browser page, then twice as much while
// the cursor keeps going on, up to a limit), and the steps that follow take
// them in order without reading the file.  The store decides how long they
// stay good (keyed_store.h: SQLite while the file is unchanged, PostgreSQL
// until the cursor leaves the page) and forgets them at each of its own
// writes.
#ifndef KVR_KEYED_READ_AHEAD_H
#define KVR_KEYED_READ_AHEAD_H

#include "keyed_file/keyed_store.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace kvr::keyed {

class ReadAhead {
public:
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
