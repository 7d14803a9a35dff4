#include "keyed_file/sqlite/creation_litter.h"

#include "keyed_file/sqlite/process_life.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace kvr::keyed::sqlite {

namespace {

// Windows takes either slash between a folder and its entries.
#ifdef _WIN32
constexpr const char *kSeparators = "/\\";
#else
constexpr const char *kSeparators = "/";
#endif

// Paths are UTF-8 on every platform (SQLite's own file names).
std::filesystem::path pathOf(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path &path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The process number of a temporary name of base ("BASE.new.123" or
// "BASE.rebuild.123", with or without "-journal"), or 0.
long ownerOf(std::string_view name, std::string_view base) {
    if (name.substr(0, base.size()) != base) return 0;
    name.remove_prefix(base.size());
    for (std::string_view purpose : {".new.", ".rebuild."}) {
        if (name.substr(0, purpose.size()) != purpose) continue;
        name.remove_prefix(purpose.size());
        if (name.size() > 8 && name.substr(name.size() - 8) == "-journal") name.remove_suffix(8);
        if (name.empty() || name.size() > 10 || name.find_first_not_of("0123456789") != std::string_view::npos)
            return 0;
        return std::strtol(std::string(name).c_str(), nullptr, 10);
    }
    return 0;
}

}  // namespace

std::string temporaryNameOf(const std::string &path, const char *purpose) {
    return path + "." + purpose + "." + std::to_string(currentProcessId());
}

void removeCreationLitter(const std::string &path) {
    const auto slash = path.find_last_of(kSeparators);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code failed;
    std::filesystem::directory_iterator entries(pathOf(folder), failed);
    if (failed) return;
    for (; !failed && entries != std::filesystem::directory_iterator(); entries.increment(failed)) {
        const long owner = ownerOf(utf8Of(entries->path().filename()), base);
        std::error_code ignored;
        if (owner != 0 && processGone(owner)) std::filesystem::remove(entries->path(), ignored);
    }
}

}  // namespace kvr::keyed::sqlite
