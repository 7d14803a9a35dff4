#include "library/update_commands.h"

#include "runtime/key_code.h"
#include "runtime/settings_file.h"
#include "runtime/toolkit.h"
#include "runtime/western_text.h"
#include "runtime/window.h"

#include <array>
#include <memory>

namespace kvr::library {

namespace {

constexpr const char *kSection = "UpdateCommands";
constexpr std::uint32_t kDittoKey = runtime::KeyCtrl | 0x44;  // Ctrl+D
constexpr int kHotKeyPositions = 13;
// An entry of "n-13" at its default width: 13 characters and the frame.
constexpr int kHotKeyWidth = 4 * kHotKeyPositions + 4;

runtime::WindowDefinition formDefinition() {
    runtime::WindowDefinition d;
    d.name = "UPDATECOMMANDS$QUICKWINDOW";
    d.title = "Actualización de Comandos";
    d.fontFace = "Fixedsys";
    d.clientSize = runtime::Size{358, 165};
    d.resizable = true;
    d.statusBar = true;
    d.statusZones = 2;
    return d;
}

// The ten entries: prompt, control name, place and size in dialog units,
// characters (the picture's width).
struct EntryPlace {
    FormField field;
    const char *prompt;
    const char *name;
    int y;
    int width;
    int characters;
};
constexpr std::array<EntryPlace, kFormFields> kEntries{{
    {FormField::Card, "Tarjeta:", "card", 5, 44, 10},
    {FormField::Name, "Comando:", "name", 33, 124, 30},
    {FormField::Code, "Cod:", "code", 47, 40, 2},
    {FormField::Cla, "Cla:", "cla", 61, 40, 2},
    {FormField::Ins, "Ins:", "ins", 75, 40, 2},
    {FormField::P1, "P1:", "p1", 89, 40, 2},
    {FormField::P2, "P2:", "p2", 103, 40, 2},
    {FormField::P3, "P3:", "p3", 117, 40, 2},
    {FormField::Data, "Data:", "data", 131, 289, 128},
    {FormField::HotKey, "Hot Key:", "hotKey", 145, kHotKeyWidth, kHotKeyPositions},
}};
constexpr int kPromptX = 4;
constexpr int kEntryX = 57;
constexpr int kEntryHeight = 10;

// The key code without the lock states.
constexpr std::uint32_t kLockStates =
    runtime::KeyCapsLock | runtime::KeyNumLock | runtime::KeyScrollLock | runtime::KeyInsertMode;

class UpdateCommandsWindow : public runtime::WindowEvents {
public:
    UpdateCommandsWindow(runtime::UserInteraction &interaction, CommandForm &form, runtime::Window *parent)
        : window_(interaction.toolkit().makeWindow(formDefinition(), interaction, *this, parent)),
          toolkit_(interaction.toolkit()), form_(form) {
        for (std::size_t i = 0; i < kEntries.size(); ++i) addEntry(i);
        keyName_ =
            &window_->addLabel({.name = "hotKeyName", .place = {kEntryX + kHotKeyWidth + 4, 145, 120, kEntryHeight}});
        runtime::Button &ok = window_->addButton({.name = "ok", .text = "OK", .place = {256, 149, 45, 14}});
        ok.onPressed([this] { okPressed(); });
        runtime::Button &cancel =
            window_->addButton({.name = "cancel", .text = "Cancelar", .place = {305, 149, 45, 14}});
        cancel.onPressed([this] {
            form_.cancel();
            window_->requestClose();
        });
        // As in a dialog: Enter presses OK (or the button that has the
        // focus), Escape presses "Cancelar".  A key the hot-key entry
        // captures never gets there.
        window_->setDialogButtons(&ok, &cancel);
        showRecord();
    }

    void run() { window_->run(); }

    void opened() override {
        window_->keepAtLeastCurrentSize();
        window_->restorePlace(kSection, runtime::kSettingsFile);
        showRecord();
        texts_[0]->focus();
    }

