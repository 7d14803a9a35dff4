#include "runtime/profile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text.h"
#include "common/user_file.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace kvr::runtime {

namespace {

// Larger files are not settings files of this program.
constexpr qint64 kMaxFileSize = 1 << 20;

// Editors that save UTF-8 may put a byte-order mark before the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Unreadable files moved aside: FILE.bad (the latest), FILE.bad.1, ...
constexpr int kKeptBackups = 3;

// One line of the file as it stands, without its line end.
struct Line {
    std::string text;
    // "\n", "\r\n" or "" for a last line without one; always one of these
    // literals, so a view of it never dangles.
    std::string_view end;
};

using common::trimBlanks;

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// The name of a section header line ("[Name]"), or nothing.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return trimBlanks(line.substr(1));
    return trimBlanks(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    line = trimBlanks(line);
    return !line.empty() && line.front() == ';';
}

// The key of a "key=value" line, or nothing.
std::optional<std::string_view> keyOf(std::string_view line) {
    if (isComment(line) || sectionName(line)) return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return trimBlanks(line.substr(0, equals));
}

std::string valueOf(std::string_view line) {
    std::string_view value = trimBlanks(line.substr(line.find('=') + 1));
    // A value in matching quotes is read without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

enum class Content { Missing, Text, Unusable };

struct FileText {
    Content content = Content::Missing;
    QByteArray bytes;
};

// Reads the whole file in one access.  Binary data (a zero byte) or an
// absurd size make it unusable.  Opened without waiting and looked at
// before a byte is read: a directory, a FIFO or a device in its place is no
// settings file, and reading a FIFO could wait for ever.
FileText load(const QString &path) {
    FileText result;
    const common::UserFile file = common::openUserFile(path.toStdString(), common::FileUse::Read);
    if (!file.fd && file.refusal == common::Refusal::System && (file.error == ENOENT || file.error == ENOTDIR))
        return result;
    result.content = Content::Unusable;
    struct stat st {};
    if (!file.fd || ::fstat(file.fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize)
        return result;
    char buffer[16384];
    while (result.bytes.size() <= kMaxFileSize) {
        const ssize_t n = ::read(file.fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return result;
        if (n == 0) break;
        result.bytes.append(buffer, static_cast<qsizetype>(n));
    }
    if (result.bytes.size() > kMaxFileSize || result.bytes.contains('\0')) return result;
    result.content = Content::Text;
    return result;
}

// The text after a byte-order mark, if the file starts with one.
std::string_view withoutByteOrderMark(const QByteArray &bytes) {
    std::string_view text(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    return text;
}

std::vector<Line> split(std::string_view rest) {
    std::vector<Line> lines;
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        std::string_view text = rest.substr(0, newline);
        Line line;
        if (newline == std::string_view::npos) {
            rest = {};
        } else {
            rest.remove_prefix(newline + 1);
            line.end = "\n";
            if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
                line.end = "\r\n";
            }
        }
        line.text = std::string(text);
        lines.push_back(std::move(line));
    }
    return lines;
}

// Section, key and value must not break the line structure of the file.
bool writable(const std::string &section, const std::string &key, const std::string &value) {
    const auto hasLineBreak = [](const std::string &s) { return s.find_first_of("\r\n") != std::string::npos; };
    if (trimBlanks(section).empty() || trimBlanks(key).empty()) return false;
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return false;
    if (trimBlanks(key).front() == '[' || trimBlanks(key).front() == ';') return false;
    return true;
}

QString backupName(const QString &path, int generation) {
    return path + QStringLiteral(".bad") + (generation == 0 ? QString() : QStringLiteral(".%1").arg(generation));
}

// Moves an unreadable file aside as FILE.bad; earlier ones move on to
// FILE.bad.1 and so on, and the oldest beyond kKeptBackups is dropped.
bool moveAside(const QString &path) {
    QFile::remove(backupName(path, kKeptBackups - 1));
    for (int generation = kKeptBackups - 2; generation >= 0; --generation)
        if (QFileInfo::exists(backupName(path, generation)))
            QFile::rename(backupName(path, generation), backupName(path, generation + 1));
    // A backup name still taken (by a folder, say) keeps this one in place.
    return QFile::rename(path, backupName(path, 0));
}

std::string homeFolder() {
    if (const char *home = std::getenv("HOME"); home && *home) return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return ".";
}

}  // namespace

std::string settingsFolder() {
    const char *config = std::getenv("XDG_CONFIG_HOME");
    // Relative paths in XDG_CONFIG_HOME are to be ignored.
    const std::string base = config && config[0] == '/' ? std::string(config) : homeFolder() + "/.config";
    return base + "/kvrman1";
}

std::string profilePath(const std::string &file) {
    if (file.find('/') != std::string::npos) return file;
    return settingsFolder() + "/" + file;
}

std::string readProfileString(const std::string &section, const std::string &key, const std::string &defaultValue,
                              const std::string &file) {
    const FileText text = load(QString::fromStdString(profilePath(file)));
    if (text.content != Content::Text) return defaultValue;
    bool inSection = false;
    for (const Line &line : split(withoutByteOrderMark(text.bytes))) {
        if (const auto name = sectionName(line.text)) {
            // Only the first section of a name counts.
            if (inSection) break;
            inSection = equalNoCase(*name, trimBlanks(section));
            continue;
        }
        if (!inSection) continue;
        if (const auto lineKey = keyOf(line.text); lineKey && equalNoCase(*lineKey, trimBlanks(key)))
            return valueOf(line.text);
    }
    return defaultValue;
}

namespace {

// Where a section is in a file's lines, where its last setting is, and the
// line of a key in it.
struct SettingPlace {
    std::optional<size_t> header, lastInSection, keyLine;
};

SettingPlace findSetting(const std::vector<Line> &lines, std::string_view section, std::string_view key) {
    SettingPlace place;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i].text)) {
            if (place.header) break;
            if (equalNoCase(*name, section)) {
                place.header = i;
                place.lastInSection = i;
            }
            continue;
        }
        if (!place.header) continue;
        if (!trimBlanks(lines[i].text).empty()) place.lastInSection = i;
        if (const auto lineKey = keyOf(lines[i].text); lineKey && equalNoCase(*lineKey, key)) {
            place.keyLine = i;
            break;
        }
    }
    return place;
}

