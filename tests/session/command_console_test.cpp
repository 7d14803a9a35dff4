// The console without its window: live conversion of the request data
// views, the filling of the panel by the menus, and the reply display after
// results a working reader cannot give (platform errors).  The send
// operation against a reader is tested with the main window and the
// emulator.
#include "session/command_console.h"
#include "session/hex_codec.h"
#include "session/menu_plan.h"
#include "session/status_message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kvr::session {
namespace {

// A reader link that answers from a script: for the platform errors and
// lost replies a reader on a line cannot be made to produce.
class ScriptedLink : public ReaderLink {
public:
    struct Answer {
        int32_t result = 0;
        uint8_t sw1 = 0, sw2 = 0;
        std::vector<uint8_t> reply;  // written with the length when result >= 0
    };
    std::vector<Answer> answers;
    std::vector<CommandHeader> headers;
    std::vector<uint32_t> timeouts;
    std::vector<std::string> dataSent;

    int32_t sendCommand(const CommandHeader &header, uint8_t *data, uint8_t *sw1, uint8_t *sw2, int32_t *replyLength,
                        uint32_t timeoutMs) override {
        headers.push_back(header);
        timeouts.push_back(timeoutMs);
        dataSent.emplace_back(reinterpret_cast<const char *>(data), 256);
        return answerWith(data, sw1, sw2, replyLength);
    }
    int32_t resetReader(int32_t *answerLength, uint8_t *data) override {
        return answerWith(data, nullptr, nullptr, answerLength);
    }

private:
    int32_t answerWith(uint8_t *data, uint8_t *sw1, uint8_t *sw2, int32_t *length) {
        const Answer a = answers.at(next_++);
        if (a.result >= 0) {
            if (sw1) *sw1 = a.sw1;
            if (sw2) *sw2 = a.sw2;
            if (!a.reply.empty()) {
                std::memcpy(data, a.reply.data(), a.reply.size());
                *length = static_cast<int32_t>(a.reply.size());
            }
        }
        return a.result;
    }
    std::size_t next_ = 0;
};

class CommandConsoleTest : public ::testing::Test {
protected:
    ScriptedLink link;
    CommandConsole console{link};
};

TEST_F(CommandConsoleTest, OpeningValues) {
    for (const std::string *field : {&console.code, &console.cla, &console.ins, &console.p1, &console.p2, &console.p3,
                                     &console.stat, &console.sw1, &console.sw2, &console.len})
        EXPECT_EQ(*field, "  ");
    EXPECT_EQ(console.requestBytes(), std::string(256, ' '));
    EXPECT_EQ(console.requestHex(), std::string(1024, ' '));
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Hex);
    EXPECT_EQ(console.currentSam(), 0);
    EXPECT_TRUE(console.requestDataEnabled());
}

TEST_F(CommandConsoleTest, TypingInTheHexViewRefillsTheByteViewAndP3) {
    struct Case {
        const char *typed;
        std::string bytes;
        const char *p3;
    };
    const Case cases[] = {
        {"00A4040007A0000000031010", std::string("\x00\xA4\x04\x00\x07\xA0\x00\x00\x00\x03\x10\x10", 12), "0C"},
        {"00 A4 04 00", std::string("\x00\xA4\x04\x00", 4), "04"},
        {"ab", std::string("\x00", 1), "01"},
        {"123", "\x12\x30", "02"},
        {"41 42 43 ", "ABC", "03"},
        {"", "", "00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        console.hexViewEdited(c.typed);
        EXPECT_EQ(console.requestBytesShown(), c.bytes);
        EXPECT_EQ(console.requestBytes(), fixedWidth(c.bytes, 256));
        EXPECT_EQ(console.p3, c.p3);
    }
}

TEST_F(CommandConsoleTest, TypingInTheByteViewRefillsTheHexViewAndP3) {
    console.enterByteView();
    console.byteViewEdited("ABC");
    EXPECT_EQ(console.requestHex().substr(0, 9), "41 42 43 ");
    EXPECT_EQ(console.requestHexShown(), "41 42 43");
    EXPECT_EQ(console.p3, "03");
    console.byteViewEdited("AB ");
    EXPECT_EQ(console.requestHexShown(), "41 42 20");
    EXPECT_EQ(console.p3, "03");
    console.byteViewEdited(std::string(255, 'x'));
    EXPECT_EQ(console.p3, "FF");
}

TEST_F(CommandConsoleTest, ChangesInAViewThatIsNotTheSourceAreIgnored) {
    console.hexViewEdited("0102");
    console.byteViewEdited("XYZ");  // still in hex mode
    EXPECT_EQ(console.p3, "02");
    EXPECT_EQ(console.requestBytesShown(), "\x01\x02");
    console.enterByteView();
    console.hexViewEdited("FFFFFF");
    EXPECT_EQ(console.p3, "02");
    console.setStoredMode();
    console.byteViewEdited("Q");
    console.hexViewEdited("01");
    EXPECT_EQ(console.p3, "02");
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Stored);
}

