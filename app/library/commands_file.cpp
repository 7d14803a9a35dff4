#include "library/commands_file.h"

namespace kvr::library {

namespace {

// The text fields of a record and where each stands in its 184 bytes; the
// hot key follows them as a little-endian 32-bit value.
template <class Record, class Visit>
void forEachTextField(Record &r, Visit visit) {
    visit(r.card, 0);
    visit(r.name, 10);
    visit(r.frsCode, 40);
    visit(r.frsCla, 42);
    visit(r.frsIns, 44);
    visit(r.frsP1, 46);
    visit(r.frsP2, 48);
    visit(r.frsP3, 50);
    visit(r.data, 52);
}
constexpr std::size_t kHotKeyOffset = 180;

}  // namespace

void clearCommands(Commands &record) {
    std::memset(&record, ' ', sizeof record);
    record.hotKey = 0;
}

void packCommands(const Commands &r, unsigned char *bytes) {
    forEachTextField(
        r, [bytes](const auto &field, std::size_t offset) { std::memcpy(bytes + offset, field, sizeof field); });
    auto hot = static_cast<std::uint32_t>(r.hotKey);
    for (int i = 0; i < 4; ++i) bytes[kHotKeyOffset + i] = static_cast<unsigned char>(hot >> (8 * i));
}

void unpackCommands(const unsigned char *bytes, Commands &r) {
    forEachTextField(r, [bytes](auto &field, std::size_t offset) { std::memcpy(field, bytes + offset, sizeof field); });
    std::uint32_t hot = 0;
    for (int i = 0; i < 4; ++i) hot |= static_cast<std::uint32_t>(bytes[kHotKeyOffset + i]) << (8 * i);
    r.hotKey = static_cast<std::int32_t>(hot);
}

std::array<unsigned char, kCommandsRecordSize> packCommands(const Commands &record) {
    std::array<unsigned char, kCommandsRecordSize> bytes{};
    packCommands(record, bytes.data());
    return bytes;
}

bool sameCommands(const Commands &a, const Commands &b) { return packCommands(a) == packCommands(b); }

Commands blankCommands() {
    Commands r;
    clearCommands(r);
    return r;
}

keyed::KeyedLayout commandsLayout() {
    using Kind = keyed::KeyedField::Kind;
    return {"COMMANDS",
            kCommandsRecordSize,
            kCardOffset,
            kCardWidth,
            {{"card", 0, 10, Kind::Text},
             {"name", 10, 30, Kind::Text},
             {"frscode", 40, 2, Kind::Text},
             {"frscla", 42, 2, Kind::Text},
             {"frsins", 44, 2, Kind::Text},
             {"frsp1", 46, 2, Kind::Text},
             {"frsp2", 48, 2, Kind::Text},
             {"frsp3", 50, 2, Kind::Text},
             {"data", 52, 128, Kind::Text},
             {"hotkey", kHotKeyOffset, 4, Kind::Int32}}};
}

keyed::RecordBinding commandsBinding(Commands &record) {
    return {[&record](const unsigned char *bytes) { unpackCommands(bytes, record); },
            [&record](unsigned char *bytes) { packCommands(record, bytes); }};
}

}  // namespace kvr::library
