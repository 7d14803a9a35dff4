#include "keyed_file/keyed_file.h"

#include "keyed_file/key_value.h"
#include "keyed_file/read_rules.h"
#include "keyed_file/record_position.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace kvr::keyed {

KeyedFile::KeyedFile(KeyedLayout layout, std::string name, std::unique_ptr<KeyedStore> store)
    : layout_(std::move(layout)), name_(std::move(name)), store_(std::move(store)), buffer_(layout_.recordSize, ' ') {
    assert(store_);
    assert(layout_.keyOffset + layout_.keyWidth <= layout_.recordSize);
}

KeyedFile::~KeyedFile() { store_->close(); }

void KeyedFile::setName(std::string name) { name_ = std::move(name); }

std::string KeyedFile::path() const {
    auto slash = name_.rfind('/');
    std::string base = slash == std::string::npos ? name_ : name_.substr(slash + 1);
    if (base.find('.') == std::string::npos) return name_ + ".tps";
    return name_;
}

void KeyedFile::bind(RecordBinding binding) { binding_ = std::move(binding); }

bool KeyedFile::isOpen() const { return store_->isOpen(); }

int KeyedFile::publish(const KeyedStatus &status) {
    error_ = {status.code, name_, status.driverCode, status.driverText};
    return status.code;
}

int KeyedFile::ok() { return publish(KeyedStatus::success()); }

int KeyedFile::fail(int code) { return publish(KeyedStatus::of(code)); }

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
    const OpenMode wanted = openModeOf(mode);
    if (int code = publish(store_->open(path(), wanted, recoverSeconds_ * 1000))) return code;
    readOnly_ = !wanted.write;
    inTransaction_ = false;
    cursor_ = Cursor::Start;
    cursorPlace_ = {};
    current_ = {};
    watchArmed_ = false;
    sweep_ = {};
    return KeyedOk;
}

int KeyedFile::close() {
    if (!isOpen()) return fail(KeyedNotOpen);
    store_->close();
    inTransaction_ = false;
    current_.recordNumber = 0;
    return ok();
}

int KeyedFile::create() { return publish(store_->create(path())); }

int KeyedFile::buildKeys() {
    if (isOpen()) return fail(KeyedAlreadyOpen);
    return publish(store_->buildKeys(path()));
}

int KeyedFile::setStart() {
    sweep_.on = false;
    if (int code = needOpen()) return code;
    cursor_ = Cursor::Start;
    return ok();
}

int KeyedFile::setEnd() {
    sweep_.on = false;
    if (int code = needOpen()) return code;
    cursor_ = Cursor::End;
    return ok();
}

int KeyedFile::setFromKey(std::string_view text) {
    sweep_.on = false;
    if (int code = needOpen()) return code;
    auto key = keyValueOf(text, layout_.keyWidth);
    cursor_ = Cursor::At;
    cursorPlace_ = {key ? *key : std::string(layout_.keyWidth, ' '), 0};
    return ok();
}

void KeyedFile::placeCursorAt(const std::optional<std::string> &key, std::int64_t recordNumber) {
    if (!key) return;  // a record out of the key leaves the cursor where it was
    cursor_ = Cursor::At;
    cursorPlace_ = {*key, recordNumber};
}

// Whether the record's key value is the one its bytes give.
bool KeyedFile::keyAgrees(const StoredRecord &record) const { return record.key == keyOf(record.data); }

// Takes a record a read found into the buffer and makes it current.
int KeyedFile::deliver(const KeyedStatus &status, StoredRecord &record) {
    if (!status.ok()) return publish(status);
    if (record.data.size() != layout_.recordSize) return fail(KeyedBadDeclaration);
    if (!keyAgrees(record)) return publish(store_->damaged());
    buffer_.swap(record.data);
    current_ = {record.recordNumber, record.key, record.version, watchArmed_};
    watchArmed_ = false;
    placeCursorAt(record.key, record.recordNumber);
    if (binding_.load) binding_.load(buffer_.data());
    return ok();
}

int KeyedFile::step(Direction direction) {
    if (int code = needOpen()) return code;
    const bool fromEnd = cursor_ == (direction == Direction::Forward ? Cursor::Start : Cursor::End);
    if (cursor_ == (direction == Direction::Forward ? Cursor::End : Cursor::Start)) return fail(KeyedNotAvailable);
    StoredRecord record;
    if (cursor_ != Cursor::At) return sweepStep(deliver(store_->first(direction, record), record), direction, fromEnd);
    const KeyPlace from = cursorPlace_;
    KeyedStatus status = store_->next(from, direction, record);
    // A step that does not move on would be taken again and again.
    if (status.ok() && !(record.key && beyond(from, {*record.key, record.recordNumber}, direction)))
        status = store_->damaged();
    return sweepStep(deliver(status, record), direction, fromEnd);
}

