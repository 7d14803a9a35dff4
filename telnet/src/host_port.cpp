#include "telnet/host_port.h"

namespace kvr7x::telnet {

bool splitHostPort(const std::string &text, std::string &host, uint16_t &port, PortZero zero) {
    std::string name;
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        name = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        // A bare IPv6 address would make the port ambiguous.
        const auto colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        name = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (name.find(':') != std::string::npos) return false;
    }
    if (name.empty() || portText.empty() || portText.size() > 5) return false;
    unsigned value = 0;
    for (char c : portText) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535 || (value == 0 && zero == PortZero::Refused)) return false;
    host = std::move(name);
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace kvr7x::telnet
