#include "runtime/qt/entry_field.h"

#include "runtime/qt/western_text.h"

#include <QApplication>
#include <QAction>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QMenu>
#include <QValidator>

namespace kvr::runtime::qt {

namespace {

// Upper case letter by letter, so that a letter whose capital the code page
// lacks stays as typed.
void toUpperWestern(QString &text) {
    for (QChar &c : text) {
        const QChar upper = c.toUpper();
        if (upper != c && isWestern(upper)) c = upper;
    }
}

}  // namespace

// Accepts only text the Western code page can hold and the field's rule
// allows, upper-casing it first when the field asks for upper case.
class EntryField::Validator : public QValidator {
public:
    Validator(EntryField *field) : QValidator(field), field_(field) {}

    State validate(QString &input, int &) const override {
        if (field_->upperCase() && field_->operatorEntry_ > 0) toUpperWestern(input);
        if (isWestern(input) && (!field_->rule_ || field_->rule_(input))) return Acceptable;
        QApplication::beep();
        emit field_->refused();
        return Invalid;
    }

private:
    EntryField *field_;
};

// Marks the span of one entry by the operator.
class EntryField::OperatorEntry {
public:
    explicit OperatorEntry(EntryField *field) : field_(field) { ++field_->operatorEntry_; }
    ~OperatorEntry() { --field_->operatorEntry_; }
    OperatorEntry(const OperatorEntry &) = delete;
    OperatorEntry &operator=(const OperatorEntry &) = delete;

private:
    EntryField *field_;
};

void EntryField::keyPressEvent(QKeyEvent *event) {
    OperatorEntry entry(this);
    QLineEdit::keyPressEvent(event);
}

void EntryField::inputMethodEvent(QInputMethodEvent *event) {
    OperatorEntry entry(this);
    QLineEdit::inputMethodEvent(event);
}

void EntryField::dropEvent(QDropEvent *event) {
    OperatorEntry entry(this);
    QLineEdit::dropEvent(event);
}

void EntryField::mouseReleaseEvent(QMouseEvent *event) {
    OperatorEntry entry(this);
    QLineEdit::mouseReleaseEvent(event);
}

void EntryField::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu();
    // The menu's Paste runs after this event is over: make it the
    // operator's paste.  (Qt connects it by name in some versions and by
    // member pointer in others.)
    for (QAction *action : menu->actions()) {
        const bool isPaste = disconnect(action, &QAction::triggered, this, &QLineEdit::paste) ||
                             disconnect(action, SIGNAL(triggered()), this, SLOT(paste()));
        if (isPaste) connect(action, &QAction::triggered, this, &EntryField::pasteAsEntered);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void EntryField::focusOutEvent(QFocusEvent *event) {
    if (event->reason() != Qt::MenuBarFocusReason || !hasSelectedText()) {
        QLineEdit::focusOutEvent(event);
        return;
    }
    // QLineEdit drops the selection whenever the focus leaves, except for
    // a popup or another window.
    const int start = selectionStart();
    const int length = static_cast<int>(selectedText().size());
    const bool backwards = cursorPosition() == start;
    QLineEdit::focusOutEvent(event);
    if (backwards)
        setSelection(start + length, -length);
    else
        setSelection(start, length);
}

void EntryField::pasteAsEntered() {
    OperatorEntry entry(this);
    paste();
}

EntryField::EntryField(int maxLength, QWidget *parent) : QLineEdit(parent), validator_(new Validator(this)) {
    setMaxLength(maxLength);
    setValidator(validator_);
}

void EntryField::setUpperCase(bool on) {
    upperCase_ = on;
    if (on) {
        QString current = text();
        toUpperWestern(current);
        if (current != text()) {
            OperatorEntry entry(this);
            setText(current);
        }
    }
}

}  // namespace kvr::runtime::qt
