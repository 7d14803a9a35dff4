#include "decode/ber_tlv.h"

#include <cstdio>

namespace kvr::decode {

namespace {

constexpr std::size_t kMaxTagBytes = 3;

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // Reads the objects of [from, end) into out; false once error is set.
    bool objects(std::size_t from, std::size_t end, int depth, std::vector<TlvObject> &out) {
        std::size_t at = from;
        while (at < end) {
            if (bytes_[at] == 0x00 || bytes_[at] == 0xFF) {
                ++at;  // padding between objects
                continue;
            }
            TlvObject object;
            if (!header(at, end, depth == 0, object)) return false;
            at = object.valueOffset + object.value.size();
            if (object.constructed) {
                if (depth >= kTlvMaxDepth) {
                    out.push_back(std::move(object));
                    return fail(out.back().offset, "más de " + std::to_string(kTlvMaxDepth) + " niveles anidados");
                }
                const std::size_t valueEnd = object.valueOffset + object.value.size();
                out.push_back(std::move(object));
                TlvObject &held = out.back();
                std::vector<TlvObject> children;
                const bool ok = objects(held.valueOffset, valueEnd, depth + 1, children);
                held.children = std::move(children);
                if (!ok) return false;
            } else {
                out.push_back(std::move(object));
            }
        }
        return true;
    }

    std::optional<TlvError> error;

private:
    bool fail(std::size_t offset, std::string reason) {
        error = TlvError{offset, std::move(reason)};
        return false;
    }

    // The tag and length of the object at `at`, and its value, all within
    // [at, end).
    bool header(std::size_t at, std::size_t end, bool topLevel, TlvObject &object) {
        object.offset = at;
        std::size_t p = at;
        const uint8_t first = bytes_[p++];
        object.constructed = (first & 0x20) != 0;
        uint32_t tag = first;
        if ((first & 0x1F) == 0x1F) {
            // Further tag bytes while bit 8 is set.
            for (;;) {
                if (p >= end) return fail(at, "etiqueta cortada");
                const uint8_t next = bytes_[p++];
                tag = tag << 8 | next;
                if (p - at > kMaxTagBytes) return fail(at, "etiqueta de más de 3 bytes");
                if (!(next & 0x80)) break;
            }
        }
        object.tag = tag;
        object.tagLength = p - at;
        if (p >= end) return fail(p, "falta la longitud");
        const uint8_t lead = bytes_[p++];
        std::size_t length = lead;
        if (lead == 0x80) return fail(p - 1, "longitud indefinida (80), no admitida");
        if (lead > 0x84) return fail(p - 1, "forma de longitud " + hex(lead) + " no válida");
        if (lead > 0x80) {
            const std::size_t count = lead & 0x0F;
            if (count > end - p) return fail(p - 1, "longitud cortada");
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = length << 8 | bytes_[p++];
        }
        if (length > end - p)
            return fail(at, "el valor de " + std::to_string(length) + " bytes pasa del final de " +
                                (topLevel ? "los datos" : "su contenedor") + " (quedan " + std::to_string(end - p) +
                                ")");
        object.valueOffset = p;
        object.value.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(p),
                            bytes_.begin() + static_cast<std::ptrdiff_t>(p + length));
        return true;
    }

    static std::string hex(uint8_t byte) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", byte);
        return text;
    }

    std::span<const uint8_t> bytes_;
};

}  // namespace

std::string TlvObject::tagText() const {
    char text[9];
    std::snprintf(text, sizeof text, "%0*X", static_cast<int>(2 * tagLength), static_cast<unsigned>(tag));
    return text;
}

TlvData decodeBerTlv(std::span<const uint8_t> bytes) {
    TlvData data;
    Reader reader(bytes);
    reader.objects(0, bytes.size(), 0, data.objects);
    data.error = reader.error;
    return data;
}

}  // namespace kvr::decode
