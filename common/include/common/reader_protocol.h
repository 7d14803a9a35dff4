// The KVR7x reader's command set as the driver, the PC/SC handler and the
// manager's console speak it: a frame's CODE byte says what kind of command
// it is, and for the reader's own commands INS says which.
#ifndef KVR_COMMON_READER_PROTOCOL_H
#define KVR_COMMON_READER_PROTOCOL_H

#include <cstdint>

namespace kvr::reader {

// CODE: a command to the reader itself, the operation in INS.
constexpr uint8_t kReaderCommand = 0x20;
// CODE: an ISO command to a unit without data sent (ISO OUT) and with a
// data block sent (ISO IN); the unit is added to the code.
constexpr uint8_t kIsoOut = 0x21;
constexpr uint8_t kIsoIn = 0xA1;

// INS of a reader command.
constexpr uint8_t kStatusRequest = 0x10;
constexpr uint8_t kInsertCard = 0x20;
constexpr uint8_t kRemoveCard = 0x30;
constexpr uint8_t kSelectCardType = 0x70;
constexpr uint8_t kActivateCard = 0x80;
constexpr uint8_t kDeactivateCard = 0x90;

// Card type of an activation: an asynchronous (T=0) processor card.
constexpr uint8_t kAsynchronousCard = 0x00;

// Units: 0 the card, 1..3 the SAM slots.  An ISO command carries its unit
// in CODE, so a larger one would run into bit 7 and turn a command without
// data into one that sends data.
constexpr uint8_t kCardUnit = 0;
constexpr uint8_t kHighestUnit = 3;

// STAT of a status request when no card is in the slot.
constexpr uint8_t kStatNoCard = 0x50;

}  // namespace kvr::reader

#endif
