// The command console of the main window without its window: the request
// and reply fields, the live conversion between the two request data views,
// the send operation, the reply display, the reader reset and the filling
// of the request panel by the menus.  Texts are byte strings (one byte per
// character, Windows-1252); status texts are UTF-8.
#ifndef KVR_SESSION_COMMAND_CONSOLE_H
#define KVR_SESSION_COMMAND_CONSOLE_H

#include "session/exchange_history.h"
#include "session/menu_plan.h"
#include "session/reader_identification.h"
#include "session/reader_link.h"
#include "session/reply_decoding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kvr::session {

// Which request data view is the source while the operator types.
enum class DataEntryMode { Hex = 0, Byte = 1, Stored = 2 };

inline constexpr std::size_t kByteViewSize = 256;
inline constexpr std::size_t kHexViewSize = 1024;
// The request data views show at most 255 bytes: the byte view one
// character each, the hex view three ("41 ").
inline constexpr std::size_t kRequestDataShown = 255;
inline constexpr std::size_t kRequestHexShown = 3 * kRequestDataShown;
inline constexpr std::size_t kStoredDataSize = 128;  // CMD:DATA

// Whether a hex view text stays within the bytes the byte view can show;
// the window refuses an entry that would not, rather than cutting it.
bool requestHexFits(std::string_view hexText);
inline constexpr uint32_t kShortTimeoutMs = 1000;
inline constexpr uint32_t kCardMoveTimeoutMs = 10000;

// A stored command as its record holds it: the six header fields, two
// characters each, and the data text (128 characters).  "??" in P1, P2 or P3
// and data beginning with "?" are left for the operator; P3 "S2" takes the
// SW2 of the last reply.
struct StoredCommand {
    std::string code, cla, ins, p1, p2, p3;
    std::string data;
};

// Where the focus goes after a stored command filled the panel.
enum class StoredFocus { P1, P2, P3, RequestHex, Send };

// Which of P1, P2, P3 and the request data views take typing.
struct RequestEditable {
    bool p1 = true, p2 = true, p3 = true, data = true;
    bool operator==(const RequestEditable &) const = default;
};

// 10000 ms for the insert and extract commands (CODE "20" with INS "20" or
// "30", trailing spaces ignored), 1000 ms for every other command.
uint32_t chooseTimeout(std::string_view code, std::string_view ins);

class CommandConsole {
public:
    explicit CommandConsole(ReaderLink &link);

    // Every variable back to its opening value.
    void clear();

    // Request header, two characters each.
    std::string code, cla, ins, p1, p2, p3;
    // Reply header, two characters each.
    std::string stat, sw1, sw2, len;

    const std::string &requestBytes() const { return requestBytes_; }
    const std::string &requestHex() const { return requestHex_; }
    const std::string &replyBytes() const { return replyBytes_; }
    const std::string &replyHex() const { return replyHex_; }
    // What the last reply's data decode to (decodeReply): the ATR after an
    // activation, BER-TLV objects after another command; empty after a
    // Reset, a failed call, or data that decode to nothing.
    const ReplyDecoding &replyDecoding() const { return replyDecoding_; }

    // The texts the views show: the byte views their significant characters,
    // the hex views without trailing spaces.
    std::string requestBytesShown() const { return requestBytes_.substr(0, requestByteCount_); }
    std::string requestHexShown() const;
    std::string replyBytesShown() const { return replyBytes_.substr(0, replyByteCount_); }
    std::string replyHexShown() const;

    DataEntryMode dataEntryMode() const { return mode_; }
    uint8_t currentSam() const { return currentSam_; }
    bool requestDataEnabled() const { return requestDataEnabled_; }
    const std::string &statusText() const { return statusText_; }
    // What the status text's driver error means (driverErrorMeaning), or the
    // whole of a window's message, for the status bar's tip; empty when
    // there is no more to say.
    const std::string &statusMeaning() const { return statusMeaning_; }
    // Puts a message of the window in the status bar until the next send or
    // Reset replaces it; meaning, when given, is its tip.
    void setStatusText(std::string text, std::string meaning = {}) {
        statusText_ = std::move(text);
        statusMeaning_ = std::move(meaning);
    }
    int32_t lastStoredEntry() const { return lastStoredEntry_; }
    void setLastStoredEntry(int32_t entry) { lastStoredEntry_ = entry; }

