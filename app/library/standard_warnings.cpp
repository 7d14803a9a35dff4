#include "library/standard_warnings.h"

#include "common/text.h"

#include "keyed_file/keyed_file.h"
#include "runtime/message_box.h"

#include <cstdlib>

namespace kvr::library {

namespace {

std::string withoutTrailingSpaces(std::string_view text) { return std::string(common::trimRight(text)); }

std::string firstCharacters(const std::string &text, std::size_t count) {
    return std::string(common::utf8Prefix(text, count));
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::int32_t numberOf(const std::string &text) {
    return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

struct Inserts {
    std::string e, t1, t2;
};

// The text with its inserts filled in.
std::string filled(std::string_view text, const Inserts &inserts) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t open = text.find('{', at);
        out.append(text.substr(at, open - at));
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find('}', open);
        const std::string_view name = text.substr(open + 1, close - open - 1);
        if (name == "E")
            out += inserts.e;
        else if (name == "T1")
            out += inserts.t1;
        else if (name == "T2")
            out += inserts.t2;
        else if (name == "t1")
            out += lower(inserts.t1);
        at = close + 1;
    }
    return out;
}

bool secondWording(Rewording when, const Inserts &inserts, std::int32_t rememberedCode) {
    switch (when) {
    case Rewording::None: return false;
    case Rewording::WhenT1IsNotDown: return inserts.t1 != "Down";
    case Rewording::WhenT1IsNotPut: return inserts.t1 != "Put";
    case Rewording::WhenNoErrorOrChanged: return rememberedCode == 0 || rememberedCode == keyed::KeyedChanged;
    }
    return false;
}

}  // namespace

// The error description E; empties the saved error.
std::string Warnings::errorDescription(const keyed::KeyedError &error) {
    std::string e;
    if (saved_.code != 0) {
        if (saved_.code == keyed::KeyedSystemError)
            e = withoutTrailingSpaces(saved_.driverText) + " (" + std::to_string(saved_.driverCode) + ")";
        else
            e = withoutTrailingSpaces(saved_.text) + " (" + std::to_string(saved_.code) + ")";
        remembered_ = saved_.code;
    } else {
        const int code = error.code;
        if (code == keyed::KeyedSystemError)
            e = withoutTrailingSpaces(error.driverText) + " (" + std::to_string(numberOf(error.driverCode)) + ")";
        else
            e = withoutTrailingSpaces(error.text()) + " (" + std::to_string(code) + ")";
        remembered_ = code;
    }
    saved_ = SavedFileError{};
    return firstCharacters(e, 150);
}

// Shows the warning's box and returns the button pressed.
int Warnings::box(const WarningEntry &entry, const keyed::KeyedError &error, std::string_view t1, std::string_view t2) {
    const Inserts inserts{errorDescription(error), withoutTrailingSpaces(t1), withoutTrailingSpaces(t2)};
    const bool other = secondWording(entry.reworded, inserts, remembered_);
    std::string text = filled(other ? entry.otherText : entry.text, inserts);
    return runtime::showMessageBox(
        interaction_, {std::move(text), std::string(other ? entry.otherCaption : entry.caption), entry.icon,
                       entry.buttons, entry.defaultButton});
}

void Warnings::tell(Told warning, std::string_view t1, std::string_view t2) { tell(warning, {}, t1, t2); }

void Warnings::tell(Told warning, const keyed::KeyedError &error, std::string_view t1, std::string_view t2) {
    box(warningEntry(warning.warning), error, t1, t2);
}

int Warnings::ask(Asked warning, std::string_view t1, std::string_view t2) { return ask(warning, {}, t1, t2); }

int Warnings::ask(Asked warning, const keyed::KeyedError &error, std::string_view t1, std::string_view t2) {
    const WarningEntry &entry = warningEntry(warning.warning);
    const int answer = box(entry, error, t1, t2);
    if (entry.ends == WarningEnd::WhenAnsweredNo && answer == runtime::ButtonNo)
        runtime::endProgram(interaction_, std::string(entry.endText));
    return answer;
}

void Warnings::halt(Fatal warning, const keyed::KeyedError &error, std::string_view t1, std::string_view t2) {
    const WarningEntry &entry = warningEntry(warning.warning);
    box(entry, error, t1, t2);
    runtime::endProgram(interaction_, std::string(entry.endText));
}

void Warnings::saveError(const keyed::KeyedError &error) {
    saved_.code = error.code;
    saved_.text = firstCharacters(error.text(), 255);
    saved_.driverCode = numberOf(error.driverCode);
    saved_.driverText = firstCharacters(error.driverText, 255);
}

void Warnings::saveFileError(keyed::KeyedFile &file) {
    saveError(file.lastError());
    // The warning reports the error kept above, not how the rollback went.
    if (file.inTransaction()) (void)file.rollback();
}

}  // namespace kvr::library