// Counts the records of a whole read in key order (from one end, steps in
// one direction, reading back the record just read allowed) and, at its
// end, holds their number to the store's count of the key: a damaged index
// may lead a seek past records without any step going backward.  The count
// is one small read at the end, and only when nobody wrote in between
// (another process's writes change the mark; this file definition's own
// writes and every other move of the cursor end the sweep).
int KeyedFile::sweepStep(int code, Direction direction, bool fromEnd) {
    if (fromEnd)
        sweep_ = {code == KeyedOk || code == KeyedNotAvailable, direction, 0, changeMark()};
    else if (sweep_.direction != direction)
        sweep_.on = false;
    if (!sweep_.on) return code;
    if (code == KeyedOk) {
        ++sweep_.delivered;
        return code;
    }
    sweep_.on = false;
    if (code != KeyedNotAvailable) return code;
    return wholeReadEnded(sweep_.delivered, sweep_.mark);
}

std::unique_ptr<ChangeNotices> KeyedFile::listenForChanges() {
    return isOpen() ? store_->listenForChanges() : nullptr;
}

// Another process's writes move the store's mark; this file definition's
// own writes (which the store's mark may not see) move writes_.
std::uint64_t KeyedFile::changeMark() { return (isOpen() ? store_->changeMark() : 0) * 0x100000001ull + writes_; }

int KeyedFile::wholeReadEnded(std::int64_t delivered, std::uint64_t mark) {
    const std::optional<std::int64_t> counted = store_->keyedCount();
    if (counted && *counted != delivered && changeMark() == mark) return publish(store_->damaged());
    return fail(KeyedNotAvailable);
}

int KeyedFile::next() { return step(Direction::Forward); }

int KeyedFile::previous() { return step(Direction::Backward); }

int KeyedFile::readKeyOrder(const std::optional<KeyPlace> &from, bool inclusive, Direction direction, std::size_t count,
                            std::vector<StoredRecord> &records) {
    if (int code = needOpen()) return code;
    const std::size_t before = records.size();
    const int code = publish(store_->read(from, inclusive, direction, count, records));
    // Each record beyond the one before it (the first beyond the place), in
    // the key, its key its bytes' own; the records before one that is not
    // stay delivered.
    std::optional<KeyPlace> last = from;
    for (std::size_t i = before; i < records.size(); ++i) {
        const StoredRecord &record = records[i];
        if (record.data.size() != layout_.recordSize) {
            records.resize(i);
            return fail(KeyedBadDeclaration);
        }
        const bool first = i == before;
        if (!record.key || !keyAgrees(record) ||
            (last && !beyond(*last, {*record.key, record.recordNumber}, direction, first && inclusive))) {
            records.resize(i);
            return publish(store_->damaged());
        }
        last = KeyPlace{*record.key, record.recordNumber};
    }
    return code;
}

std::string KeyedFile::position() const { return positionText({current_.recordNumber, current_.key}); }

int KeyedFile::readByNumber(std::uint32_t recordNumber) {
    sweep_.on = false;
    if (int code = needOpen()) return code;
    StoredRecord record;
    return deliver(store_->byNumber(recordNumber, record), record);
}

int KeyedFile::readByPosition(std::string_view text) {
    if (int code = needOpen()) return code;
    const std::optional<RecordPosition> position = positionOf(text, layout_.keyWidth);
    if (!position) return fail(KeyedRecordNotFound);
    // Reading back the record just read keeps a whole read in key order
    // going.
    const bool same = cursor_ == Cursor::At && position->key && cursorPlace_.key == *position->key &&
                      cursorPlace_.recordNumber == position->recordNumber;
    const Sweep sweep = sweep_;
    placeCursorAt(position->key, position->recordNumber);
    const int code = readByNumber(position->recordNumber);
    if (same && code == KeyedOk && cursor_ == Cursor::At && cursorPlace_.key == *position->key) sweep_ = sweep;
    return code;
}

std::vector<unsigned char> KeyedFile::outgoing() {
    if (binding_.save) {
        buffer_.assign(layout_.recordSize, ' ');
        binding_.save(buffer_.data());
    }
    buffer_.resize(layout_.recordSize, ' ');
    return buffer_;
}

std::optional<std::string> KeyedFile::keyOf(const std::vector<unsigned char> &record) const {
    return keyValueOf(
        std::string_view(reinterpret_cast<const char *>(record.data()) + layout_.keyOffset, layout_.keyWidth),
        layout_.keyWidth);
}

