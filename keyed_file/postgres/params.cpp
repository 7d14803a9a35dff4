#include "keyed_file/postgres/params.h"

namespace kvr::keyed::pg {

namespace {

template <class T>
std::string bigEndian(T value) {
    std::string out(sizeof(T), '\0');
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) out[sizeof(T) - 1 - i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return out;
}

}  // namespace

Params &Params::add(Oid type, std::string value, bool isNull) {
    types_.push_back(type);
    lengths_.push_back(static_cast<int>(value.size()));
    formats_.push_back(1);
    null_.push_back(isNull);
    storage_.push_back(std::move(value));
    return *this;
}

Params &Params::int4(std::int32_t value) { return add(kInt4, bigEndian(value), false); }
Params &Params::int8(std::int64_t value) { return add(kInt8, bigEndian(value), false); }
Params &Params::bytes(std::string_view value) { return add(kByteA, std::string(value), false); }
Params &Params::text(std::string_view value) { return add(kText, std::string(value), false); }
Params &Params::nullOf(Oid type) { return add(type, {}, true); }

// The binary form of a one-dimensional array: dimensions, a NULL flag, the
// element type, the length and the lower bound, then each element's length
// and bytes.
Params &Params::arrayOf(const std::vector<Params> &rows, int column) {
    const auto at = static_cast<std::size_t>(column);
    const Oid element = rows.empty() ? kText : rows.front().types_[at];
    const Oid type = element == kInt4    ? kInt4Array
                     : element == kInt8  ? kInt8Array
                     : element == kByteA ? kByteAArray
                                         : kTextArray;
    std::string array = bigEndian<std::int32_t>(1) + bigEndian<std::int32_t>(0) +
                        bigEndian(static_cast<std::int32_t>(element)) +
                        bigEndian(static_cast<std::int32_t>(rows.size())) + bigEndian<std::int32_t>(1);
    for (const Params &row : rows)
        array += bigEndian(static_cast<std::int32_t>(row.storage_[at].size())) + row.storage_[at];
    return add(type, std::move(array), false);
}

std::vector<const char *> Params::values() const {
    std::vector<const char *> out;
    out.reserve(storage_.size());
    for (std::size_t i = 0; i < storage_.size(); ++i) out.push_back(null_[i] ? nullptr : storage_[i].data());
    return out;
}

}  // namespace kvr::keyed::pg
