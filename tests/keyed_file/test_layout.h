// Test support: the record layout of the keyed-file tests, the command
// record's (the library's commandsLayout(), which a library test holds to
// this one): 184 bytes of ten fields, the key the card name.
#ifndef KVR_TESTS_TEST_LAYOUT_H
#define KVR_TESTS_TEST_LAYOUT_H

#include "keyed_file/keyed_store.h"

namespace kvr::testing {

inline keyed::KeyedLayout commandsLikeLayout() {
    using Kind = keyed::KeyedField::Kind;
    return {"COMMANDS",
            184,
            0,
            10,
            {{"card", 0, 10, Kind::Text},
             {"name", 10, 30, Kind::Text},
             {"frscode", 40, 2, Kind::Text},
             {"frscla", 42, 2, Kind::Text},
             {"frsins", 44, 2, Kind::Text},
             {"frsp1", 46, 2, Kind::Text},
             {"frsp2", 48, 2, Kind::Text},
             {"frsp3", 50, 2, Kind::Text},
             {"data", 52, 128, Kind::Text},
             {"hotkey", 180, 4, Kind::Int32}}};
}

}  // namespace kvr::testing

#endif
