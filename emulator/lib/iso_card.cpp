#include "iso_card.h"

#include <algorithm>
#include <cassert>

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
        {0x7F10, true, {}, 0x3F00, {0xF0, 'K', 'V', 'R', '7', 'X', '.', 'D', 'E', 'M', 'O'}},
        {0x6F01, false, counting, 0x7F10},
    };
    // Direct convention, TB1 and TC1 present, 8 historical bytes.
    atr_ = {0x3B, 0x68, 0x00, 0x00, 'V', 'E', 'X', 'A', 'D', 'E', 'M', 'O'};
}

void IsoCard::reset() {
    current_ = -1;
    currentDf_ = 0;
    pending_.clear();
}

CardResponse IsoCard::process(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3,
                              const std::vector<uint8_t> &data, bool withData) {
    if (cla != 0x00) return status(0x6E, 0x00);
    const bool keepPending = ins == 0xC0;
    CardResponse r;
    switch (ins) {
    case 0xA4: r = select(p1, p2, data, withData); break;
    case 0xB0: r = readBinary(p1, p2, p3, withData); break;
    case 0xC0: r = getResponse(p3); break;
    case 0x84: {  // GET CHALLENGE
        if (withData) return status(0x67, 0x00);
        const size_t n = p3 == 0 ? 8 : p3;
        for (size_t i = 0; i < n; ++i) {
            challenge_ = challenge_ * 1103515245u + 12345u;
            r.data.push_back(static_cast<uint8_t>(challenge_ >> 16));
        }
        break;
    }
    default: r = status(0x6D, 0x00); break;
    }
    if (!keepPending && ins != 0xA4) pending_.clear();
    return r;
}

int IsoCard::child(int df, uint16_t id) const {
    const uint16_t parent = files_[static_cast<size_t>(df)].id;
    for (size_t i = 1; i < files_.size(); ++i)
        if (files_[i].parent == parent && files_[i].id == id) return static_cast<int>(i);
    return -1;
}

namespace {

uint16_t fidAt(const std::vector<uint8_t> &data, size_t i) { return static_cast<uint16_t>(data[i] << 8 | data[i + 1]); }

}  // namespace

int IsoCard::anyFile(uint16_t id) const {
    for (size_t i = 0; i < files_.size(); ++i)
        if (files_[i].id == id) return static_cast<int>(i);
    return -1;
}

int IsoCard::byDfName(const std::vector<uint8_t> &data) const {
    for (size_t i = 0; i < files_.size(); ++i) {
        const auto &name = files_[i].name;
        if (!name.empty() && data.size() <= name.size() && std::equal(data.begin(), data.end(), name.begin()))
            return static_cast<int>(i);
    }
    return -1;
}

int IsoCard::byPath(bool fromMf, const std::vector<uint8_t> &data) const {
    int at = fromMf ? 0 : currentDf_;
    size_t i = 0;
    if (fromMf && fidAt(data, 0) == 0x3F00) i = 2;
    for (; i < data.size(); i += 2) {
        if (!files_[static_cast<size_t>(at)].dedicated) return -1;
        at = child(at, fidAt(data, i));
        if (at < 0) return -1;
    }
    return at;
}

// The file a SELECT names, -1 when there is none.
int IsoCard::findSelected(uint8_t p1, const std::vector<uint8_t> &data) const {
    switch (p1) {
    case 0x00: {  // file identifier: the MF, a file of the current DF, else any file
        const uint16_t id = fidAt(data, 0);
        if (id == 0x3F00) return 0;
        const int near = child(currentDf_, id);
        return near >= 0 ? near : anyFile(id);
    }
    case 0x01:    // a DF of the current DF
    case 0x02: {  // an EF of the current DF
        const int f = child(currentDf_, fidAt(data, 0));
        if (f < 0 || files_[static_cast<size_t>(f)].dedicated != (p1 == 0x01)) return -1;
        return f;
    }
    case 0x03:  // the parent of the current DF
        return anyFile(files_[static_cast<size_t>(currentDf_)].parent);
    case 0x04:  // DF name, whole or its beginning
        return byDfName(data);
    case 0x08:  // path from the MF (a leading 3F00 is taken too)
    case 0x09:  // path from the current DF
        return byPath(p1 == 0x08, data);
    default: return -1;
    }
}

