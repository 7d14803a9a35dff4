// A COMMANDS record for the window tests: a READ BINARY of 16 bytes filed
// under the card and name given.
#ifndef KVR_TESTS_LIBRARY_SAMPLE_COMMAND_H
#define KVR_TESTS_LIBRARY_SAMPLE_COMMAND_H

#include "library/commands_file.h"

#include <cstdint>
#include <string>

namespace kvr::testing {

inline library::Commands sampleCommand(const std::string &card, const std::string &name, const std::string &data = {},
                                       std::int32_t hotKey = 0) {
    library::Commands c;
    library::clearCommands(c);
    library::setField(c.card, card);
    library::setField(c.name, name);
    library::setField(c.frsCode, "A1");
    library::setField(c.frsCla, "00");
    library::setField(c.frsIns, "B0");
    library::setField(c.frsP1, "00");
    library::setField(c.frsP2, "00");
    library::setField(c.frsP3, "10");
    library::setField(c.data, data);
    c.hotKey = hotKey;
    return c;
}

}  // namespace kvr::testing

#endif
