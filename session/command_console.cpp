#include "session/command_console.h"

#include "session/hex_codec.h"
#include "session/status_message.h"
#include "session/status_word.h"

#include "common/reader_protocol.h"

#include <algorithm>
#include <cstring>

namespace kvr::session {

namespace {
const std::string kBlankField(2, ' ');
}

uint32_t chooseTimeout(std::string_view code, std::string_view ins) {
    const std::string_view c = trimRight(code);
    const std::string_view i = trimRight(ins);
    return c == "20" && (i == "20" || i == "30") ? kCardMoveTimeoutMs : kShortTimeoutMs;
}

bool requestHexFits(std::string_view hexText) { return parseHexView(hexText).size() <= kRequestDataShown; }

CommandConsole::CommandConsole(ReaderLink &link) : link_(link) { clear(); }

void CommandConsole::clear() {
    code = cla = ins = p1 = p2 = p3 = kBlankField;
    stat = sw1 = sw2 = len = kBlankField;
    requestBytes_.assign(kByteViewSize, ' ');
    requestHex_.assign(kHexViewSize, ' ');
    replyBytes_.assign(kByteViewSize, ' ');
    replyHex_.assign(kHexViewSize, ' ');
    requestByteCount_ = 0;
    replyByteCount_ = 0;
    replyDecoding_ = ReplyDecoding{};
    transfer_.fill(0);
    sw1Result_ = sw2Result_ = 0;
    replyLength_ = 0;
    lastResult_ = 0;
    mode_ = DataEntryMode::Hex;
    currentSam_ = 0;
    lastStoredEntry_ = 0;
    requestDataEnabled_ = true;
    editable_ = RequestEditable{};
    statusText_.clear();
    statusMeaning_.clear();
}

std::string CommandConsole::requestHexShown() const { return std::string(trimRight(requestHex_)); }
std::string CommandConsole::replyHexShown() const { return std::string(trimRight(replyHex_)); }

void CommandConsole::fillByteViewFromHex(std::string_view hexText) {
    std::string bytes = parseHexView(hexText);
    if (bytes.size() > kByteViewSize) bytes.resize(kByteViewSize);
    requestByteCount_ = bytes.size();
    requestBytes_ = fixedWidth(bytes, kByteViewSize);
}

void CommandConsole::hexViewEdited(std::string_view shown) {
    if (mode_ != DataEntryMode::Hex) return;
    requestHex_ = fixedWidth(shown, kHexViewSize);
    fillByteViewFromHex(shown);
    p3 = hexByte(static_cast<uint8_t>(requestByteCount_ % 256));
}

void CommandConsole::byteViewEdited(std::string_view shown) {
    if (mode_ != DataEntryMode::Byte) return;
    const std::string_view bytes = shown.substr(0, kByteViewSize);
    requestBytes_ = fixedWidth(bytes, kByteViewSize);
    requestByteCount_ = bytes.size();
    requestHex_ = fixedWidth(hexViewText(bytes), kHexViewSize);
    p3 = hexByte(static_cast<uint8_t>(bytes.size() % 256));
}

void CommandConsole::setRequestHex(std::string_view hexText) {
    requestHex_ = fixedWidth(hexText, kHexViewSize);
    fillByteViewFromHex(hexText);
}

void CommandConsole::blankReply() {
    stat = sw1 = sw2 = len = kBlankField;
    replyBytes_.assign(kByteViewSize, ' ');
    replyHex_.assign(kHexViewSize, ' ');
    replyByteCount_ = 0;
    replyDecoding_ = ReplyDecoding{};
}

CommandHeader CommandConsole::requestHeader() const {
    return CommandHeader{hexPairOf(code), hexPairOf(cla), hexPairOf(ins), hexPairOf(p1), hexPairOf(p2), hexPairOf(p3)};
}

void CommandConsole::showReply(int32_t result) {
    stat = hexByte(static_cast<uint8_t>(result & 0xFF));
    if (result < 0) {
        // A failed call wrote neither the status words nor a reply: showing
        // the previous reply's values over the request data would pass them
        // off as this command's answer.
        return;
    }
    sw1 = hexByte(sw1Result_);
    sw2 = hexByte(sw2Result_);
    const std::size_t count = static_cast<std::size_t>(std::clamp(replyLength_, 0, 255));
    len = hexByte(static_cast<uint8_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t byte = transfer_[i];
        replyHex_.replace(3 * i, 3, hexByte(byte) + ' ');
        // A zero byte is shown as 0xFF so that it does not end the text.
        replyBytes_[i] = static_cast<char>(byte == 0 ? 0xFF : byte);
    }
    replyByteCount_ = count;
}

int32_t CommandConsole::send() {
    std::memcpy(transfer_.data(), requestBytes_.data(), kByteViewSize);
    blankReply();
    const uint32_t timeout = chooseTimeout(code, ins);
    const CommandHeader header = requestHeader();
    // The data that goes out: P3 bytes (all 256 when P3 is 0) when bit 7 of
    // CODE is set.
    std::string sent;
    if (history_ && (header.code & 0x80)) sent = requestBytes_.substr(0, header.p3 == 0 ? kByteViewSize : header.p3);
    const int64_t startedMs = history_ ? clock_.wallMs() : 0;
    const auto began = history_ ? clock_.steady() : std::chrono::steady_clock::time_point{};
    lastResult_ = link_.sendCommand(header, transfer_.data(), &sw1Result_, &sw2Result_, &replyLength_, timeout);
    showReply(lastResult_);
    if (lastResult_ >= 0)
        replyDecoding_ =
            decodeReply(header.code, header.ins, std::span<const uint8_t>(transfer_.data(), replyByteCount_));
    statusText_ = statusMessage(lastResult_);
    statusMeaning_ = driverErrorMeaning(lastResult_);
    record(Exchange::Kind::Command, header, std::move(sent), startedMs, began);
    return lastResult_;
}

void CommandConsole::recordInto(ExchangeHistory &history, ExchangeClock clock) {
    history_ = &history;
    clock_ = std::move(clock);
}

void CommandConsole::record(Exchange::Kind kind, const CommandHeader &header, std::string sent, int64_t startedMs,
                            std::chrono::steady_clock::time_point began) {
    if (!history_) return;
    Exchange e;
    e.kind = kind;
    e.startedMs = startedMs;
    e.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.steady() - began).count();
    e.header = header;
    e.sent = std::move(sent);
    e.result = lastResult_;
    if (e.answered()) {
        e.sw1 = hexPairOf(sw1);
        e.sw2 = hexPairOf(sw2);
        e.received.assign(reinterpret_cast<const char *>(transfer_.data()), replyByteCount_);
        e.meaning = statusWordMeaning(sw1, sw2);
        e.decoding = replyDecoding_.summary();
    } else {
        e.meaning = statusMeaning_;
    }
    e.status = statusText_;
    history_->append(std::move(e));
}