std::optional<std::int64_t> KeyedFile::expectedVersion() const {
    return current_.watched ? std::optional<std::int64_t>(current_.version) : std::nullopt;
}

int KeyedFile::add() {
    sweep_.on = false;
    ++writes_;
    if (int code = needWritable()) return code;
    const std::vector<unsigned char> data = outgoing();
    const auto key = keyOf(data);
    std::uint32_t recordNumber = 0;
    if (int code = publish(store_->insert(key, data, recordNumber))) return code;
    current_ = {recordNumber, key, 1, false};
    placeCursorAt(key, recordNumber);
    return KeyedOk;
}

int KeyedFile::addMany(const std::vector<std::vector<unsigned char>> &records, std::vector<int> &codes) {
    sendAdds(records);
    return receiveAdds(codes);
}

void KeyedFile::sendAdds(const std::vector<std::vector<unsigned char>> &records) {
    sweep_.on = false;
    ++writes_;
    sending_.assign(records.size(), NewRecord{});
    sendRefused_ = needWritable();
    if (sendRefused_ != KeyedOk) return;
    for (std::size_t i = 0; i < records.size(); ++i) {
        sending_[i].data = records[i];
        sending_[i].data.resize(layout_.recordSize, ' ');
        sending_[i].key = keyOf(sending_[i].data);
    }
    store_->startInsertMany(sending_);
}

bool KeyedFile::addsAnswered() { return sendRefused_ != KeyedOk || !store_ || store_->insertManyAnswered(); }

int KeyedFile::receiveAdds(std::vector<int> &codes) {
    std::vector<NewRecord> batch = std::move(sending_);
    sending_.clear();
    if (sendRefused_ != KeyedOk) {
        codes.assign(batch.size(), sendRefused_);
        return fail(sendRefused_);
    }
    store_->finishInsertMany(batch);
    codes.clear();
    const NewRecord *firstFailure = nullptr;
    for (const NewRecord &r : batch) {
        codes.push_back(r.status.code);
        if (!r.status.ok()) {
            if (!firstFailure) firstFailure = &r;
            continue;
        }
        current_ = {r.recordNumber, r.key, 1, false};
        placeCursorAt(r.key, r.recordNumber);
    }
    return publish(firstFailure ? firstFailure->status : KeyedStatus::success());
}

int KeyedFile::put() {
    sweep_.on = false;
    ++writes_;
    if (int code = needWritable()) return code;
    if (current_.recordNumber == 0) return fail(KeyedNotAvailable);
    const std::vector<unsigned char> data = outgoing();
    const auto key = keyOf(data);
    std::int64_t version = 0;
    if (int code = publish(store_->update(current_.recordNumber, key, data, expectedVersion(), version))) return code;
    current_.key = key;
    current_.version = version;
    placeCursorAt(key, current_.recordNumber);
    return KeyedOk;
}

int KeyedFile::remove() {
    sweep_.on = false;
    ++writes_;
    if (int code = needWritable()) return code;
    if (current_.recordNumber == 0) return fail(KeyedNotAvailable);
    if (int code = publish(store_->remove(current_.recordNumber, expectedVersion()))) return code;
    current_.recordNumber = 0;
    current_.watched = false;
    return KeyedOk;
}

int KeyedFile::beginTransaction(int timeoutMs) {
    sweep_.on = false;
    if (int code = needWritable()) return code;
    if (inTransaction_) return fail(KeyedTransactionActive);
    if (int code = publish(store_->beginOn(current_.recordNumber, timeoutMs))) return code;
    inTransaction_ = true;
    beforeTransaction_ = current_;
    return KeyedOk;
}

int KeyedFile::commit() {
    if (int code = needOpen()) return code;
    if (!inTransaction_) return fail(KeyedNoTransaction);
    inTransaction_ = false;
    const int code = publish(store_->commit());
    if (code != KeyedOk) current_ = beforeTransaction_;
    return code;
}

int KeyedFile::rollback() {
    ++writes_;
    if (int code = needOpen()) return code;
    if (!inTransaction_) return fail(KeyedNoTransaction);
    inTransaction_ = false;
    current_ = beforeTransaction_;
    return publish(store_->rollback());
}

void KeyedFile::watch() { watchArmed_ = true; }

std::int64_t KeyedFile::records() {
    if (needOpen()) return -1;
    std::int64_t count = -1;
    if (publish(store_->count(count))) return -1;
    return count;
}

int KeyedFile::countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                             std::int64_t &records) {
    if (int code = needOpen()) return code;
    return publish(store_->countKeyOrder(after, below, records));
}

}  // namespace kvr::keyed
