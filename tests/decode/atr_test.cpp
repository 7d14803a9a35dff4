// The answer to reset taken apart: the FI/DI tables row by row, the
// interface bytes that Y announces group by group, the T=1 and T=15 bytes,
// each category of historical bytes, the check byte, and ATRs cut short or
// longer than the standard allows.
#include "decode/atr.h"

#include "bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kvr::decode {
namespace {

using testing::bytes;
using testing::withTck;

TEST(Atr, TheEmulatorsCardOffersOnlyT0WithTheDefaultRatesAndNoCheckByte) {
    const Atr atr = decodeAtr(bytes("3B 68 00 00 56 45 58 41 44 45 4D 4F"));
    EXPECT_TRUE(atr.complete());
    EXPECT_EQ(atr.convention, Convention::Direct);
    EXPECT_EQ(atr.historicalCount, 8);
    ASSERT_EQ(atr.interfaceBytes.size(), 2u);
    EXPECT_EQ(atr.interfaceBytes[0].name(), "TB1");
    EXPECT_EQ(atr.interfaceBytes[1].name(), "TC1");
    EXPECT_EQ(atr.protocols, std::vector<int>{0});
    EXPECT_FALSE(atr.rates.fromTa1);
    EXPECT_EQ(atr.rates.fi, 372);
    EXPECT_EQ(atr.rates.di, 1);
    EXPECT_EQ(atr.rates.fmaxKHz, 5000);
    EXPECT_EQ(atr.extraGuardTime, 0);
    EXPECT_EQ(atr.historical, bytes("56 45 58 41 44 45 4D 4F"));
    EXPECT_EQ(atr.historicalDecoded.category, HistoricalCategory::Proprietary);
    EXPECT_FALSE(atr.tck.expected);
    EXPECT_FALSE(atr.tck.present);
    EXPECT_TRUE(atr.trailing.empty());
}

TEST(Atr, EveryFiRowGivesItsFactorAndClockOrIsReserved) {
    struct Row {
        uint8_t code;
        std::optional<int> fi, fmaxKHz;
    };
    const Row rows[] = {{0x0, 372, 4000},   {0x1, 372, 5000},   {0x2, 558, 6000},   {0x3, 744, 8000},
                        {0x4, 1116, 12000}, {0x5, 1488, 16000}, {0x6, 1860, 20000}, {0x7, {}, {}},
                        {0x8, {}, {}},      {0x9, 512, 5000},   {0xA, 768, 7500},   {0xB, 1024, 10000},
                        {0xC, 1536, 15000}, {0xD, 2048, 20000}, {0xE, {}, {}},      {0xF, {}, {}}};
    for (const Row &row : rows) {
        SCOPED_TRACE("FI " + std::to_string(row.code));
        // TA1 alone, DI 1.
        const Atr atr = decodeAtr(std::vector<uint8_t>{0x3B, 0x10, static_cast<uint8_t>(row.code << 4 | 0x1)});
        EXPECT_TRUE(atr.complete());
        EXPECT_TRUE(atr.rates.fromTa1);
        EXPECT_EQ(atr.rates.fi, row.fi);
        EXPECT_EQ(atr.rates.fmaxKHz, row.fmaxKHz);
        EXPECT_EQ(atr.rates.cyclesPerEtu().has_value(), row.fi.has_value());
        if (row.fi) {
            EXPECT_EQ(atr.rates.cyclesPerEtu(), static_cast<double>(*row.fi));
        }
    }
}

TEST(Atr, EveryDiRowGivesItsDivisorOrIsReserved) {
    struct Row {
        uint8_t code;
        std::optional<int> di;
    };
    const Row rows[] = {{0x0, {}}, {0x1, 1},  {0x2, 2},  {0x3, 4},  {0x4, 8},  {0x5, 16}, {0x6, 32}, {0x7, 64},
                        {0x8, 12}, {0x9, 20}, {0xA, {}}, {0xB, {}}, {0xC, {}}, {0xD, {}}, {0xE, {}}, {0xF, {}}};
    for (const Row &row : rows) {
        SCOPED_TRACE("DI " + std::to_string(row.code));
        // FI 1 (372): 372 / 8 = 46.5 cycles per ETU.
        const Atr atr = decodeAtr(std::vector<uint8_t>{0x3B, 0x10, static_cast<uint8_t>(0x10 | row.code)});
        EXPECT_EQ(atr.rates.fi, 372);
        EXPECT_EQ(atr.rates.di, row.di);
        if (row.di)
            EXPECT_DOUBLE_EQ(*atr.rates.cyclesPerEtu(), 372.0 / *row.di);
        else
            EXPECT_FALSE(atr.rates.cyclesPerEtu());
    }
}

TEST(Atr, TheYBitsAnnounceEachByteOfAGroupAsAMaskNotACount) {
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        std::vector<std::string> names;  // the interface bytes, in order
        std::vector<std::size_t> offsets;
    };
    const Row rows[] = {
        {"TA1 alone", bytes("3B 10 11"), {"TA1"}, {2}},
        {"TB1 alone", bytes("3B 20 00"), {"TB1"}, {2}},
        {"TC1 alone", bytes("3B 40 05"), {"TC1"}, {2}},
        {"TA1 and TC1 (Y 5)", bytes("3B 50 11 05"), {"TA1", "TC1"}, {2, 3}},
        {"the whole first group and the second",
         withTck(bytes("3B F0 11 00 05 F1 10 00 0A 01")),
         {"TA1", "TB1", "TC1", "TD1", "TA2", "TB2", "TC2", "TD2"},
         {2, 3, 4, 5, 6, 7, 8, 9}},
        {"a third group after TD2", withTck(bytes("3B 80 80 21 45")), {"TD1", "TD2", "TB3"}, {2, 3, 4}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Atr atr = decodeAtr(row.atr);
        EXPECT_TRUE(atr.complete()) << (atr.stop ? atr.stop->reason : "");
        std::vector<std::string> names;
        std::vector<std::size_t> offsets;
        for (const InterfaceByte &b : atr.interfaceBytes) {
            names.push_back(b.name());
            offsets.push_back(b.offset);
        }
        EXPECT_EQ(names, row.names);
        EXPECT_EQ(offsets, row.offsets);
        EXPECT_TRUE(atr.trailing.empty());
    }
}

TEST(Atr, EachGroupAfterTheFirstSpeaksForTheProtocolOfTheTdBeforeIt) {
    // TD1 T=0 then TD2 T=1: group 2 is T=0's, group 3 T=1's.
    const Atr atr = decodeAtr(withTck(bytes("3B 80 80 11 FE")));
    ASSERT_EQ(atr.groups.size(), 3u);
    EXPECT_EQ(atr.groups[0].protocol, std::nullopt);
    EXPECT_EQ(atr.groups[1].protocol, 0);
    EXPECT_EQ(atr.groups[2].protocol, 1);
    EXPECT_EQ(atr.protocols, (std::vector<int>{0, 1}));
    EXPECT_EQ(atr.t1.ifsc, 0xFE);
}

TEST(Atr, TheGlobalBytesOfTheFirstTwoGroups) {
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        std::optional<uint8_t> guard;
        std::optional<int> specificProtocol;
        bool changeable, implicit;
        std::optional<uint8_t> wi;
    };
    const Row rows[] = {
        {"TC1 2 extra ETU", bytes("3B 40 02"), 2, {}, false, false, {}},
        {"TC1 255, the minimum", bytes("3B 40 FF"), 255, {}, false, false, {}},
        {"TA2 specific mode T=1, cannot change, implicit", bytes("3B 80 10 91"), {}, 1, false, true, {}},
        {"TA2 specific mode T=0, can change, TA1's", bytes("3B 80 10 00"), {}, 0, true, false, {}},
        {"TC2 WI 20", bytes("3B 80 40 14"), {}, {}, false, false, 20},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Atr atr = decodeAtr(row.atr);
        EXPECT_TRUE(atr.complete()) << (atr.stop ? atr.stop->reason : "");
        EXPECT_EQ(atr.extraGuardTime, row.guard);
        ASSERT_EQ(atr.specificMode.has_value(), row.specificProtocol.has_value());
        if (atr.specificMode) {
            EXPECT_EQ(atr.specificMode->protocol, *row.specificProtocol);
            EXPECT_EQ(atr.specificMode->changeable, row.changeable);
            EXPECT_EQ(atr.specificMode->implicit, row.implicit);
        }
        EXPECT_EQ(atr.waitingIntegerT0, row.wi);
    }
}

