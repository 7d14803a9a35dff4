#include "junit_report.h"

#include "report.h"

#include "common/hex.h"

#include <cstdio>

namespace kvr::cli {

namespace {

// Text for an XML attribute or element, as above.
std::string xmlText(const std::string &text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            std::size_t length = 2;
            while (length <= 4 && !isUtf8(std::string_view(text).substr(at, length))) ++length;
            if (length <= 4 && at + length <= text.size()) {
                out.append(text, at, length);
                at += length;
            } else {
                out += "\\x" + common::hexByte(byte);
                ++at;
            }
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F)
                out += "\\x" + common::hexByte(byte);
            else
                out += c;
        }
        ++at;
    }
    return out;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

std::string junitReport(const std::string &suite, const std::vector<JunitCase> &cases) {
    int failures = 0, skipped = 0;
    double total = 0;
    for (const JunitCase &testCase : cases) {
        if (!testCase.ran) ++skipped;
        if (!testCase.failure.empty()) ++failures;
        total += testCase.seconds;
    }
    const std::string name = xmlText(suite);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    xml += "  <testsuite name=\"" + name + "\" tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
           std::to_string(failures) + "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" +
           seconds(total) + "\">\n";
    for (const JunitCase &testCase : cases) {
        xml += "    <testcase classname=\"" + name + "\" name=\"line " + std::to_string(testCase.line) + ": " +
               xmlText(testCase.command) + "\" time=\"" + seconds(testCase.seconds) + "\"";
        if (testCase.ran && testCase.failure.empty()) {
            xml += "/>\n";
            continue;
        }
        xml += ">\n";
        if (!testCase.ran) {
            xml += "      <skipped message=\"not run: the script stopped at an earlier failure\"/>\n";
        } else {
            const std::string message = xmlText(testCase.failure);
            xml += "      <failure message=\"" + message + "\">" + message + "</failure>\n";
        }
        xml += "    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace kvr::cli
