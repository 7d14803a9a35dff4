// Test support: a store that hands every call on to a real SQLite store, for
// tests that look at or change what passes between a file and its store
// (override the calls of interest); and one that counts the records the
// store delivers and the counts it is asked for.
#ifndef KVR_TESTS_FORWARDING_STORE_H
#define KVR_TESTS_FORWARDING_STORE_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/sqlite/sqlite_store.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvr::testing {

class ForwardingStore : public keyed::KeyedStore {
public:
    explicit ForwardingStore(const keyed::KeyedLayout &layout) : inner_(layout) {}

    using KeyedStatus = keyed::KeyedStatus;
    using StoredRecord = keyed::StoredRecord;
    using KeyPlace = keyed::KeyPlace;
    using Direction = keyed::Direction;

    KeyedStatus open(const std::string &path, keyed::OpenMode mode, int waitMs) override {
        return inner_.open(path, mode, waitMs);
    }
    KeyedStatus create(const std::string &path) override { return inner_.create(path); }
    KeyedStatus buildKeys(const std::string &path) override { return inner_.buildKeys(path); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    KeyedStatus first(Direction d, StoredRecord &r) override { return inner_.first(d, r); }
    KeyedStatus next(const KeyPlace &p, Direction d, StoredRecord &r) override { return inner_.next(p, d, r); }
    KeyedStatus byNumber(std::uint32_t n, StoredRecord &r) override { return inner_.byNumber(n, r); }
    KeyedStatus read(const std::optional<KeyPlace> &from, bool inclusive, Direction d, std::size_t count,
                     std::vector<StoredRecord> &records) override {
        return inner_.read(from, inclusive, d, count, records);
    }
    KeyedStatus count(std::int64_t &records) override { return inner_.count(records); }
    KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                              std::int64_t &records) override {
        return inner_.countKeyOrder(after, below, records);
    }
    KeyedStatus damaged() override { return inner_.damaged(); }
    std::optional<std::int64_t> keyedCount() override { return inner_.keyedCount(); }
    std::uint64_t changeMark() override { return inner_.changeMark(); }
    KeyedStatus insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                       std::uint32_t &recordNumber) override {
        return inner_.insert(key, data, recordNumber);
    }
    KeyedStatus update(std::uint32_t n, const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                       std::optional<std::int64_t> expected, std::int64_t &version) override {
        return inner_.update(n, key, data, expected, version);
    }
    KeyedStatus remove(std::uint32_t n, std::optional<std::int64_t> expected) override {
        return inner_.remove(n, expected);
    }
    KeyedStatus begin(int timeoutMs) override { return inner_.begin(timeoutMs); }
    KeyedStatus beginOn(std::uint32_t n, int timeoutMs) override { return inner_.beginOn(n, timeoutMs); }
    KeyedStatus commit() override { return inner_.commit(); }
    KeyedStatus rollback() override { return inner_.rollback(); }

protected:
    keyed::SqliteStore inner_;
};

// What the store delivered: the records of every read, and the counts
// asked (of all records, of a part of the key order, of the key).
struct StoreTally {
    std::size_t recordsRead = 0;
    std::size_t counts = 0;
};

class CountingStore final : public ForwardingStore {
public:
    CountingStore(const keyed::KeyedLayout &layout, StoreTally &tally) : ForwardingStore(layout), tally_(tally) {}

    KeyedStatus first(Direction d, StoredRecord &r) override { return tallied(inner_.first(d, r)); }
    KeyedStatus next(const KeyPlace &p, Direction d, StoredRecord &r) override { return tallied(inner_.next(p, d, r)); }
    KeyedStatus byNumber(std::uint32_t n, StoredRecord &r) override { return tallied(inner_.byNumber(n, r)); }
    KeyedStatus read(const std::optional<KeyPlace> &from, bool inclusive, Direction d, std::size_t count,
                     std::vector<StoredRecord> &records) override {
        const std::size_t before = records.size();
        KeyedStatus status = inner_.read(from, inclusive, d, count, records);
        tally_.recordsRead += records.size() - before;
        return status;
    }
    KeyedStatus count(std::int64_t &records) override {
        ++tally_.counts;
        return inner_.count(records);
    }
    KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                              std::int64_t &records) override {
        ++tally_.counts;
        return inner_.countKeyOrder(after, below, records);
    }
    std::optional<std::int64_t> keyedCount() override {
        ++tally_.counts;
        return inner_.keyedCount();
    }

private:
    KeyedStatus tallied(KeyedStatus status) {
        if (status.ok()) ++tally_.recordsRead;
        return status;
    }
    StoreTally &tally_;
};

}  // namespace kvr::testing

#endif