int32_t CommandConsole::resetReader() {
    editable_ = RequestEditable{};
    blankReply();
    // A reset whose answer holds no identification bytes leaves the length
    // untouched: start from 0 so that no earlier reply is shown again.
    replyLength_ = 0;
    const int64_t startedMs = history_ ? clock_.wallMs() : 0;
    const auto began = history_ ? clock_.steady() : std::chrono::steady_clock::time_point{};
    lastResult_ = link_.resetReader(&replyLength_, transfer_.data());
    statusText_ = std::to_string(lastResult_);
    statusMeaning_ = driverErrorMeaning(lastResult_);
    showReply(lastResult_);
    // A reset that answered shows 90 00; one that failed shows none, since
    // "90 00" next to the error would read as success.
    if (lastResult_ >= 0) {
        sw1 = "90";
        sw2 = "00";
    }
    record(Exchange::Kind::Reset, CommandHeader{}, {}, startedMs, began);
    return lastResult_;
}

void CommandConsole::prepare(const PreparedCommand &command) {
    blankReply();
    const CommandHeader &h = command.header;
    code = hexByte(h.code);
    cla = hexByte(h.cla);
    ins = hexByte(h.ins);
    p1 = hexByte(h.p1);
    p2 = hexByte(h.p2);
    p3 = hexByte(h.p3);
    requestBytes_.assign(kByteViewSize, ' ');
    requestHex_.assign(kHexViewSize, ' ');
    requestByteCount_ = 0;
    if (command.currentSam) currentSam_ = *command.currentSam;
    if (command.requestDataEnabled) requestDataEnabled_ = *command.requestDataEnabled;
    editable_ = RequestEditable{};
}

StoredFocus CommandConsole::fillStored(const StoredCommand &command) {
    code = fixedWidth(command.code, 2);
    cla = fixedWidth(command.cla, 2);
    ins = fixedWidth(command.ins, 2);
    p1 = fixedWidth(command.p1, 2);
    p2 = fixedWidth(command.p2, 2);
    p3 = command.p3 == "S2" ? sw2 : fixedWidth(command.p3, 2);
    requestBytes_.assign(kByteViewSize, ' ');
    requestByteCount_ = 0;
    mode_ = DataEntryMode::Stored;
    setRequestHex(std::string_view(command.data).substr(0, kStoredDataSize));
    blankReply();

    constexpr std::string_view open = "??";
    editable_.p1 = p1 == open;
    editable_.p2 = p2 == open;
    editable_.p3 = p3 == open;
    editable_.data = requestHex_.front() == '?';
    if (editable_.p1) return StoredFocus::P1;
    if (editable_.p2) return StoredFocus::P2;
    if (editable_.p3) return StoredFocus::P3;
    if (editable_.data) return StoredFocus::RequestHex;
    return StoredFocus::Send;
}

void CommandConsole::fillStoredForSam(const StoredCommand &command) {
    code = hexByte(static_cast<uint8_t>(hexPairOf(command.code) + currentSam_));
    cla = fixedWidth(command.cla, 2);
    ins = fixedWidth(command.ins, 2);
    p1 = fixedWidth(command.p1, 2);
    p2 = fixedWidth(command.p2, 2);
    p3 = fixedWidth(command.p3, 2);
    requestBytes_.assign(kByteViewSize, ' ');
    requestByteCount_ = 0;
    mode_ = DataEntryMode::Stored;
    setRequestHex(std::string_view(command.data).substr(0, kStoredDataSize));
    blankReply();
    editable_ = RequestEditable{};
}

int32_t CommandConsole::probeSamSlot(uint8_t slot, AnswerBuffer &buffer) {
    const CommandHeader status{reader::kReaderCommand, 0x00, reader::kStatusRequest, slot, 0x00, 0x00};
    return link_.sendCommand(status, buffer.data(), &sw1Result_, &sw2Result_, &replyLength_, kShortTimeoutMs);
}

}  // namespace kvr::session