std::vector<uint8_t> IsoCard::controlInformation(const File &f, uint8_t templateTag) const {
    const size_t size = f.contents.size();
    std::vector<uint8_t> inner = {0x80,
                                  0x02,
                                  static_cast<uint8_t>(size >> 8),
                                  static_cast<uint8_t>(size),
                                  0x82,
                                  0x01,
                                  static_cast<uint8_t>(f.dedicated ? 0x38 : 0x01),
                                  0x83,
                                  0x02,
                                  static_cast<uint8_t>(f.id >> 8),
                                  static_cast<uint8_t>(f.id)};
    if (!f.name.empty()) {
        inner.push_back(0x84);
        inner.push_back(static_cast<uint8_t>(f.name.size()));
        inner.insert(inner.end(), f.name.begin(), f.name.end());
    }
    std::vector<uint8_t> out;
    out.reserve(2 + inner.size());
    out.push_back(templateTag);
    out.push_back(static_cast<uint8_t>(inner.size()));
    for (uint8_t b : inner) out.push_back(b);
    return out;
}

CardResponse IsoCard::select(uint8_t p1, uint8_t p2, const std::vector<uint8_t> &data, bool withData) {
    pending_.clear();
    // P2: what comes back (00 the FCI, 04 the FCP, 0C nothing); first
    // occurrence only.
    const bool validP2 = p2 == 0x00 || p2 == 0x04 || p2 == 0x0C;
    const bool validP1 = p1 <= 0x04 || p1 == 0x08 || p1 == 0x09;
    if (!validP1 || !validP2) return status(0x6A, 0x86);
    const size_t n = withData ? data.size() : 0;
    const bool validLc = p1 == 0x03   ? n == 0
                         : p1 <= 0x02 ? n == 2
                         : p1 == 0x04 ? n >= 1 && n <= 16
                                      : n >= 2 && n % 2 == 0;
    if (!validLc) return status(0x67, 0x00);
    const int found = findSelected(p1, data);
    if (found < 0) return status(0x6A, 0x82);
    assert(static_cast<size_t>(found) < files_.size());
    const File &f = files_[static_cast<size_t>(found)];
    current_ = found;
    if (f.dedicated) {
        currentDf_ = found;
    } else {
        for (size_t i = 0; i < files_.size(); ++i)
            if (files_[i].id == f.parent) currentDf_ = static_cast<int>(i);
    }
    if (p2 == 0x0C) return status(0x90, 0x00);
    // Like a T=0 card: the answer waits for GET RESPONSE, its length in SW2.
    pending_ = controlInformation(f, p2 == 0x00 ? 0x6F : 0x62);
    return status(0x61, static_cast<uint8_t>(pending_.size()));
}

CardResponse IsoCard::readBinary(uint8_t p1, uint8_t p2, uint8_t p3, bool withData) {
    if (withData) return status(0x67, 0x00);
    if (p1 & 0x80) return status(0x6A, 0x81);  // short file identifiers: not supported
    assert(current_ < static_cast<int>(files_.size()));
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
    // Le 0 takes everything; a longer Le than what waits is a wrong length
    // (6Cxx names the right one); a shorter one takes part and leaves the
    // rest announced with 61xx.
    if (p3 > pending_.size()) return status(0x6C, static_cast<uint8_t>(pending_.size()));
    const size_t n = p3 == 0 ? pending_.size() : p3;
    CardResponse r;
    r.data.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    if (!pending_.empty()) {
        r.sw1 = 0x61;
        r.sw2 = static_cast<uint8_t>(pending_.size());
    }
    return r;
}

}  // namespace kvr7x::emu
