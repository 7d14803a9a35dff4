#include "keyed_file/keyed_view.h"

#include "keyed_file/key_value.h"
#include "keyed_file/record_position.h"

namespace kvr::keyed {

int KeyedView::result(int code) { return file_.fail(code); }

int KeyedView::open() {
    if (!file_.isOpen()) return result(KeyedNotOpen);
    open_ = true;
    place_ = Place::Start;
    return result(KeyedOk);
}

void KeyedView::close() { open_ = false; }

int KeyedView::setStart() {
    sweep_.on = false;
    if (!open_) return result(KeyedNotOpen);
    place_ = Place::Start;
    return result(KeyedOk);
}

int KeyedView::setEnd() {
    sweep_.on = false;
    if (!open_) return result(KeyedNotOpen);
    place_ = Place::End;
    return result(KeyedOk);
}

int KeyedView::setFromKey(std::string_view text) {
    sweep_.on = false;
    if (!open_) return result(KeyedNotOpen);
    const std::size_t width = file_.layout().keyWidth;
    const auto key = keyValueOf(text, width);
    // Record number 0 lies before every record of the key value.
    place_ = Place::At;
    at_ = {key ? *key : std::string(width, ' '), 0};
    inclusive_ = false;
    return result(KeyedOk);
}

int KeyedView::setFromPosition(std::string_view text) {
    sweep_.on = false;
    if (!open_) return result(KeyedNotOpen);
    const auto position = positionOf(text, file_.layout().keyWidth);
    if (!position || !position->key) return result(KeyedRecordNotFound);
    place_ = Place::At;
    at_ = {*position->key, position->recordNumber};
    inclusive_ = true;
    return result(KeyedOk);
}

int KeyedView::read(ViewDirection direction, std::size_t count, std::vector<ViewRecord> &rows) {
    if (!open_) return result(KeyedNotOpen);
    const bool forward = direction == ViewDirection::Forward;
    if (count == 0) return result(KeyedOk);
    if (place_ == (forward ? Place::End : Place::Start)) return result(KeyedNotAvailable);
    if (place_ != Place::At) sweep_ = {true, direction, 0, file_.changeMark()};
    if (sweep_.direction != direction) sweep_.on = false;
    std::vector<StoredRecord> records;
    std::optional<KeyPlace> from;
    if (place_ == Place::At) from = at_;
    const int code =
        file_.readKeyOrder(from, inclusive_, forward ? Direction::Forward : Direction::Backward, count, records);
    for (StoredRecord &record : records) {
        rows.push_back({std::move(record.data), positionText({record.recordNumber, record.key})});
        place_ = Place::At;
        at_ = {*record.key, record.recordNumber};
        inclusive_ = false;
    }
    sweep_.delivered += static_cast<std::int64_t>(records.size());
    if (code != KeyedOk) {
        sweep_.on = false;
        return code;
    }
    if (records.size() == count) return result(KeyedOk);
    if (!sweep_.on) return result(KeyedNotAvailable);
    sweep_.on = false;
    return file_.wholeReadEnded(sweep_.delivered, sweep_.mark);
}

}  // namespace kvr::keyed