    // The operator entered a request data view.
    void enterHexView() { mode_ = DataEntryMode::Hex; }
    void enterByteView() { mode_ = DataEntryMode::Byte; }
    void setStoredMode() { mode_ = DataEntryMode::Stored; }

    // The text of a request data view changed while the operator typed;
    // ignored unless that view is the current source.  The hex view refills
    // the byte view, the byte view refills the hex view; both set P3 to the
    // data length.
    void hexViewEdited(std::string_view shown);
    void byteViewEdited(std::string_view shown);

    // Fills the byte view from a hex text without touching P3 (stored
    // commands use it).
    void setRequestHex(std::string_view hexText);

    // The send operation.  Returns the driver result; the caller asks the
    // reader-not-responding question when asksToResetReader(result).
    int32_t send();

    // The Reset action: the status text is the result in decimal.
    int32_t resetReader();

    // A menu item fills the request panel.  Like every reader, card and SAM
    // menu action (the Reset included) it makes P1, P2, P3 and the data
    // views editable again, so that a stored command's read-only fields do
    // not trap the operator in a later command of his own.
    void prepare(const PreparedCommand &command);

    // A stored command fills the panel: the header as stored (P3 "S2" takes
    // SW2 from the reply panel), the hex view from the data and the byte
    // view from it without touching P3, data entry mode stored, the reply
    // blanked; only the fields the command leaves open stay editable.
    // Returns where the focus goes.  Nothing is sent.
    StoredFocus fillStored(const StoredCommand &command);
    const RequestEditable &editable() const { return editable_; }
    // A stored command chosen under the "&SAM" menu fills the panel for the
    // current SAM: CODE is the stored CODE plus the current SAM, P3 is as
    // stored ("S2" included), every field stays editable; the rest as
    // fillStored.  The focus goes to the send button.
    void fillStoredForSam(const StoredCommand &command);

    // Probes SAM slot 1..3 with a status request into the given buffer,
    // through the console's SW1, SW2 and reply length; shows nothing.
    int32_t probeSamSlot(uint8_t slot, AnswerBuffer &buffer);

    // Blanks STAT, SW1, SW2, LEN and both reply views.
    void blankReply();

    // From now on every send and Reset is appended to history, timed by
    // clock: the header and data sent, the reply as the panel shows it, the
    // status text and what the status word (or driver error) means.
    void recordInto(ExchangeHistory &history, ExchangeClock clock = ExchangeClock::system());

    const AnswerBuffer &transferBuffer() const { return transfer_; }

private:
    CommandHeader requestHeader() const;
    void showReply(int32_t result);
    void fillByteViewFromHex(std::string_view hexText);
    void record(Exchange::Kind kind, const CommandHeader &header, std::string sent, int64_t startedMs,
                std::chrono::steady_clock::time_point began);

    ReaderLink &link_;
    std::string requestBytes_, requestHex_, replyBytes_, replyHex_;
    std::size_t requestByteCount_ = 0;
    std::size_t replyByteCount_ = 0;
    ReplyDecoding replyDecoding_;
    AnswerBuffer transfer_{};
    uint8_t sw1Result_ = 0, sw2Result_ = 0;
    int32_t replyLength_ = 0;
    int32_t lastResult_ = 0;
    DataEntryMode mode_ = DataEntryMode::Hex;
    uint8_t currentSam_ = 0;
    int32_t lastStoredEntry_ = 0;
    bool requestDataEnabled_ = true;
    RequestEditable editable_;
    std::string statusText_;
    std::string statusMeaning_;
    ExchangeHistory *history_ = nullptr;
    ExchangeClock clock_;
};

}  // namespace kvr::session

#endif