    void closing() override { window_->storePlace(kSection, runtime::kSettingsFile); }

private:
    void addEntry(std::size_t i) {
        const EntryPlace &entry = kEntries[i];
        window_->addLabel({.text = entry.prompt, .place = {kPromptX, entry.y, 0, 0}});
        const runtime::Rect place{kEntryX, entry.y, entry.width, kEntryHeight};
        const FormField which = entry.field;
        runtime::Control *control;
        if (which == FormField::HotKey) {
            hotKey_ = &window_->addNumberField({.name = entry.name, .place = place, .positions = entry.characters});
            hotKey_->onRefused([this] { hotKey_->focus(); });
            hotKey_->onEdited([this] {
                if (auto code = hotKey_->value()) form_.setHotKey(*code);
                showKeyName();
            });
            hotKey_->onFocused([this](bool byOperator) { hotKeyFocused(byOperator); });
            control = hotKey_;
        } else {
            runtime::EntryField &text =
                window_->addEntryField({.name = entry.name, .place = place, .maxLength = entry.characters});
            text.onRefused([&text] { text.focus(); });
            text.onEdited([this, which](const std::string &typed) {
                form_.setText(which, runtime::westernFromUtf8(typed));
                window_->setStatus(form_.notice(), 0);
            });
            texts_[i] = &text;
            control = &text;
        }
        control->onKey([this, which](std::uint32_t code) { return keyPressed(which, code); });
    }

    bool keyPressed(FormField field, std::uint32_t code) {
        // A key press that was already waiting when the focus arrived in
        // "Hot Key:" is taken as the hot key, and goes no further (a digit
        // typed ahead would otherwise be typed after its own code).
        if (field == FormField::HotKey && capturing_) {
            capturing_ = false;
            form_.hotKeyEntered(code);
            showRecord();
            return true;
        }
        if ((code & ~kLockStates) == kDittoKey) {
            form_.ditto(field);
            showRecord();
            return true;
        }
        return false;
    }

    // The operator entered "Hot Key:" (not the program putting the focus
    // back, nor the window being activated again): a key press waiting
    // behind the one that moved the focus is the hot key; without one the
    // entry keeps its value.
    void hotKeyFocused(bool byOperator) {
        if (!byOperator) return;
        capturing_ = true;
        window_->afterWaitingInput([this] { capturing_ = false; });
    }

    // Every entry has passed its picture by now: the entries refuse, key by
    // key, what their pictures do not allow.
    void okPressed() {
        if (form_.save() == AfterSave::Close) {
            window_->requestClose();
            return;
        }
        showRecord();
        texts_[0]->focus();
    }

    void showRecord() {
        for (std::size_t i = 0; i < kEntries.size(); ++i) {
            if (!texts_[i]) continue;
            const std::string shown = runtime::utf8FromWestern(form_.text(kEntries[i].field));
            if (texts_[i]->text() != shown) texts_[i]->setText(shown);
        }
        hotKey_->setValue(form_.record().hotKey);
        showKeyName();
        window_->setStatus(form_.notice(), 0);
        window_->setStatus(form_.actionMessage(), 1);
    }

    void showKeyName() {
        const auto code = hotKey_->value();
        keyName_->setText(code ? toolkit_.keyName(static_cast<std::uint32_t>(*code)) : std::string());
    }

    std::unique_ptr<runtime::Window> window_;
    runtime::Toolkit &toolkit_;
    CommandForm &form_;
    std::array<runtime::EntryField *, kFormFields> texts_{};
    runtime::NumberField *hotKey_ = nullptr;
    runtime::Label *keyName_ = nullptr;
    bool capturing_ = false;
};

}  // namespace

std::int32_t updateCommands(runtime::UserInteraction &interaction, CommandsLibrary &library, runtime::Window *parent) {
    CommandForm form(library);
    if (!form.opensWindow()) {
        form.runDelete();
        return form.finish();
    }
    UpdateCommandsWindow window(interaction, form, parent);
    window.run();
    return form.finish();
}

}  // namespace kvr::library
