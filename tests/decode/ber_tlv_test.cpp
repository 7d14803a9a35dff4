// BER-TLV data taken apart: tags of one, two and three bytes, each length
// form, padding between objects, nesting, and the first thing that does not
// parse stopping the walk at its place; then what the file control
// information's objects mean.
#include "decode/ber_tlv.h"
#include "decode/fcp_tags.h"

#include "bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::decode {
namespace {

using testing::bytes;

TEST(BerTlv, TagsOfOneTwoAndThreeBytes) {
    struct Row {
        const char *data;
        uint32_t tag;
        std::size_t tagLength;
        const char *text;
        bool constructed;
    };
    const Row rows[] = {
        {"84 01 AA", 0x84, 1, "84", false},           {"A5 00", 0xA5, 1, "A5", true},
        {"5F 2D 02 65 73", 0x5F2D, 2, "5F2D", false}, {"9F 1F 00", 0x9F1F, 2, "9F1F", false},
        {"BF 0C 00", 0xBF0C, 2, "BF0C", true},        {"DF 81 01 01 00", 0xDF8101, 3, "DF8101", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.data);
        const TlvData data = decodeBerTlv(bytes(row.data));
        ASSERT_TRUE(data.parsed()) << (data.error ? data.error->reason : "");
        ASSERT_EQ(data.objects.size(), 1u);
        EXPECT_EQ(data.objects[0].tag, row.tag);
        EXPECT_EQ(data.objects[0].tagLength, row.tagLength);
        EXPECT_EQ(data.objects[0].tagText(), row.text);
        EXPECT_EQ(data.objects[0].constructed, row.constructed);
    }
}

TEST(BerTlv, EachLengthFormGivesTheSameValue) {
    const std::vector<uint8_t> value = bytes("01 02 03");
    const char *forms[] = {"03", "81 03", "82 00 03", "83 00 00 03", "84 00 00 00 03"};
    for (const char *form : forms) {
        SCOPED_TRACE(form);
        std::vector<uint8_t> data = bytes("C1");
        const std::vector<uint8_t> length = bytes(form);
        data.insert(data.end(), length.begin(), length.end());
        data.insert(data.end(), value.begin(), value.end());
        const TlvData decoded = decodeBerTlv(data);
        ASSERT_TRUE(decoded.parsed());
        EXPECT_EQ(decoded.objects[0].value, value);
        EXPECT_EQ(decoded.objects[0].valueOffset, 1 + length.size());
    }
    // A long form reaching past 127 bytes.
    std::vector<uint8_t> big = bytes("C1 81 C8");
    big.resize(3 + 200, 0x5A);
    const TlvData decoded = decodeBerTlv(big);
    ASSERT_TRUE(decoded.parsed());
    EXPECT_EQ(decoded.objects[0].value.size(), 200u);
}

TEST(BerTlv, PaddingBetweenObjectsIsSkippedAtEveryLevel) {
    const TlvData data = decodeBerTlv(bytes("00 FF 84 01 AA 00 6F 07 FF 83 02 3F 00 00 00 FF"));
    ASSERT_TRUE(data.parsed());
    ASSERT_EQ(data.objects.size(), 2u);
    EXPECT_EQ(data.objects[0].tag, 0x84u);
    EXPECT_EQ(data.objects[0].offset, 2u);
    ASSERT_EQ(data.objects[1].children.size(), 1u);
    EXPECT_EQ(data.objects[1].children[0].value, bytes("3F 00"));
    EXPECT_FALSE(decodeBerTlv(bytes("00 00 FF")).parsed()) << "padding alone is no data object";
}

TEST(BerTlv, ConstructedObjectsAreReadAgainAsObjects) {
    // 6F { 84 DF name, A5 { 88 SFI, BF0C { 50 label } } }
    const TlvData data = decodeBerTlv(bytes("6F 14 84 03 A0 00 01 A5 0D 88 01 08 BF 0C 07 50 05 48 45 4C 4C 4F"));
    ASSERT_TRUE(data.parsed()) << (data.error ? data.error->reason : "");
    const TlvObject &fci = data.objects.at(0);
    ASSERT_EQ(fci.children.size(), 2u);
    const TlvObject &proprietary = fci.children[1];
    EXPECT_EQ(proprietary.tag, 0xA5u);
    ASSERT_EQ(proprietary.children.size(), 2u);
    EXPECT_EQ(proprietary.children[1].tag, 0xBF0Cu);
    ASSERT_EQ(proprietary.children[1].children.size(), 1u);
    EXPECT_EQ(proprietary.children[1].children[0].offset, 15u);
    EXPECT_EQ(proprietary.children[1].children[0].value, bytes("48 45 4C 4C 4F"));
}

TEST(BerTlv, TheFirstThingThatDoesNotParseStopsTheWalkAtItsPlace) {
    struct Row {
        const char *name;
        const char *data;
        std::size_t at;
        const char *reasonBegins;
        std::size_t objectsKept;  // at the top
    };
    const Row rows[] = {
        {"a length past its parent", "6F 04 84 05 A0 00", 2, "el valor de 5 bytes pasa del final de su contenedor", 1},
        {"a length past the data", "84 01 AA 83 04 3F 00", 3, "el valor de 4 bytes pasa del final de los datos", 1},
        {"a two-byte tag cut", "84 01 AA 5F", 3, "etiqueta cortada", 1},
        {"a three-byte tag cut", "DF 81", 0, "etiqueta cortada", 0},
        {"a tag of four bytes", "DF 81 81 01 00", 0, "etiqueta de más de 3 bytes", 0},
        {"no length", "84", 1, "falta la longitud", 0},
        {"a long length cut", "84 82 01", 1, "longitud cortada", 0},
        {"the indefinite form", "6F 80 84 00 00 00", 1, "longitud indefinida", 0},
        {"a length form 85", "84 85 00 00 00 00 01 AA", 1, "forma de longitud 85", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const TlvData data = decodeBerTlv(bytes(row.data));
        EXPECT_FALSE(data.parsed());
        ASSERT_TRUE(data.error);
        EXPECT_EQ(data.error->offset, row.at);
        EXPECT_EQ(data.error->reason.rfind(row.reasonBegins, 0), 0u) << data.error->reason;
        EXPECT_EQ(data.objects.size(), row.objectsKept);
    }
}

TEST(BerTlv, NestingDeeperThanTheLimitIsAnErrorNotARecursionWithoutEnd) {
    // 40 templates each holding the next, the innermost empty.
    std::vector<uint8_t> data;
    const int depth = 40;
    for (int i = 0; i < depth; ++i) {
        data.push_back(0x6F);
        data.push_back(static_cast<uint8_t>(2 * (depth - 1 - i)));
    }
    const TlvData decoded = decodeBerTlv(data);
    ASSERT_TRUE(decoded.error);
    EXPECT_EQ(decoded.error->offset, 2u * kTlvMaxDepth);
}

TEST(FcpTags, TheFileDescriptorNamesTheFileKindAndStructure) {
    struct Row {
        const char *value;
        const char *meaning;
    };
    const Row rows[] = {
        {"38", "DF, no compartible"},
        {"78", "DF, compartible"},
        {"01", "EF de trabajo, transparente, no compartible"},
        {"41 21", "EF de trabajo, transparente, compartible, codificación de datos 21"},
        {"02 21 00 1A 00 05",
         "EF de trabajo, lineal fija, no compartible, codificación de datos 21, registros de "
         "hasta 26 bytes, 5 registros"},
        {"04 21 40",
         "EF de trabajo, lineal variable, no compartible, codificación de datos 21, registros de hasta 64 "
         "bytes"},
        {"0E", "EF interno, cíclica, no compartible"},
        {"11", "EF de tipo propietario, transparente, no compartible"},
        {"39", "EF de estructura BER-TLV, no compartible"},
        {"3A", "EF de estructura SIMPLE-TLV, no compartible"},
        {"3B", "descriptor reservado (RFU)"},
        {"81", "descriptor reservado (RFU)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(tlvValueMeaning(0x82, 0x62, bytes(row.value)), row.meaning);
    }
}

TEST(FcpTags, ContextTagsAreNamedOnlyInsideATemplate) {
    EXPECT_STREQ(tlvTagName(0x84, 0x6F), "Nombre de DF");
    EXPECT_STREQ(tlvTagName(0x83, 0x62), "Identificador de fichero");
    EXPECT_STREQ(tlvTagName(0x84, std::nullopt), "");
    EXPECT_STREQ(tlvTagName(0x84, 0xA5), "");
    EXPECT_STREQ(tlvTagName(0x6F, std::nullopt), "Plantilla FCI");
    EXPECT_EQ(tlvValueMeaning(0x80, 0x62, bytes("01 2C")), "300 bytes");
    EXPECT_EQ(tlvValueMeaning(0x80, std::nullopt, bytes("01 2C")), "");
}

TEST(FcpTags, ShortIdentifierAndLifeCycle) {
    struct Row {
        uint32_t tag;
        const char *value;
        const char *meaning;
    };
    const Row rows[] = {
        {0x88, "08", "SFI 1"},
        {0x88, "F8", "SFI 31"},
        {0x88, "", "sin identificador corto"},
        {0x88, "09", ""},
        {0x8A, "00", "sin información"},
        {0x8A, "01", "creación"},
        {0x8A, "03", "inicialización"},
        {0x8A, "05", "operativo, activado"},
        {0x8A, "07", "operativo, activado"},
        {0x8A, "04", "operativo, desactivado"},
        {0x8A, "0C", "terminación"},
        {0x8A, "02", "reservado (RFU)"},
        {0x8A, "20", "propietario"},
        {0x84, "4B 56 52", "\"KVR\""},
        {0x84, "A0 00", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.tag) + " " + row.value);
        EXPECT_EQ(tlvValueMeaning(row.tag, 0x62, bytes(row.value)), row.meaning);
    }
}

}  // namespace
}  // namespace kvr::decode