TEST_F(CommandConsoleTest, HexViewLongerThanTheByteViewIsCut) {
    console.hexViewEdited(std::string(600, 'A'));  // 300 pairs
    EXPECT_EQ(console.requestBytesShown().size(), 256u);
    EXPECT_EQ(console.p3, "00");
}

TEST(RequestHexFits, AtMostTheBytesTheByteViewShows) {
    std::string spaced;
    for (int i = 0; i < 255; ++i) spaced += "41 ";
    EXPECT_EQ(spaced.size(), kRequestHexShown);
    EXPECT_TRUE(requestHexFits(spaced));
    EXPECT_TRUE(requestHexFits(std::string(510, 'A')));   // 255 pairs
    EXPECT_FALSE(requestHexFits(std::string(511, 'A')));  // a 256th byte
    EXPECT_FALSE(requestHexFits(spaced + "4"));
    EXPECT_TRUE(requestHexFits(spaced + "   "));  // trailing spaces add nothing
}

TEST_F(CommandConsoleTest, PreparingACommandFillsTheHeaderAndBlanksTheViews) {
    console.hexViewEdited("0102");
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    EXPECT_EQ(console.code + console.cla + console.ins + console.p1 + console.p2 + console.p3, "A10000000000");
    EXPECT_EQ(console.requestBytes(), std::string(256, ' '));
    EXPECT_EQ(console.requestHexShown(), "");
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Hex);

    console.prepare(prepareCommand(MenuCommand::CardIsoOut, 0));
    EXPECT_FALSE(console.requestDataEnabled());
    console.prepare(prepareCommand(MenuCommand::StatusRequest, 0));
    EXPECT_FALSE(console.requestDataEnabled()) << "reader commands keep the data views' state";
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    EXPECT_TRUE(console.requestDataEnabled());

    console.prepare(prepareCommand(MenuCommand::ActivateSam2, console.currentSam()));
    EXPECT_EQ(console.currentSam(), 2);
    console.prepare(prepareCommand(MenuCommand::DeactivateSam, console.currentSam()));
    EXPECT_EQ(console.p1, "02");
    EXPECT_EQ(console.currentSam(), 2) << "deactivating a SAM keeps the current SAM";
}