// Sets key to value in the lines: in its own line where it has one (which
// keeps its spelling and place), else at the end of its section, else in a
// new section at the end.
void putSetting(std::vector<Line> &lines, const SettingPlace &place, const std::string &section, const std::string &key,
                const std::string &value, std::string_view newline) {
    if (place.keyLine) {
        lines[*place.keyLine].text = std::string(*keyOf(lines[*place.keyLine].text)) + "=" + value;
        return;
    }
    Line setting{key + "=" + value, newline};
    if (place.header) {
        // After the section's last line, which may have been the file's last
        // line without a line end.
        if (lines[*place.lastInSection].end.empty()) lines[*place.lastInSection].end = newline;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*place.lastInSection + 1), setting);
        return;
    }
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = newline;
    if (!lines.empty() && !trimBlanks(lines.back().text).empty()) lines.push_back({"", newline});
    lines.push_back({"[" + section + "]", newline});
    lines.push_back(setting);
}

// The file as it is to be rewritten: a file that is no settings file is
// moved aside and a new one started; nothing when that cannot be done.
std::optional<FileText> loadForWriting(const QString &path) {
    FileText text = load(path);
    if (text.content != Content::Unusable) return text;
    const QFileInfo existing(path);
    if (!existing.isFile() || !existing.isReadable()) return std::nullopt;
    if (!moveAside(path)) return std::nullopt;
    return FileText{};
}

// Replaces the file with the byte-order mark (if any) and the lines, all or
// nothing.
bool saveLines(const QString &path, std::string_view mark, const std::vector<Line> &lines) {
    QByteArray bytes(mark.data(), static_cast<qsizetype>(mark.size()));
    for (const Line &line : lines) {
        bytes.append(line.text.data(), static_cast<qsizetype>(line.text.size()));
        bytes.append(line.end.data(), static_cast<qsizetype>(line.end.size()));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

}  // namespace

bool writeProfileString(const std::string &section, const std::string &key, const std::string &value,
                        const std::string &file) {
    if (!writable(section, key, value)) return false;
    const QString path = QString::fromStdString(profilePath(file));
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return false;

    // One writer at a time, across processes.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(2000)) return false;

    const std::optional<FileText> text = loadForWriting(path);
    if (!text) return false;
    // A byte-order mark stays where it is, before the first line.
    const std::string_view body = withoutByteOrderMark(text->bytes);
    const std::string_view mark(text->bytes.constData(), static_cast<size_t>(text->bytes.size()) - body.size());
    std::vector<Line> lines = split(body);
    const std::string_view newline = !lines.empty() && lines.front().end == "\r\n" ? "\r\n" : "\n";
    const std::string wantedSection(trimBlanks(section));
    const std::string wantedKey(trimBlanks(key));
    putSetting(lines, findSetting(lines, wantedSection, wantedKey), wantedSection, wantedKey, value, newline);
    return saveLines(path, mark, lines);
}

}  // namespace kvr::runtime