TEST(Atr, TheFirstT1BytesGiveIfscWaitingTimesAndTheErrorCode) {
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        std::optional<uint8_t> ifsc, bwi, cwi;
        std::optional<bool> crc;
    };
    const Row rows[] = {
        {"IFSC, BWI/CWI and LRC", withTck(bytes("3B 80 81 71 FE 45 00")), 0xFE, 4, 5, false},
        {"CRC", withTck(bytes("3B 80 81 41 01")), {}, {}, {}, true},
        // A second T=1 group does not replace the first one's IFSC.
        {"only the first TA for T=1 counts", withTck(bytes("3B 80 81 91 20 11 80")), 0x20, {}, {}, {}},
        {"a T=1 byte after a T=0 group is not T=1's", bytes("3B 80 80 10 20"), {}, {}, {}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Atr atr = decodeAtr(row.atr);
        EXPECT_TRUE(atr.complete()) << (atr.stop ? atr.stop->reason : "");
        EXPECT_EQ(atr.t1.ifsc, row.ifsc);
        EXPECT_EQ(atr.t1.bwi, row.bwi);
        EXPECT_EQ(atr.t1.cwi, row.cwi);
        EXPECT_EQ(atr.t1.crc, row.crc);
    }
}

TEST(Atr, TheT15BytesGiveClockStopClassesAndSpu) {
    using Stop = T15Parameters::ClockStop;
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        std::optional<Stop> stop;
        std::optional<uint8_t> classes, spu;
    };
    const Row rows[] = {
        {"no clock stop, class A", withTck(bytes("3B 80 80 1F 01")), Stop::NotSupported, 0x01, {}},
        {"state L, classes A and B", withTck(bytes("3B 80 80 1F 43")), Stop::StateL, 0x03, {}},
        {"state H, class C", withTck(bytes("3B 80 80 1F 84")), Stop::StateH, 0x04, {}},
        {"no preference, with SPU", withTck(bytes("3B 80 80 3F C7 80")), Stop::NoPreference, 0x07, 0x80},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Atr atr = decodeAtr(row.atr);
        EXPECT_TRUE(atr.complete()) << (atr.stop ? atr.stop->reason : "");
        EXPECT_EQ(atr.t15.clockStop, row.stop);
        EXPECT_EQ(atr.t15.classes, row.classes);
        EXPECT_EQ(atr.t15.spu, row.spu);
        // T=15 names no transmission protocol; with T=0 the check byte is due.
        EXPECT_EQ(atr.protocols, std::vector<int>{0});
        EXPECT_TRUE(atr.tck.present);
    }
}

