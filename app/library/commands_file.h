// The command record of the library file COMMANDS and its import twin IMP.
//
// A record is 184 bytes: card name (10), command name (30), the six header
// bytes as two characters each (CODE, CLA, INS, P1, P2, P3), the data as text
// (128) and the hot key (32-bit signed, little-endian).  Text fields hold one
// Windows-1252 byte per character, space padded, no terminator.  The only
// key, KEYCARD, is the card name without regard to case, duplicates allowed,
// blank card names left out.
#ifndef KVR_LIBRARY_COMMANDS_FILE_H
#define KVR_LIBRARY_COMMANDS_FILE_H

#include "common/text.h"
#include "keyed_file/keyed_file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kvr::library {

struct Commands {
    char card[10];
    char name[30];
    char frsCode[2];
    char frsCla[2];
    char frsIns[2];
    char frsP1[2];
    char frsP2[2];
    char frsP3[2];
    char data[128];
    std::int32_t hotKey;
};

constexpr std::size_t kCommandsRecordSize = 184;
constexpr std::size_t kCardOffset = 0;
constexpr std::size_t kCardWidth = 10;

// All text fields blank, hot key 0.
void clearCommands(Commands &record);
Commands blankCommands();
void packCommands(const Commands &record, unsigned char *bytes);
void unpackCommands(const unsigned char *bytes, Commands &record);
std::array<unsigned char, kCommandsRecordSize> packCommands(const Commands &record);
bool sameCommands(const Commands &a, const Commands &b);  // all 184 bytes

// Field text: writing pads with spaces (and cuts), reading drops trailing
// spaces.
template <std::size_t N>
void setField(char (&field)[N], std::string_view text) {
    std::memset(field, ' ', N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}
template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(common::trimRight(std::string_view(field, N)));
}

// The layout both files are declared with, field by field (a team library
// keeps each field in a column of its own).
keyed::KeyedLayout commandsLayout();

// Ties a file definition to a record buffer: every read fills it, every add
// and put writes it.
keyed::RecordBinding commandsBinding(Commands &record);

}  // namespace kvr::library

#endif