TEST_F(CommandConsoleTest, PrepareTableOfEveryItem) {
    struct Case {
        MenuCommand item;
        uint8_t sam;
        const char *header;
    };
    const Case cases[] = {
        {MenuCommand::StatusRequest, 0, "200010000000"}, {MenuCommand::InsertCard, 0, "200020000000"},
        {MenuCommand::SelectAsync, 0, "200070000000"},   {MenuCommand::SelectQx256, 0, "200070000600"},
        {MenuCommand::SelectQxP2K, 0, "200070000200"},   {MenuCommand::SelectQx416, 0, "200070000500"},
        {MenuCommand::SelectQxExK, 0, "200070000700"},   {MenuCommand::SelectQxExKExtended, 0, "200070000800"},
        {MenuCommand::ActivateCard, 0, "200080000000"},  {MenuCommand::ActivateAsync, 0, "200080000000"},
        {MenuCommand::ActivateQxP2K, 0, "200080000200"}, {MenuCommand::ActivateQx416, 0, "200080000500"},
        {MenuCommand::ActivateQxExK, 0, "200080000700"}, {MenuCommand::ActivateGpm896, 0, "200080000600"},
        {MenuCommand::ActivateSam1, 3, "200080010000"},  {MenuCommand::ActivateSam2, 0, "200080020000"},
        {MenuCommand::ActivateSam3, 0, "200080030000"},  {MenuCommand::DeactivateSam, 0, "200090000000"},
        {MenuCommand::DeactivateSam, 3, "200090030000"}, {MenuCommand::DeactivateCard, 2, "200090000000"},
        {MenuCommand::ExtractCard, 0, "200030000000"},   {MenuCommand::CardIsoOut, 2, "210000000000"},
        {MenuCommand::CardIsoIn, 2, "A10000000000"},     {MenuCommand::SamIsoOut, 0, "210000000000"},
        {MenuCommand::SamIsoIn, 0, "A10000000000"},      {MenuCommand::SamIsoOut, 2, "230000000000"},
        {MenuCommand::SamIsoIn, 2, "A30000000000"},      {MenuCommand::SamIsoIn, 3, "A40000000000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.header);
        console.prepare(prepareCommand(c.item, c.sam));
        EXPECT_EQ(console.code + console.cla + console.ins + console.p1 + console.p2 + console.p3, c.header);
    }
}

TEST_F(CommandConsoleTest, FailedSendShowsStatOnly) {
    // A good reply first, then a platform error: the reply panel must not
    // show the old status words or the request data as a reply.
    link.answers = {{0x00, 0x90, 0x00, {0x01, 0x02, 0x03}}, {static_cast<int32_t>(0x80000002u), 0, 0, {}}};
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    console.hexViewEdited("AABB");
    console.send();
    EXPECT_EQ(console.len, "03");
    EXPECT_EQ(console.replyHexShown(), "01 02 03");
    EXPECT_EQ(console.send(), static_cast<int32_t>(0x80000002u));
    EXPECT_EQ(console.stat, "02");
    EXPECT_EQ(console.sw1, "  ");
    EXPECT_EQ(console.sw2, "  ");
    EXPECT_EQ(console.len, "  ");
    EXPECT_EQ(console.replyHexShown(), "");
    EXPECT_EQ(console.replyBytesShown(), "");
    EXPECT_EQ(console.statusText(), "Error desconocido -2147483646");
}

TEST_F(CommandConsoleTest, SendHandsTheHeaderTheWholeByteViewAndTheTimeout) {
    link.answers = {{0x00, 0x90, 0x00, {}}, {0x00, 0x90, 0x00, {}}};
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    console.cla = "00";
    console.ins = "a4";  // lower case counts as 0 in the conversion
    console.hexViewEdited("3F00");
    console.send();
    console.prepare(prepareCommand(MenuCommand::InsertCard, 0));
    console.send();
    ASSERT_EQ(link.headers.size(), 2u);
    EXPECT_EQ(link.headers[0].code, 0xA1);
    EXPECT_EQ(link.headers[0].ins, 0x04);
    EXPECT_EQ(link.headers[0].p3, 0x02);
    EXPECT_EQ(link.dataSent[0], std::string("\x3F\x00", 2) + std::string(254, ' '));
    EXPECT_EQ(link.timeouts[0], 1000u);
    EXPECT_EQ(link.headers[1].ins, 0x20);
    EXPECT_EQ(link.timeouts[1], 10000u);
}

TEST_F(CommandConsoleTest, FailedResetShowsTheResultAndNoEarlierReply) {
    link.answers = {
        {0x00, 0, 0, {'V', 'E', 'X', 'A'}}, {static_cast<int32_t>(0x80000000u), 0, 0, {}}, {0x00, 0, 0, {}}};
    EXPECT_EQ(console.resetReader(), 0);
    EXPECT_EQ(console.statusText(), "0");
    EXPECT_EQ(console.stat + console.sw1 + console.sw2 + console.len, "00900004");
    EXPECT_EQ(console.replyBytesShown(), "VEXA");

    EXPECT_EQ(console.resetReader(), static_cast<int32_t>(0x80000000u));
    EXPECT_EQ(console.statusText(), "-2147483648");
    EXPECT_EQ(console.stat + console.sw1 + console.sw2 + console.len, "00      ");
    EXPECT_EQ(console.replyBytesShown(), "");

    // An answer without identification bytes leaves the driver's length
    // alone: nothing of the first answer may come back.
    EXPECT_EQ(console.resetReader(), 0);
    EXPECT_EQ(console.stat + console.sw1 + console.sw2 + console.len, "00900000");
    EXPECT_EQ(console.replyHexShown(), "");
}

TEST_F(CommandConsoleTest, SamProbeAsksTheSlotIntoTheGivenBufferAndShowsNothing) {
    link.answers = {{0x50, 0x6A, 0x82, {0xEE, 0xEE}}};
    AnswerBuffer identification{};
    identification[0] = 'V';
    EXPECT_EQ(console.probeSamSlot(2, identification), 0x50);
    ASSERT_EQ(link.headers.size(), 1u);
    const CommandHeader &h = link.headers[0];
    EXPECT_EQ(std::vector<uint8_t>({h.code, h.cla, h.ins, h.p1, h.p2, h.p3}),
              std::vector<uint8_t>({0x20, 0x00, 0x10, 0x02, 0x00, 0x00}));
    EXPECT_EQ(link.timeouts[0], 1000u);
    EXPECT_EQ(link.dataSent[0][0], 'V') << "the probe hands over the identification buffer";
    EXPECT_EQ(identification[0], 0xEE);
    EXPECT_EQ(console.transferBuffer()[0], 0x00) << "the console's transfer buffer is untouched";
    EXPECT_EQ(console.stat + console.sw1 + console.sw2 + console.len, std::string(8, ' '));
    EXPECT_EQ(console.statusText(), "");
}

// The history gets every send and Reset, timed by the clock it was given,
// with the data that went out, the reply as shown and the status text; the
// SAM probe is no exchange of the operator's and is not kept.
TEST_F(CommandConsoleTest, EverySendAndResetIsKeptInTheHistoryWithItsTimes) {
    link.answers = {{0x00, 0x6A, 0x82, {}},
                    {0x00, 0x90, 0x00, {0x00, 0x41}},
                    {static_cast<int32_t>(0x80000002u), 0, 0, {}},
                    {0x00, 0, 0, {'K', 'V', 'R'}},
                    {0x50, 0, 0, {}}};
    ExchangeHistory history;
    int64_t wall = 1000;
    const int steadyMs[] = {0, 38, 100, 1304, 2000, 2000, 3000, 3015};
    std::size_t tick = 0;
    console.recordInto(history, ExchangeClock{[&] { return wall += 1000; },
                                              [&] {
                                                  return std::chrono::steady_clock::time_point{} +
                                                         std::chrono::milliseconds(steadyMs[tick++]);
                                              }});
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    console.enterHexView();
    console.hexViewEdited("7F 7F");
    console.send();
    console.prepare(prepareCommand(MenuCommand::CardIsoOut, 0));
    console.p3 = "02";
    console.send();
    console.send();
    console.resetReader();
    AnswerBuffer probe{};
    console.probeSamSlot(1, probe);

    ASSERT_EQ(history.size(), 4u);
    const Exchange &select = history.at(0);
    EXPECT_EQ(select.kind, Exchange::Kind::Command);
    EXPECT_EQ(select.startedMs, 2000);
    EXPECT_EQ(select.durationMs, 38);
    EXPECT_EQ(select.header.code, 0xA1);
    EXPECT_EQ(select.header.p3, 0x02);
    EXPECT_EQ(select.sent, std::string("\x7F\x7F", 2)) << "P3 bytes go out with an ISO In command";
    EXPECT_EQ(select.sw1, 0x6A);
    EXPECT_EQ(select.sw2, 0x82);
    EXPECT_EQ(select.status, "Comando procesado correctamente");
    EXPECT_EQ(select.meaning, "Fichero o aplicación no encontrado");

    const Exchange &read = history.at(1);
    EXPECT_EQ(read.durationMs, 1204);
    EXPECT_EQ(read.sent, "") << "ISO Out sends no data";
    EXPECT_EQ(read.received, std::string("\x00\x41", 2));
    EXPECT_EQ(read.meaning, "Proceso correcto");

    const Exchange &failed = history.at(2);
    EXPECT_EQ(failed.durationMs, 0);
    EXPECT_FALSE(failed.answered());
    EXPECT_EQ(failed.status, "Error desconocido -2147483646");
    EXPECT_EQ(failed.meaning, driverErrorMeaning(failed.result));
    EXPECT_NE(failed.meaning, "");
    EXPECT_EQ(failed.received, "");

    const Exchange &reset = history.at(3);
    EXPECT_EQ(reset.kind, Exchange::Kind::Reset);
    EXPECT_EQ(reset.startedMs, 5000);
    EXPECT_EQ(reset.durationMs, 15);
    EXPECT_EQ(reset.status, "0");
    EXPECT_EQ(reset.sw1, 0x90);
    EXPECT_EQ(reset.received, "KVR");
}

TEST(MenuAdjustment, FailedIdentificationChangesNothing) {
    int probes = 0;
    const MenuLayout layout = adjustMenus(ReaderIdentification{}, [&](uint8_t) {
        ++probes;
        return 0;
    });
    const MenuLayout untouched;
    EXPECT_EQ(probes, 0);
    EXPECT_TRUE(layout.selectCardTypeShown && layout.activateCardItemShown && layout.activateCardMenuShown &&
                layout.activateSamShown && layout.deactivateSamShown && layout.samMenuShown);
    EXPECT_TRUE(layout.activateSamEnabled && layout.deactivateSamEnabled && layout.samMenuEnabled);
    EXPECT_EQ(layout.samSlotEnabled, untouched.samSlotEnabled);
    EXPECT_EQ(layout.selectCardTypeEnabled, (std::array<bool, 6>{true, false, false, false, false, false}));
}

ReaderIdentification identified(const char *model) {
    AnswerBuffer answer{};
    std::memcpy(answer.data(), model, std::strlen(model));
    return identifyReader(0, answer);
}

TEST(MenuAdjustment, ExtendedReaderProbesItsSamSlots) {
    struct Case {
        std::array<int32_t, 3> probeResults;
        std::array<bool, 3> slots;
        bool samMenus;
    };
    const int32_t silent = static_cast<int32_t>(0x80000000u);
    const Case cases[] = {
        {{0x50, 0x00, 0x50}, {false, true, false}, true},
        {{0x50, 0x50, 0x50}, {false, false, false}, false},
        {{0x00, 0x00, 0x00}, {true, true, true}, true},
        {{silent, 0x50, 0x50}, {true, false, false}, true},  // an error counts as present
        {{0x50, 0x50, 0x51}, {false, false, true}, true},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> probed;
        const MenuLayout layout = adjustMenus(identified("VEXA KVR74A#12345678"), [&](uint8_t slot) {
            probed.push_back(slot);
            return c.probeResults[slot - 1];
        });
        EXPECT_EQ(probed, (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(layout.samSlotEnabled, c.slots);
        EXPECT_EQ(layout.samMenuEnabled, c.samMenus);
        EXPECT_EQ(layout.activateSamEnabled, c.samMenus);
        EXPECT_EQ(layout.deactivateSamEnabled, c.samMenus);
        EXPECT_FALSE(layout.selectCardTypeShown);
        EXPECT_FALSE(layout.activateCardItemShown);
        EXPECT_TRUE(layout.activateCardMenuShown);
        EXPECT_TRUE(layout.samMenuShown);
    }
}

TEST(MenuAdjustment, BasicReaderOffersTheCardTypeOfItsModelLetter) {
    struct Case {
        const char *model;
        int enabledType;  // index in the select submenu, -1 for none
    };
    const Case cases[] = {
        {"VEXA KVR73B#", 4}, {"VEXA KVR73C#", 1}, {"VEXA KVR73D#", 2},  {"VEXA KVR73E#", 3},
        {"VEXA KVR73W#", 5}, {"VEXA KVR73#", -1}, {"VEXA KVR73c#", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.model);
        const MenuLayout layout = adjustMenus(identified(c.model), [](uint8_t) -> int32_t {
            ADD_FAILURE() << "a basic reader has no SAM slots to probe";
            return 0;
        });
        EXPECT_TRUE(layout.selectCardTypeEnabled[0]);
        for (int i = 1; i < 6; ++i) EXPECT_EQ(layout.selectCardTypeEnabled[i], i == c.enabledType) << i;
        EXPECT_TRUE(layout.selectCardTypeShown);
        EXPECT_TRUE(layout.activateCardItemShown);
        EXPECT_FALSE(layout.activateCardMenuShown);
        EXPECT_FALSE(layout.activateSamShown);
        EXPECT_FALSE(layout.deactivateSamShown);
        EXPECT_FALSE(layout.samMenuShown);
    }
}

}  // namespace
}  // namespace kvr::session
