#include "keyed_file/postgres/record_columns.h"

#include "common/crc32c.h"
#include "common/text.h"
#include "keyed_file/postgres/western_utf8.h"

#include <cstdint>
#include <string_view>

namespace kvr::keyed::pg {

namespace {

bool plainName(const std::string &name) {
    if (name.empty() || name.size() > 40 || (name[0] >= '0' && name[0] <= '9')) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return name != "recno" && name != "version" && name != "key_value";
}

const char *typeOf(KeyedField::Kind kind) {
    switch (kind) {
    case KeyedField::Kind::Text: return "text";
    case KeyedField::Kind::Int32: return "integer";
    case KeyedField::Kind::Bytes: return "bytea";
    }
    return "bytea";
}

}  // namespace

RecordColumns::RecordColumns(const KeyedLayout &layout) : recordSize_(layout.recordSize) {
    fields_ = layout.fields;
    std::size_t next = 0;
    valid_ = !fields_.empty();
    bool keyFound = false;
    for (const KeyedField &f : fields_) {
        if (f.kind == KeyedField::Kind::Text && f.offset == layout.keyOffset && f.width == layout.keyWidth) {
            keyIndex_ = static_cast<std::size_t>(&f - fields_.data());
            keyFound = true;
        }
        if (f.offset != next || f.width == 0 || !plainName(f.name)) valid_ = false;
        if (f.kind == KeyedField::Kind::Int32 && f.width != 4) valid_ = false;
        for (const KeyedField &other : fields_)
            if (&other != &f && other.name == f.name) valid_ = false;
        next = f.offset + f.width;
    }
    if (next != layout.recordSize || !keyFound) valid_ = false;
    if (fields_.empty()) fields_.push_back({"record", 0, layout.recordSize, KeyedField::Kind::Bytes});
}

std::string RecordColumns::names() const {
    std::string out;
    for (const KeyedField &f : fields_) {
        if (!out.empty()) out += ", ";
        out += f.name;
    }
    return out;
}

std::string RecordColumns::placeholders() const {
    std::string out;
    for (std::size_t i = 1; i <= fields_.size(); ++i) {
        out += i > 1 ? ", $" : "$";
        out += std::to_string(i);
    }
    return out;
}

std::string RecordColumns::assignments() const {
    std::string out;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        out += (i ? ", " : "") + fields_[i].name + " = $" + std::to_string(i + 1);
    return out;
}

std::string RecordColumns::definitions() const {
    std::string out;
    for (const KeyedField &f : fields_) {
        if (!out.empty()) out += ", ";
        out += f.name;
        out += " ";
        out += typeOf(f.kind);
        out += " NOT NULL";
    }
    return out;
}

std::string RecordColumns::description() const {
    std::string out;
    for (const KeyedField &f : fields_) {
        if (!out.empty()) out += ";";
        out += f.name + " " + typeOf(f.kind) + " " + std::to_string(f.offset) + " " + std::to_string(f.width);
    }
    return out;
}

void RecordColumns::addValues(Params &params, const std::vector<unsigned char> &record) const {
    for (const KeyedField &f : fields_) {
        const std::string_view bytes(reinterpret_cast<const char *>(record.data()) + f.offset, f.width);
        switch (f.kind) {
        case KeyedField::Kind::Text: params.text(utf8OfWestern(common::trimRight(bytes))); break;
        case KeyedField::Kind::Int32: {
            std::uint32_t value = 0;
            for (int i = 3; i >= 0; --i)
                value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
            params.int4(static_cast<std::int32_t>(value));
            break;
        }
        case KeyedField::Kind::Bytes: params.bytes(bytes); break;
        }
    }
}

std::vector<unsigned char> RecordColumns::recordOf(const Outcome &outcome, int row, int firstColumn) const {
    std::vector<unsigned char> record(recordSize_, ' ');
    int column = firstColumn;
    for (const KeyedField &f : fields_) {
        unsigned char *at = record.data() + f.offset;
        if (outcome.isNull(row, column)) {
            if (f.kind == KeyedField::Kind::Int32) std::fill(at, at + 4, 0);
            ++column;
            continue;
        }
        switch (f.kind) {
        case KeyedField::Kind::Text: {
            const std::string text = westernOfUtf8(outcome.bytes(row, column));
            std::copy_n(text.begin(), std::min(text.size(), f.width), at);
            break;
        }
        case KeyedField::Kind::Int32: {
            const auto value = static_cast<std::uint32_t>(outcome.int4(row, column));
            for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
            break;
        }
        case KeyedField::Kind::Bytes: {
            const std::string_view bytes = outcome.bytes(row, column);
            std::copy_n(bytes.begin(), std::min(bytes.size(), f.width), at);
            break;
        }
        }
        ++column;
    }
    return record;
}

namespace {

// One value into the checksum: its length (all ones for NULL), then its
// bytes.
std::uint32_t withValue(std::uint32_t crc, const char *bytes, int length, bool isNull) {
    const std::uint32_t size = isNull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
    const char head[4] = {static_cast<char>(size & 0xFFu), static_cast<char>((size >> 8) & 0xFFu),
                          static_cast<char>((size >> 16) & 0xFFu), static_cast<char>(size >> 24)};
    crc = common::crc32c(std::string_view(head, 4), crc);
    if (isNull) return crc;
    return common::crc32c(std::string_view(bytes, static_cast<std::size_t>(length)), crc);
}

}  // namespace

std::uint32_t RecordColumns::checksumOf(const Params &params) const {
    const std::vector<const char *> values = params.values();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        crc = withValue(crc, values[i], params.lengths()[i], values[i] == nullptr);
    return crc;
}

std::uint32_t RecordColumns::checksumOf(const Outcome &outcome, int row, int firstColumn) const {
    std::uint32_t crc = 0;
    for (int column = firstColumn; column < firstColumn + static_cast<int>(fields_.size()); ++column) {
        const bool isNull = outcome.isNull(row, column);
        const std::string_view bytes = isNull ? std::string_view() : outcome.bytes(row, column);
        crc = withValue(crc, bytes.data(), static_cast<int>(bytes.size()), isNull);
    }
    return crc;
}

}  // namespace kvr::keyed::pg
