// The key-stop procedure and the thumb position, as a table.  Expected stops
// are worked out by hand: letters count 1 to 26 in base 27, a digit 0 is a
// space.
#include "library/key_stops.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace kvr::library {
namespace {

struct Case {
    const char *what;
    const char *low;
    const char *high;
    std::map<int, std::string> stops;   // stop number (1 to 100) -> text
    std::map<std::string, int> thumbs;  // card name -> thumb position
};

TEST(KeyStops, DivideTheRangeBetweenTheFirstAndTheLastCardName) {
    const Case cases[] = {
        // ALFA = 28594, CERO = 63195, step (63195 - 28594) / 99 = 349.
        {"no common prefix",
         "ALFA      ",
         "CERO      ",
         {{1, "ALFA      "},
          {2, "ALRZ      "},
          {43, "BEHY      "},
          {44, "BEUW      "},
          {50, "BHRK      "},
          {99, "CECU      "},
          {100, "CERO      "}},
         {{"ALFA", 0}, {"alfa", 0}, {"BETA", 44}, {"beta      ", 44}, {"BEUW", 44}, {"CERO", 100}, {"ZULU", 101}}},
        // "VISA9" is lengthened to "VISA9ZZZZZZ"; after the prefix VISA, "01"
        // counts 0 and "9ZZZ" 19682: step 198, and stop 2 = 0 0 7 9.  Stop 1
        // keeps the low text's digits, so it lies above the lettered stops:
        // "VISA G" already reaches it.
        {"common prefix, high text shorter than 10, digits that are no letters",
         "VISA01    ",
         "VISA9",
         {{1, "VISA01    "}, {2, "VISA  GI  "}, {99, "VISA ZPR  "}, {100, "VISA9ZZZ  "}},
         {{"VISA01", 0}, {"VISA", 0}, {"VISA G", 0}, {"VISA5", 100}, {"VISAZ", 101}}},
        // One card name: "EMV" against "EMVZZZZZZZZ", after the prefix
        // "    " = 0 and "ZZZZ" = 531440: step 5368, stop 2 = 0 7 9 22; the
        // first stop from "EMVA" on is stop 5 (21472 = 1 2 12 7).
        {"one card name only",
         "EMV       ",
         "EMV       ",
         {{1, "EMV       "}, {2, "EMV GIV   "}, {100, "EMVZZZZ   "}},
         {{"EMV", 0}, {"emv", 0}, {"EMVA", 5}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const KeyStops stops = keyStops(c.low, c.high, 10);
        for (const std::string &stop : stops) EXPECT_EQ(stop.size(), 10u) << stop;
        // The stops between the ends are written in letters and rise.
        for (std::size_t i = 2; i < stops.size() - 1; ++i) EXPECT_LT(stops[i - 1], stops[i]) << "stop " << i + 1;
        for (const auto &[number, text] : c.stops)
            EXPECT_EQ(stops[static_cast<std::size_t>(number) - 1], text) << "stop " << number;
        for (const auto &[card, position] : c.thumbs) EXPECT_EQ(thumbPosition(stops, card), position) << card;
    }
}

}  // namespace
}  // namespace kvr::library
