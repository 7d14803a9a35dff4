#include "decoding_report.h"

#include "report.h"

#include "common/hex.h"
#include "session/reply_decoding.h"
#include "session/status_word.h"
#include "decode/fcp_tags.h"
#include "decode/historical_bytes.h"

#include <charconv>
#include <optional>

namespace kvr::cli {

namespace {

session::ReplyDecoding decodingOf(const ReaderCommand &command, const Outcome &outcome) {
    if (!outcome.succeeded() || outcome.data.empty()) return {};
    switch (command.operation) {
    case Operation::Send: return session::decodeReply(command.code, command.ins, outcome.data);
    case Operation::IsoIn:
    case Operation::IsoOut: return session::decodeReply(0x21, command.ins, outcome.data);  // never an activation
    case Operation::Reset:
    case Operation::Status: break;
    }
    return {};
}

std::string statusWordMeaningOf(const Outcome &outcome) {
    if (outcome.result < 0 || !outcome.sw1 || !outcome.sw2) return {};
    return session::statusWordMeaning(*outcome.sw1, *outcome.sw2);
}

// Text that needs no escaping, in quotes.  (Appended rather than added up:
// g++ 12 takes "..." + std::string&& for an overlapping copy.)
std::string quoted(const std::string &text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}
std::string quotedHex(std::span<const uint8_t> bytes) { return quoted(common::hexPacked(bytes)); }
std::string quotedByte(uint8_t byte) { return quoted(common::hexByte(byte)); }
std::string boolean(bool value) { return value ? "true" : "false"; }

template <typename T>
std::string numberOr(const std::optional<T> &value) {
    return value ? std::to_string(*value) : "null";
}

std::string number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// Appends "key":value to an object begun with "{", a comma before it
// unless it is the first.
void member(std::string &json, const char *key, const std::string &value) {
    if (json.size() > 1) json += ',';
    json += jsonString(key);
    json += ':';
    json += value;
}

// Appends a value to an array begun with "[".
void item(std::string &list, const std::string &value) {
    if (list.size() > 1) list += ',';
    list += value;
}

const char *categoryKey(decode::HistoricalCategory category) {
    switch (category) {
    case decode::HistoricalCategory::None: return "none";
    case decode::HistoricalCategory::CompactTlvWithStatus: return "00";
    case decode::HistoricalCategory::CompactTlv: return "80";
    case decode::HistoricalCategory::DirReference: return "10";
    case decode::HistoricalCategory::Reserved: return "reserved";
    case decode::HistoricalCategory::Proprietary: break;
    }
    return "proprietary";
}

const char *clockStopKey(decode::T15Parameters::ClockStop stop) {
    switch (stop) {
    case decode::T15Parameters::ClockStop::NotSupported: return "not supported";
    case decode::T15Parameters::ClockStop::StateL: return "L";
    case decode::T15Parameters::ClockStop::StateH: return "H";
    case decode::T15Parameters::ClockStop::NoPreference: break;
    }
    return "no preference";
}

std::string objectsJson(const std::vector<decode::TlvObject> &objects, std::optional<uint32_t> parent) {
    std::string json = "[";
    for (const decode::TlvObject &object : objects) {
        if (json.size() > 1) json += ',';
        std::string one = "{";
        member(one, "tag", jsonString(object.tagText()));
        member(one, "length", std::to_string(object.value.size()));
        const std::string name = decode::tlvTagName(object.tag, parent);
        if (!name.empty()) member(one, "name", jsonString(name));
        if (object.constructed) {
            member(one, "children", objectsJson(object.children, object.tag));
        } else {
            member(one, "value", quotedHex(object.value));
            const std::string meaning = decode::tlvValueMeaning(object.tag, parent, object.value);
            if (!meaning.empty()) member(one, "meaning", jsonString(meaning));
        }
        json += one + "}";
    }
    return json + "]";
}

}  // namespace

namespace {

// TS, T0, the interface bytes, the protocols, the rates and the global bytes.
void structureMembers(const decode::Atr &atr, std::string &json) {
    member(json, "length", std::to_string(atr.length));
    if (atr.length > 0) member(json, "ts", quotedByte(atr.ts));
    if (atr.convention)
        member(json, "convention", jsonString(*atr.convention == decode::Convention::Direct ? "direct" : "inverse"));
    if (atr.t0) {
        member(json, "t0", quotedByte(*atr.t0));
        member(json, "k", std::to_string(atr.historicalCount));
    }
    std::string bytes = "[";
    for (const decode::InterfaceByte &b : atr.interfaceBytes) {
        std::string one = "{";
        member(one, "name", jsonString(b.name()));
        member(one, "value", quotedByte(b.value));
        item(bytes, one + "}");
    }
    member(json, "interface", bytes + "]");
    std::string protocols = "[";
    for (const int t : atr.protocols) item(protocols, std::to_string(t));
    member(json, "protocols", protocols + "]");
    member(json, "fi", numberOr(atr.rates.fi));
    member(json, "di", numberOr(atr.rates.di));
    member(json, "fmax_khz", numberOr(atr.rates.fmaxKHz));
    const auto cycles = atr.rates.cyclesPerEtu();
    member(json, "cycles_per_etu", cycles ? number(*cycles) : "null");
    member(json, "ta1", boolean(atr.rates.fromTa1));
    if (atr.extraGuardTime) member(json, "extra_guard_time", std::to_string(*atr.extraGuardTime));
    if (atr.specificMode) {
        std::string mode = "{";
        member(mode, "protocol", std::to_string(atr.specificMode->protocol));
        member(mode, "changeable", boolean(atr.specificMode->changeable));
        member(mode, "implicit", boolean(atr.specificMode->implicit));
        member(json, "specific_mode", mode + "}");
    }
    if (atr.waitingIntegerT0) member(json, "wi", std::to_string(*atr.waitingIntegerT0));
}

// The first T=1 and T=15 bytes.
void protocolMembers(const decode::Atr &atr, std::string &json) {
    const decode::T1Parameters &t1 = atr.t1;
    if (t1.ifsc || t1.bwi || t1.crc) {
        std::string one = "{";
        if (t1.ifsc) member(one, "ifsc", std::to_string(*t1.ifsc));
        if (t1.bwi) {
            member(one, "bwi", std::to_string(*t1.bwi));
            member(one, "cwi", std::to_string(*t1.cwi));
        }
        if (t1.crc) member(one, "error_detection", jsonString(*t1.crc ? "crc" : "lrc"));
        member(json, "t1", one + "}");
    }
    if (atr.t15.clockStop || atr.t15.spu) {
        std::string one = "{";
        if (atr.t15.clockStop) {
            member(one, "clock_stop", jsonString(clockStopKey(*atr.t15.clockStop)));
            std::string classes = "[";
            const char *names[] = {"\"A\"", "\"B\"", "\"C\""};
            for (std::size_t bit = 0; bit < 3; ++bit)
                if (*atr.t15.classes & (1u << bit)) item(classes, names[bit]);
            member(one, "classes", classes + "]");
        }
        if (atr.t15.spu) member(one, "spu", quotedByte(*atr.t15.spu));
        member(json, "t15", one + "}");
    }
}

void historicalMembers(const decode::Atr &atr, std::string &json) {
    member(json, "historical", quotedHex(atr.historical));
    member(json, "historical_text", jsonString(decode::printableText(atr.historical)));
    const decode::HistoricalBytes &h = atr.historicalDecoded;
    member(json, "historical_category", jsonString(categoryKey(h.category)));
    if (!h.objects.empty()) {
        std::string objects = "[";
        for (const decode::CompactTlvObject &object : h.objects) {
            static const char kHex[] = "0123456789ABCDEF";
            std::string one = "{";
            member(one, "tag", quoted(std::string(1, kHex[object.tag & 0x0F])));
            member(one, "value", quotedHex(object.value));
            item(objects, one + "}");
        }
        member(json, "compact_tlv", objects + "]");
    }
    if (h.status) {
        std::string status = "{";
        if (h.status->lifeCycle) member(status, "lcs", quotedByte(*h.status->lifeCycle));
        if (h.status->statusWord) {
            const uint8_t sw[] = {static_cast<uint8_t>(*h.status->statusWord >> 8),
                                  static_cast<uint8_t>(*h.status->statusWord & 0xFF)};
            member(status, "sw", quotedHex(sw));
        }
        member(json, "status_indicator", status + "}");
    }
}

// TCK, what follows the ATR, and where it stopped.
void endMembers(const decode::Atr &atr, std::string &json) {
    std::string tck = "{";
    member(tck, "present", boolean(atr.tck.present));
    if (atr.tck.present) {
        member(tck, "value", quotedByte(atr.tck.value));
        member(tck, "ok", boolean(atr.tck.ok));
        if (!atr.tck.ok) member(tck, "expected", quotedByte(atr.tck.right));
    }
    member(json, "tck", tck + "}");
    if (!atr.trailing.empty()) member(json, "trailing", quotedHex(atr.trailing));
    if (atr.overlong) member(json, "overlong", "true");
    if (atr.stop) {
        std::string stop = "{";
        member(stop, "offset", std::to_string(atr.stop->offset));
        member(stop, "reason", jsonString(atr.stop->reason));
        member(json, "stop", stop + "}");
    }
}

}  // namespace

std::string atrJson(const decode::Atr &atr) {
    std::string json = "{";
    structureMembers(atr, json);
    protocolMembers(atr, json);
    historicalMembers(atr, json);
    endMembers(atr, json);
    return json + "}";
}

std::string tlvJson(const decode::TlvData &tlv) { return objectsJson(tlv.objects, std::nullopt); }

std::string textDecoding(const ReaderCommand &command, const Outcome &outcome) {
    std::string text;
    const std::string meaning = statusWordMeaningOf(outcome);
    if (!meaning.empty()) text += "MEANING " + meaning + "\n";
    const session::ReplyDecoding decoding = decodingOf(command, outcome);
    const char *field = decoding.atr ? "ATR " : "TLV ";
    for (const std::string &line : decoding.lines()) text += field + line + "\n";
    return text;
}

std::string withJsonDecoding(std::string json, const ReaderCommand &command, const Outcome &outcome) {
    const std::size_t end = json.rfind('}');
    if (end == std::string::npos) return json;
    std::string members = "{";  // the "{" only spares the first comma
    const std::string meaning = statusWordMeaningOf(outcome);
    if (!meaning.empty()) member(members, "meaning", jsonString(meaning));
    const session::ReplyDecoding decoding = decodingOf(command, outcome);
    if (decoding.atr) member(members, "atr", atrJson(*decoding.atr));
    if (decoding.tlv) member(members, "tlv", tlvJson(*decoding.tlv));
    members.erase(0, 1);
    if (!members.empty()) members.insert(0, 1, ',');
    json.insert(end, members);
    return json;
}

}  // namespace kvr::cli
