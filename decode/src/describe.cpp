#include "decode/describe.h"

#include "decode/fcp_tags.h"

#include <cmath>
#include <cstdio>

namespace kvr::decode {

namespace {

std::string hex2(uint8_t byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string protocolList(const std::vector<int> &protocols) {
    std::string text;
    for (const int t : protocols) text += (text.empty() ? "T=" : ", T=") + std::to_string(t);
    return text;
}

std::string mhz(int kHz) {
    std::string text = std::to_string(kHz / 1000);
    if (kHz % 1000) text += "," + std::to_string((kHz % 1000) / 100);
    return text + " MHz";
}

std::string rateLine(const RateFactors &r) {
    std::string text = r.fromTa1 ? "TA1 " + hex2(static_cast<uint8_t>(r.fiCode << 4 | r.diCode)) + ": " : "Sin TA1: ";
    text += r.fi ? "Fi " + std::to_string(*r.fi) : "FI " + hex2(r.fiCode) + " reservado (RFU)";
    if (r.fmaxKHz) text += ", fmax " + mhz(*r.fmaxKHz);
    text += r.di ? ", Di " + std::to_string(*r.di) : ", DI " + hex2(r.diCode) + " reservado (RFU)";
    if (const auto cycles = r.cyclesPerEtu()) text += ", " + cyclesText(*cycles) + " ciclos de reloj por ETU";
    return text;
}

const char *clockStopText(T15Parameters::ClockStop stop) {
    switch (stop) {
    case T15Parameters::ClockStop::NotSupported: return "sin parada de reloj";
    case T15Parameters::ClockStop::StateL: return "parada de reloj en estado L";
    case T15Parameters::ClockStop::StateH: return "parada de reloj en estado H";
    case T15Parameters::ClockStop::NoPreference: return "parada de reloj sin preferencia";
    }
    return "";
}

std::string classesText(uint8_t classes) {
    std::string text;
    const char *names[] = {"A (5 V)", "B (3 V)", "C (1,8 V)"};
    for (std::size_t bit = 0; bit < 3; ++bit)
        if (classes & (1u << bit)) text += (text.empty() ? "" : ", ") + std::string(names[bit]);
    if (classes & 0x38) text += std::string(text.empty() ? "" : ", ") + "clases reservadas (RFU)";
    return text.empty() ? "ninguna clase indicada" : "clases " + text;
}

void historicalLines(const Atr &atr, std::vector<std::string> &lines) {
    const HistoricalBytes &h = atr.historicalDecoded;
    if (atr.historical.empty()) return;
    std::string head = "Bytes históricos: " + spacedHex(atr.historical);
    switch (h.category) {
    case HistoricalCategory::CompactTlvWithStatus:
        head += " (categoría 00: objetos COMPACT-TLV e indicador de estado)";
        break;
    case HistoricalCategory::CompactTlv: head += " (categoría 80: objetos COMPACT-TLV)"; break;
    case HistoricalCategory::DirReference: head += " (categoría 10: referencia a datos DIR)"; break;
    case HistoricalCategory::Reserved: head += " (categoría " + hex2(h.indicator) + " reservada, RFU)"; break;
    case HistoricalCategory::Proprietary:
    case HistoricalCategory::None: head += " \"" + printableText(atr.historical) + "\" (categoría propietaria)"; break;
    }
    lines.push_back(head);
    for (const CompactTlvObject &object : h.objects) {
        const std::string name = compactTlvTagName(object.tag);
        lines.push_back(
            "  " + hex2(static_cast<uint8_t>(static_cast<std::size_t>(object.tag) << 4 | object.value.size())) + " " +
            (name.empty() ? "Etiqueta " + hex2(object.tag) + " sin asignar" : name) + ": " + spacedHex(object.value));
    }
    if (h.category == HistoricalCategory::DirReference && !h.dirReference.empty())
        lines.push_back("  Referencia DIR: " + spacedHex(h.dirReference));
    if (h.status) {
        std::string text = "  Estado:";
        if (h.status->lifeCycle)
            text +=
                " ciclo de vida " + hex2(*h.status->lifeCycle) + " (" + lifeCycleStatusText(*h.status->lifeCycle) + ")";
        if (h.status->statusWord)
            text += " SW " + hex2(static_cast<uint8_t>(*h.status->statusWord >> 8)) +
                    hex2(static_cast<uint8_t>(*h.status->statusWord & 0xFF));
        lines.push_back(text);
    }
    if (h.brokenAt) lines.push_back("  Los objetos se cortan en el byte histórico " + std::to_string(*h.brokenAt + 1));
}

void tlvLines(const std::vector<TlvObject> &objects, std::optional<uint32_t> parent, const std::string &indent,
              std::vector<std::string> &lines) {
    for (const TlvObject &object : objects) {
        std::string line = indent + object.tagText() + " [" + std::to_string(object.value.size()) + "]";
        const std::string name = tlvTagName(object.tag, parent);
        if (!name.empty()) line += " " + name;
        if (!object.constructed) {
            line += ": " + spacedHex(object.value);
            const std::string meaning = tlvValueMeaning(object.tag, parent, object.value);
            if (!meaning.empty()) line += " (" + meaning + ")";
        }
        lines.push_back(line);
        if (object.constructed) tlvLines(object.children, object.tag, indent + "  ", lines);
    }
}

}  // namespace

std::string spacedHex(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += hex2(byte);
    }
    return text;
}

std::string cyclesText(double cycles) {
    // Fi / Di has at most four decimals (1116 / 64 = 17,4375).
    const long long scaled = std::llround(cycles * 10000.0);
    std::string text = std::to_string(scaled / 10000);
    long long fraction = scaled % 10000;
    if (fraction == 0) return text;
    std::string digits = std::to_string(10000 + fraction).substr(1);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return text + "," + digits;
}

namespace {

// TS, T0 with the interface bytes, the protocols and the rates.
void structureLines(const Atr &atr, std::vector<std::string> &lines) {
    std::string head = "ATR de " + std::to_string(atr.length) + " bytes";
    if (atr.length > 0) {
        head += ", TS " + hex2(atr.ts);
        if (atr.convention)
            head += *atr.convention == Convention::Direct ? ": convención directa" : ": convención inversa";
    }
    if (atr.overlong) head += "; más de " + std::to_string(kAtrMaxBytes) + " bytes";
    lines.push_back(head);
    if (!atr.t0) return;
    std::string t0 = "T0 " + hex2(*atr.t0) + ": " + std::to_string(atr.historicalCount) + " bytes históricos";
    if (!atr.interfaceBytes.empty()) {
        t0 += "; bytes de interfaz";
        for (const InterfaceByte &b : atr.interfaceBytes) {
            t0 += ' ';
            t0 += b.name();
            t0 += '=';
            t0 += hex2(b.value);
        }
    }
    lines.push_back(t0);
    lines.push_back("Protocolos: " + protocolList(atr.protocols));
    lines.push_back(rateLine(atr.rates));
}

// TC1, TA2 and TC2.
void globalLines(const Atr &atr, std::vector<std::string> &lines) {
    if (atr.extraGuardTime)
        lines.push_back("TC1 " + hex2(*atr.extraGuardTime) + ": " +
                        (*atr.extraGuardTime == 0xFF
                             ? std::string("tiempo de guarda mínimo")
                             : "tiempo de guarda extra " + std::to_string(*atr.extraGuardTime) + " ETU"));
    if (atr.specificMode)
        lines.push_back(
            "TA2: modo específico T=" + std::to_string(atr.specificMode->protocol) +
            (atr.specificMode->changeable ? ", puede pasar a negociable" : ", no puede pasar a negociable") +
            (atr.specificMode->implicit ? ", parámetros implícitos" : ", parámetros de TA1"));
    if (atr.waitingIntegerT0)
        lines.push_back("TC2: WI " + std::to_string(*atr.waitingIntegerT0) +
                        (*atr.waitingIntegerT0 == 0 ? " (reservado, RFU)" : " (tiempo de espera de T=0)"));
}

// The first T=1 and T=15 bytes.
void protocolLines(const Atr &atr, std::vector<std::string> &lines) {
    const T1Parameters &t1 = atr.t1;
    if (t1.ifsc || t1.bwi || t1.crc) {
        std::string text = "T=1:";
        if (t1.ifsc)
            text +=
                " IFSC " + std::to_string(*t1.ifsc) + (*t1.ifsc == 0 || *t1.ifsc == 0xFF ? " (reservado, RFU)" : "");
        if (t1.bwi)
            text += " BWI " + std::to_string(*t1.bwi) + (*t1.bwi > 9 ? " (reservado, RFU)" : "") + " CWI " +
                    std::to_string(*t1.cwi);
        if (t1.crc) text += *t1.crc ? " CRC" : " LRC";
        lines.push_back(text);
    }
    if (atr.t15.clockStop || atr.t15.spu) {
        std::string text = "T=15:";
        if (atr.t15.clockStop)
            text += std::string(" ") + clockStopText(*atr.t15.clockStop) + ", " + classesText(*atr.t15.classes);
        if (atr.t15.spu)
            text += (atr.t15.clockStop ? "; " : " ") + std::string("SPU ") + hex2(*atr.t15.spu) +
                    (*atr.t15.spu == 0       ? " (sin uso)"
                     : (*atr.t15.spu & 0x80) ? " (uso propietario)"
                                             : " (uso normalizado)");
        lines.push_back(text);
    }
}

// TCK, what follows the ATR, and where it stopped.
void endLines(const Atr &atr, std::vector<std::string> &lines) {
    if (atr.tck.present) {
        lines.push_back("TCK " + hex2(atr.tck.value) +
                        (atr.tck.ok ? std::string(": correcto") : ": incorrecto, debería ser " + hex2(atr.tck.right)));
    } else if (!atr.tck.expected && atr.complete()) {
        lines.push_back("Sin TCK: solo se ofrece T=0");
    }
    if (!atr.trailing.empty()) lines.push_back("Bytes tras el ATR: " + spacedHex(atr.trailing));
    if (atr.stop)
        lines.push_back("Se detiene en el byte " + std::to_string(atr.stop->offset + 1) + ": " + atr.stop->reason);
}

}  // namespace

std::vector<std::string> describeAtr(const Atr &atr) {
    std::vector<std::string> lines;
    structureLines(atr, lines);
    globalLines(atr, lines);
    protocolLines(atr, lines);
    historicalLines(atr, lines);
    endLines(atr, lines);
    return lines;
}

std::vector<std::string> describeTlv(const TlvData &data) {
    std::vector<std::string> lines;
    tlvLines(data.objects, std::nullopt, "", lines);
    if (data.error)
        lines.push_back("Se detiene en el byte " + std::to_string(data.error->offset + 1) + ": " + data.error->reason);
    return lines;
}

}  // namespace kvr::decode
