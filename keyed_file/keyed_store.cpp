#include "keyed_file/keyed_store.h"

#include <algorithm>
#include <cstring>

namespace kvr::keyed {

namespace {
// Whether a key value is lower than below, as unsigned bytes.
bool lower(const std::string &key, const std::string &below) {
    const int order = std::memcmp(key.data(), below.data(), std::min(key.size(), below.size()));
    return order < 0 || (order == 0 && key.size() < below.size());
}
}  // namespace

KeyedStatus KeyedStore::countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                                      std::int64_t &records) {
    constexpr std::size_t kPage = 1000;
    records = 0;
    std::optional<KeyPlace> from = after;
    for (;;) {
        std::vector<StoredRecord> page;
        if (KeyedStatus status = read(from, false, Direction::Forward, kPage, page); !status.ok()) return status;
        for (const StoredRecord &record : page) {
            if (below && record.key && !lower(*record.key, *below)) return KeyedStatus::success();
            ++records;
        }
        if (page.size() < kPage || !page.back().key) return KeyedStatus::success();
        from = KeyPlace{*page.back().key, page.back().recordNumber};
    }
}

}  // namespace kvr::keyed
