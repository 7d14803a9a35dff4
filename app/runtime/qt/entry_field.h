// Entry fields: one line of text with a maximum length, an optional
// read-only state and optional upper-case entry.
//
// QLineEdit's textEdited signal reports every change the operator makes
// while typing, textChanged every change including those made by the
// program.  Only characters of the Western code page are accepted, and only
// text that keeps the field's own rule if it has one; a refused entry
// sounds the warning beep, leaves the text as it was and emits refused().
#ifndef KVR_RUNTIME_QT_ENTRY_FIELD_H
#define KVR_RUNTIME_QT_ENTRY_FIELD_H

#include <QLineEdit>

#include <functional>
#include <utility>

namespace kvr::runtime::qt {

class EntryField : public QLineEdit {
    Q_OBJECT
public:
    explicit EntryField(int maxLength, QWidget *parent = nullptr);

    // Letters the operator enters become upper case, whichever way they
    // come: typed, pasted with the keys, the Edit menu, the context menu or
    // the middle button, dropped.  Text the program sets with setText is
    // shown as it is.  Turning upper case on also upper-cases the text
    // already there.
    void setUpperCase(bool on);
    bool upperCase() const { return upperCase_; }

    // Paste from the clipboard as the operator's own entry (the Edit menu).
    void pasteAsEntered();

    // A rule the whole text must keep besides the code page (the field's
    // format); an entry that breaks it is refused the same way.
    using EntryRule = std::function<bool(const QString &text)>;
    void setEntryRule(EntryRule rule) { rule_ = std::move(rule); }

signals:
    // A keystroke was refused (a character outside the Western code page).
    void refused();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;  // middle-button paste
    void contextMenuEvent(QContextMenuEvent *event) override;
    // The focus leaving for the menu bar (Alt+E, say) keeps the selection,
    // so that the Edit menu chosen from the keyboard cuts, copies or
    // deletes what the operator selected, as it does with the pointer.
    void focusOutEvent(QFocusEvent *event) override;

private:
    class Validator;
    class OperatorEntry;
    int operatorEntry_ = 0;
    Validator *validator_;
    bool upperCase_ = false;
    EntryRule rule_;
};

}  // namespace kvr::runtime::qt

#endif
