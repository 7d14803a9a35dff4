#include "library/update_commands.h"

#include "runtime/qt/entry_field.h"
#include "runtime/qt/key_code.h"
#include "runtime/qt/number_field.h"
#include "runtime/settings_file.h"
#include "runtime/qt/western_text.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <array>

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

// A key press that was already waiting when the focus arrived in "Hot
// Key:" is taken as the hot key when it reaches the entry, and goes no
// further (a digit typed ahead would otherwise be typed after its own code);
// this event, posted behind such presses when the focus arrives, ends the
// wait for them.
const QEvent::Type kCaptureEnd = QEvent::Type(QEvent::registerEventType());

class UpdateCommandsWindow : public runtime::qt::Window {
public:
    UpdateCommandsWindow(runtime::UserInteraction &interaction, CommandForm &form, QWidget *parent)
        : runtime::qt::Window(formDefinition(), interaction, parent), form_(form) {
        for (std::size_t i = 0; i < kEntries.size(); ++i) {
            const EntryPlace &entry = kEntries[i];
            place(new QLabel(QString::fromUtf8(entry.prompt), client()), kPromptX, entry.y);
            QLineEdit *field;
            if (entry.field == FormField::HotKey) {
                hotKey_ = new runtime::qt::NumberField(entry.characters, client());
                connect(hotKey_, &runtime::qt::NumberField::refused, hotKey_, [this] { hotKey_->setFocus(); });
                connect(hotKey_, &QLineEdit::textEdited, this, [this] {
                    if (auto code = hotKey_->value()) form_.setHotKey(*code);
                    showKeyName();
                });
                field = hotKey_;
            } else {
                auto *text = new runtime::qt::EntryField(entry.characters, client());
                connect(text, &runtime::qt::EntryField::refused, text, [text] { text->setFocus(); });
                const FormField which = entry.field;
                connect(text, &QLineEdit::textEdited, this, [this, which](const QString &typed) {
                    form_.setText(which, runtime::qt::toWesternLossy(typed));
                    setStatusText(QString::fromUtf8(form_.notice()), 0);
                });
                field = text;
            }
            field->setObjectName(entry.name);
            field->installEventFilter(this);
            place(field, kEntryX, entry.y, entry.width, kEntryHeight);
            entries_[i] = field;
        }
        keyName_ = new QLabel(client());
        keyName_->setObjectName("hotKeyName");
        keyName_->setTextFormat(Qt::PlainText);
        place(keyName_, kEntryX + kHotKeyWidth + 4, 145, 120, kEntryHeight);

        ok_ = new QPushButton("OK", client());
        ok_->setObjectName("ok");
        place(ok_, 256, 149, 45, 14);
        connect(ok_, &QPushButton::clicked, this, [this] { okPressed(); });
        cancel_ = new QPushButton("Cancelar", client());
        cancel_->setObjectName("cancel");
        place(cancel_, 305, 149, 45, 14);
        connect(cancel_, &QPushButton::clicked, this, [this] {
            form_.cancel();
            close();
        });
        showRecord();
    }

protected:
    void opened() override {
        setMinimumSize(size());
        runtime::qt::restoreWindowPosition(this, kSection, runtime::kSettingsFile);
        showRecord();
        entries_[0]->setFocus(Qt::OtherFocusReason);
    }

    void closing() override { runtime::qt::storeWindowPosition(this, kSection, runtime::kSettingsFile); }

    // As in a dialog: Enter presses OK (or the button that has the focus),
    // Escape presses "Cancelar".  A key the hot-key entry captures never
    // gets here.
    void keyPressEvent(QKeyEvent *event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && event->key() == Qt::Key_Escape) {
            cancel_->click();
            return;
        }
        if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !qobject_cast<QPushButton *>(focusWidget())) {
            ok_->click();
            return;
        }
        runtime::qt::Window::keyPressEvent(event);
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == hotKey_) {
            if (event->type() == kCaptureEnd) {
                capturing_ = false;
                return true;
            }
            if (event->type() == QEvent::FocusIn) hotKeyFocused(static_cast<QFocusEvent &>(*event).reason());
            if (event->type() == QEvent::KeyPress && capturing_) {
                auto &press = static_cast<QKeyEvent &>(*event);
                if (auto code = runtime::qt::keyCodeFromEvent(press)) {
                    capturing_ = false;
                    form_.hotKeyEntered(*code | runtime::qt::keyLockStates(press));
                    showRecord();
                    return true;
                }
            }
        }
        if (event->type() == QEvent::KeyPress) {
            if (runtime::qt::keyCodeFromEvent(static_cast<QKeyEvent &>(*event)) == kDittoKey) {
                for (std::size_t i = 0; i < kEntries.size(); ++i) {
                    if (entries_[i] != watched) continue;
                    form_.ditto(kEntries[i].field);
                    showRecord();
                    return true;
                }
            }
        }
        return runtime::qt::Window::eventFilter(watched, event);
    }

private:
    // The operator entered "Hot Key:" (not the program putting the focus
    // back, nor the window being activated again): a key press waiting
    // behind the one that moved the focus is the hot key; without one the
    // entry keeps its value.
    void hotKeyFocused(Qt::FocusReason reason) {
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason && reason != Qt::MouseFocusReason &&
            reason != Qt::ShortcutFocusReason)
            return;
        capturing_ = true;
        QCoreApplication::postEvent(hotKey_, new QEvent(kCaptureEnd), Qt::LowEventPriority);
    }

    // Every entry has passed its picture by now: the entries refuse, key by
    // key, what their pictures do not allow.
    void okPressed() {
        if (form_.save() == AfterSave::Close) {
            close();
            return;
        }
        showRecord();
        entries_[0]->setFocus(Qt::OtherFocusReason);
    }

    void showRecord() {
        for (std::size_t i = 0; i < kEntries.size(); ++i) {
            if (kEntries[i].field == FormField::HotKey) continue;
            const QString shown = runtime::qt::fromWestern(form_.text(kEntries[i].field));
            if (entries_[i]->text() != shown) entries_[i]->setText(shown);
        }
        hotKey_->setValue(form_.record().hotKey);
        showKeyName();
        setStatusText(QString::fromUtf8(form_.notice()), 0);
        setStatusText(QString::fromUtf8(form_.actionMessage()), 1);
    }

    void showKeyName() {
        const auto code = hotKey_->value();
        keyName_->setText(code ? runtime::qt::keyCodeName(static_cast<std::uint32_t>(*code)) : QString());
    }

    CommandForm &form_;
    std::array<QLineEdit *, kFormFields> entries_{};
    runtime::qt::NumberField *hotKey_ = nullptr;
    QLabel *keyName_ = nullptr;
    QPushButton *ok_ = nullptr;
    QPushButton *cancel_ = nullptr;
    bool capturing_ = false;
};

}  // namespace

std::int32_t updateCommands(runtime::UserInteraction &interaction, CommandsLibrary &library, QWidget *parent) {
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
