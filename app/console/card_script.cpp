#include "console/card_script.h"

namespace kvr::cli {

std::optional<std::vector<ScriptLine>> parseScript(std::string_view text, std::string_view name, std::string &error) {
    std::vector<ScriptLine> lines;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        const std::vector<std::string> words = splitWords(line);
        if (words.empty()) continue;
        std::string reason;
        const auto command = parseReaderCommand(words, reason);
        if (!command) {
            error = std::string(name) + ":" + std::to_string(number) + ": " + reason;
            return std::nullopt;
        }
        std::string written;
        for (const std::string &word : words) written += (written.empty() ? "" : " ") + word;
        lines.push_back({number, written, *command});
    }
    return lines;
}

}  // namespace kvr::cli
