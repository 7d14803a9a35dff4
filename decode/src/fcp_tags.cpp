#include "decode/fcp_tags.h"

#include "decode/historical_bytes.h"

namespace kvr::decode {

namespace {

bool isTemplate(std::optional<uint32_t> tag) { return tag == 0x62 || tag == 0x64 || tag == 0x6F; }

// A big-endian number of at most four bytes.
std::optional<unsigned long> number(std::span<const uint8_t> value) {
    if (value.empty() || value.size() > 4) return std::nullopt;
    unsigned long n = 0;
    for (const uint8_t byte : value) n = n << 8 | byte;
    return n;
}

bool allPrintable(std::span<const uint8_t> value) {
    if (value.empty()) return false;
    for (const uint8_t byte : value)
        if (byte < 0x20 || byte >= 0x7F) return false;
    return true;
}

// The value in quotes when it is all printable characters, else empty.
std::string quotedText(std::span<const uint8_t> value) {
    if (!allPrintable(value)) return {};
    std::string text(1, '"');
    text += printableText(value);
    text += '"';
    return text;
}

const char *kindText(FileDescriptor::Kind kind) {
    switch (kind) {
    case FileDescriptor::Kind::WorkingEf: return "EF de trabajo";
    case FileDescriptor::Kind::InternalEf: return "EF interno";
    case FileDescriptor::Kind::ProprietaryEf: return "EF de tipo propietario";
    case FileDescriptor::Kind::Df: return "DF";
    case FileDescriptor::Kind::BerTlvEf: return "EF de estructura BER-TLV";
    case FileDescriptor::Kind::SimpleTlvEf: return "EF de estructura SIMPLE-TLV";
    case FileDescriptor::Kind::Rfu: break;
    }
    return "descriptor reservado (RFU)";
}

const char *structureText(FileDescriptor::Structure structure) {
    switch (structure) {
    case FileDescriptor::Structure::NoInformation: return "sin información de estructura";
    case FileDescriptor::Structure::Transparent: return "transparente";
    case FileDescriptor::Structure::LinearFixed: return "lineal fija";
    case FileDescriptor::Structure::LinearFixedTlv: return "lineal fija, TLV";
    case FileDescriptor::Structure::LinearVariable: return "lineal variable";
    case FileDescriptor::Structure::LinearVariableTlv: return "lineal variable, TLV";
    case FileDescriptor::Structure::Cyclic: return "cíclica";
    case FileDescriptor::Structure::CyclicTlv: return "cíclica, TLV";
    }
    return "";
}

std::string fileDescriptorText(const FileDescriptor &d) {
    std::string text = kindText(d.kind);
    if (d.structure) text += std::string(", ") + structureText(*d.structure);
    if (d.kind != FileDescriptor::Kind::Rfu) text += d.shareable ? ", compartible" : ", no compartible";
    if (d.dataCoding) {
        static const char kHex[] = "0123456789ABCDEF";
        text += std::string(", codificación de datos ") + kHex[*d.dataCoding >> 4] + kHex[*d.dataCoding & 0x0F];
    }
    if (d.maxRecordSize) text += ", registros de hasta " + std::to_string(*d.maxRecordSize) + " bytes";
    if (d.records) text += ", " + std::to_string(*d.records) + " registros";
    return text;
}

}  // namespace

const char *tlvTagName(uint32_t tag, std::optional<uint32_t> parent) {
    switch (tag) {
    case 0x4F: return "Identificador de aplicación (AID)";
    case 0x50: return "Etiqueta de aplicación";
    case 0x5F2D: return "Idiomas preferidos";
    case 0x61: return "Plantilla de aplicación";
    case 0x62: return "Plantilla FCP";
    case 0x64: return "Plantilla FMD";
    case 0x6F: return "Plantilla FCI";
    default: break;
    }
    if (!isTemplate(parent)) return "";
    switch (tag) {
    case 0x80: return "Bytes de datos del fichero";
    case 0x81: return "Bytes del fichero con su información estructural";
    case 0x82: return "Descriptor de fichero";
    case 0x83: return "Identificador de fichero";
    case 0x84: return "Nombre de DF";
    case 0x85: return "Información propietaria";
    case 0x86: return "Atributos de seguridad (formato propietario)";
    case 0x87: return "Identificador del EF con la extensión de FCI";
    case 0x88: return "Identificador corto de EF";
    case 0x8A: return "Estado del ciclo de vida";
    case 0x8B: return "Atributos de seguridad (referencia al formato expandido)";
    case 0x8C: return "Atributos de seguridad (formato compacto)";
    case 0x8D: return "Identificador del EF con las plantillas de entorno de seguridad";
    case 0x8E: return "Atributo de seguridad del canal";
    case 0xA0: return "Plantilla de atributos de seguridad de objetos de datos";
    case 0xA1: return "Plantilla de atributos de seguridad (formato propietario)";
    case 0xA2: return "Plantilla de pares de referencias";
    case 0xA5: return "Información propietaria (BER-TLV)";
    case 0xAB: return "Plantilla de atributos de seguridad (formato expandido)";
    case 0xAC: return "Plantilla de identificadores de mecanismos criptográficos";
    default: return "";
    }
}

std::optional<FileDescriptor> decodeFileDescriptor(std::span<const uint8_t> value) {
    if (value.empty() || value.size() > 6) return std::nullopt;
    const uint8_t fdb = value[0];
    FileDescriptor d;
    if (fdb & 0x80) {
        d.kind = FileDescriptor::Kind::Rfu;  // bit 8 set: RFU
    } else {
        d.shareable = (fdb & 0x40) != 0;
        const unsigned low = fdb & 0x3F;
        const unsigned type = low >> 3;
        if (low == 0x38) {
            d.kind = FileDescriptor::Kind::Df;
        } else if (low == 0x39) {
            d.kind = FileDescriptor::Kind::BerTlvEf;
        } else if (low == 0x3A) {
            d.kind = FileDescriptor::Kind::SimpleTlvEf;
        } else if (type == 7) {
            d.kind = FileDescriptor::Kind::Rfu;
        } else {
            d.kind = type == 0   ? FileDescriptor::Kind::WorkingEf
                     : type == 1 ? FileDescriptor::Kind::InternalEf
                                 : FileDescriptor::Kind::ProprietaryEf;
            d.structure = static_cast<FileDescriptor::Structure>(fdb & 0x07);
        }
    }
    if (value.size() >= 2) d.dataCoding = value[1];
    if (value.size() == 3) d.maxRecordSize = value[2];
    if (value.size() >= 4) d.maxRecordSize = static_cast<unsigned>(value[2] << 8 | value[3]);
    if (value.size() == 5) d.records = value[4];
    if (value.size() == 6) d.records = static_cast<unsigned>(value[4] << 8 | value[5]);
    return d;
}

std::string lifeCycleStatusText(uint8_t lcs) {
    if (lcs >= 0x10) return "propietario";
    switch (lcs) {
    case 0x00: return "sin información";
    case 0x01: return "creación";
    case 0x03: return "inicialización";
    case 0x05:
    case 0x07: return "operativo, activado";
    case 0x04:
    case 0x06: return "operativo, desactivado";
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F: return "terminación";
    default: return "reservado (RFU)";
    }
}

std::string tlvValueMeaning(uint32_t tag, std::optional<uint32_t> parent, std::span<const uint8_t> value) {
    if (tag == 0x50 || tag == 0x5F2D) return quotedText(value);
    if (!isTemplate(parent)) return "";
    switch (tag) {
    case 0x80:
    case 0x81:
        if (const auto n = number(value)) return std::to_string(*n) + " bytes";
        return "";
    case 0x82:
        if (const auto d = decodeFileDescriptor(value)) return fileDescriptorText(*d);
        return "";
    case 0x84: return quotedText(value);
    case 0x88:
        if (value.empty()) return "sin identificador corto";
        if (value.size() == 1 && (value[0] & 0x07) == 0) return "SFI " + std::to_string(value[0] >> 3);
        return "";
    case 0x8A: return value.size() == 1 ? lifeCycleStatusText(value[0]) : "";
    default: return "";
    }
}

}  // namespace kvr::decode