TEST(Atr, EachCategoryOfHistoricalBytes) {
    struct Row {
        const char *name;
        std::vector<uint8_t> historical;
        HistoricalCategory category;
        std::vector<uint8_t> objectTags;
        std::optional<uint8_t> lifeCycle;
        std::optional<uint16_t> statusWord;
        std::optional<std::size_t> brokenAt;
    };
    const Row rows[] = {
        {"00: objects then LCS and SW",
         bytes("00 31 C0 61 AB 05 90 00"),
         HistoricalCategory::CompactTlvWithStatus,
         {0x3, 0x6},
         0x05,
         0x9000,
         {}},
        {"00 too short for its status", bytes("00 90"), HistoricalCategory::CompactTlvWithStatus, {}, {}, {}, 2},
        {"80: objects, SW in tag 8",
         bytes("80 12 34 56 82 90 00"),
         HistoricalCategory::CompactTlv,
         {0x1, 0x8},
         {},
         0x9000,
         {}},
        {"80: LCS alone in tag 8", bytes("80 81 07"), HistoricalCategory::CompactTlv, {0x8}, 0x07, {}, {}},
        {"80: an object running past the end",
         bytes("80 31 C0 45 01"),
         HistoricalCategory::CompactTlv,
         {0x3},
         {},
         {},
         3},
        {"10: DIR reference", bytes("10 AB"), HistoricalCategory::DirReference, {}, {}, {}, {}},
        {"81: reserved", bytes("81 01"), HistoricalCategory::Reserved, {}, {}, {}, {}},
        {"anything else: the maker's", bytes("56 45 58 41"), HistoricalCategory::Proprietary, {}, {}, {}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> atr{0x3B, static_cast<uint8_t>(row.historical.size())};
        atr.insert(atr.end(), row.historical.begin(), row.historical.end());
        const Atr decoded = decodeAtr(atr);
        EXPECT_TRUE(decoded.complete());
        const HistoricalBytes &h = decoded.historicalDecoded;
        EXPECT_EQ(h.category, row.category);
        std::vector<uint8_t> tags;
        for (const CompactTlvObject &object : h.objects) tags.push_back(object.tag);
        EXPECT_EQ(tags, row.objectTags);
        EXPECT_EQ(h.status.has_value(), row.lifeCycle.has_value() || row.statusWord.has_value());
        if (h.status) {
            EXPECT_EQ(h.status->lifeCycle, row.lifeCycle);
            EXPECT_EQ(h.status->statusWord, row.statusWord);
        }
        EXPECT_EQ(h.brokenAt, row.brokenAt);
    }
}

TEST(Atr, TheCheckByteIsThereUnlessOnlyT0IsOfferedAndIsTheXorOfT0OnRight) {
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        bool expected, present, ok;
        uint8_t right;
    };
    const Row rows[] = {
        {"only T=0: absent", bytes("3B 80 00"), false, false, false, 0},
        {"T=1: right", bytes("3B 80 01 81"), true, true, true, 0x81},
        {"T=1: wrong", bytes("3B 80 01 52"), true, true, false, 0x81},
        {"a right TCK of 00", bytes("3B 81 01 80 00"), true, true, true, 0x00},
        {"a wrong TCK of 00", bytes("3B 81 01 81 00"), true, true, false, 0x01},
        {"T=0 and T=15: present", withTck(bytes("3B 80 80 1F 01")), true, true, true, 0x1E},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Atr atr = decodeAtr(row.atr);
        EXPECT_TRUE(atr.complete());
        EXPECT_EQ(atr.tck.expected, row.expected);
        EXPECT_EQ(atr.tck.present, row.present);
        EXPECT_EQ(atr.tck.ok, row.ok);
        if (row.expected) {
            EXPECT_EQ(atr.tck.right, row.right);
        }
        // The check byte is the last byte: nothing is left over.
        EXPECT_TRUE(atr.trailing.empty());
    }
}

