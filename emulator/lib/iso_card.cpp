#include "iso_card.h"

#include <algorithm>

namespace kvr7x::emu {

namespace {

std::vector<uint8_t> text(const char *s) { return std::vector<uint8_t>(s, s + std::char_traits<char>::length(s)); }

CardResponse status(uint8_t sw1, uint8_t sw2) {
    CardResponse r;
    r.sw1 = sw1;
    r.sw2 = sw2;
    return r;
}

}  // namespace

IsoCard::IsoCard() {
    std::vector<uint8_t> counting(300);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i);
    files_ = {
        {0x3F00, true, {}},
        {0x2F00, false, text("VEXA DEMO CARD")},
        {0x0002, false, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x00, 0xFF}},
        {0x7F10, true, {}},
        {0x6F01, false, counting},
    };
    // Direct convention, TB1 and TC1 present, 8 historical bytes.
    atr_ = {0x3B, 0x68, 0x00, 0x00, 'V', 'E', 'X', 'A', 'D', 'E', 'M', 'O'};
}

void IsoCard::reset() {
    current_ = -1;
    pending_.clear();
}

CardResponse IsoCard::process(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3,
                              const std::vector<uint8_t> &data, bool withData) {
    if (cla != 0x00) return status(0x6E, 0x00);
    const bool keepPending = ins == 0xC0;
    CardResponse r;
    switch (ins) {
    case 0xA4:
        r = select(p1, p2, data, withData);
        break;
    case 0xB0:
        r = readBinary(p1, p2, p3, withData);
        break;
    case 0xC0:
        r = getResponse(p3);
        break;
    case 0x84: {  // GET CHALLENGE
        if (withData) return status(0x67, 0x00);
        const size_t n = p3 == 0 ? 8 : p3;
        for (size_t i = 0; i < n; ++i) {
            challenge_ = challenge_ * 1103515245u + 12345u;
            r.data.push_back(static_cast<uint8_t>(challenge_ >> 16));
        }
        break;
    }
    default:
        r = status(0x6D, 0x00);
        break;
    }
    if (!keepPending && ins != 0xA4) pending_.clear();
    return r;
}

CardResponse IsoCard::select(uint8_t p1, uint8_t p2, const std::vector<uint8_t> &data,
                             bool withData) {
    pending_.clear();
    if (p1 != 0x00 || (p2 != 0x00 && p2 != 0x0C)) return status(0x6A, 0x86);
    if (!withData || data.size() != 2) return status(0x67, 0x00);
    const uint16_t id = static_cast<uint16_t>(data[0] << 8 | data[1]);
    const auto it = std::find_if(files_.begin(), files_.end(), [id](const File &f) { return f.id == id; });
    if (it == files_.end()) return status(0x6A, 0x82);
    current_ = static_cast<int>(it - files_.begin());
    if (p2 == 0x00) {
        // File control information, fetched with GET RESPONSE.
        const size_t size = it->contents.size();
        pending_ = {0x62, 0x0B,
                    0x80, 0x02, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size),
                    0x82, 0x01, static_cast<uint8_t>(it->dedicated ? 0x38 : 0x01),
                    0x83, 0x02, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    }
    return status(0x90, 0x00);
}

CardResponse IsoCard::readBinary(uint8_t p1, uint8_t p2, uint8_t p3, bool withData) {
    if (withData) return status(0x67, 0x00);
    if (p1 & 0x80) return status(0x6A, 0x81);  // short file identifiers: not supported
    if (current_ < 0 || files_[static_cast<size_t>(current_)].dedicated) return status(0x69, 0x86);
    const auto &contents = files_[static_cast<size_t>(current_)].contents;
    const size_t offset = static_cast<size_t>(p1) << 8 | p2;
    if (offset > contents.size()) return status(0x6B, 0x00);
    // Le 0 asks for everything; a reply carries at most 255 bytes.
    const size_t wanted = p3 == 0 ? 255 : p3;
    const size_t n = std::min(wanted, contents.size() - offset);
    CardResponse r;
    r.data.assign(contents.begin() + static_cast<std::ptrdiff_t>(offset),
                  contents.begin() + static_cast<std::ptrdiff_t>(offset + n));
    if (n < wanted && p3 != 0) {
        r.sw1 = 0x62;  // end of file reached before Le bytes
        r.sw2 = 0x82;
    }
    return r;
}

CardResponse IsoCard::getResponse(uint8_t p3) {
    if (pending_.empty()) return status(0x69, 0x85);
    if (p3 != 0 && p3 != pending_.size()) return status(0x6C, static_cast<uint8_t>(pending_.size()));
    CardResponse r;
    r.data = pending_;
    pending_.clear();
    return r;
}

}  // namespace kvr7x::emu