TEST(Atr, ACutAtrDecodesAsFarAsItGoesAndSaysWhichByteIsMissing) {
    // TS T0(TA1 TD1, K 2) TA1 TD1(TB2, T=1) TB2 H1 H2 TCK
    const std::vector<uint8_t> whole = withTck(bytes("3B 92 11 21 05 41 42"));
    struct Row {
        std::size_t length;
        std::size_t stopAt;
        const char *reason;
        std::size_t interfaceBytes;
    };
    const Row rows[] = {
        {0, 0, "falta TS", 0},
        {1, 1, "falta T0", 0},
        {2, 2, "falta TA1", 0},
        {3, 3, "falta TD1", 1},
        {4, 4, "falta TB2", 2},
        {5, 5, "faltan 2 de los 2 bytes históricos", 3},
        {6, 6, "faltan 1 de los 2 bytes históricos", 3},
        {7, 7, "falta TCK", 3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("the first " + std::to_string(row.length) + " bytes");
        // A copy of exactly that many bytes: the sanitizer sees a read past it.
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(row.length));
        const Atr atr = decodeAtr(cut);
        ASSERT_TRUE(atr.stop);
        EXPECT_EQ(atr.stop->offset, row.stopAt);
        EXPECT_EQ(atr.stop->reason, row.reason);
        EXPECT_EQ(atr.interfaceBytes.size(), row.interfaceBytes);
    }
    const Atr atr = decodeAtr(whole);
    EXPECT_TRUE(atr.complete());
    EXPECT_TRUE(atr.tck.ok);
    EXPECT_EQ(atr.rates.fi, 372);
    EXPECT_EQ(atr.historical, bytes("41 42"));
}

TEST(Atr, TsOtherThan3BOr3FStopsAtOnceAnd3FIsTheInverseConvention) {
    const Atr bad = decodeAtr(bytes("3C 00"));
    ASSERT_TRUE(bad.stop);
    EXPECT_EQ(bad.stop->offset, 0u);
    EXPECT_FALSE(bad.convention);
    EXPECT_FALSE(bad.t0);
    const Atr inverse = decodeAtr(bytes("3F 00"));
    EXPECT_TRUE(inverse.complete());
    EXPECT_EQ(inverse.convention, Convention::Inverse);
}

TEST(Atr, MoreThan33BytesAreDecodedAndFlaggedAndBytesAfterTheEndAreKept) {
    // Sixteen TD bytes, each announcing the next, then 15 historical bytes
    // and TCK: 2 + 16 + 15 + 1 = 34 bytes.
    std::vector<uint8_t> atr{0x3B, 0x8F};
    for (int i = 0; i < 15; ++i) atr.push_back(0x81);
    atr.push_back(0x01);
    for (int i = 0; i < 15; ++i) atr.push_back(static_cast<uint8_t>('A' + i));
    atr = withTck(atr);
    ASSERT_EQ(atr.size(), 34u);
    const Atr overlong = decodeAtr(atr);
    EXPECT_TRUE(overlong.complete());
    EXPECT_TRUE(overlong.overlong);
    EXPECT_EQ(overlong.groups.size(), 17u);
    EXPECT_TRUE(overlong.tck.ok);

    const Atr padded = decodeAtr(bytes("3B 00 90 00"));
    EXPECT_FALSE(padded.overlong);
    EXPECT_EQ(padded.trailing, bytes("90 00"));
    // The check byte covers T0 up to itself, not what follows it.
    const Atr followed = decodeAtr(bytes("3B 80 01 81 FF"));
    EXPECT_TRUE(followed.tck.ok);
    EXPECT_EQ(followed.trailing, bytes("FF"));
}

}  // namespace
}  // namespace kvr::decode
