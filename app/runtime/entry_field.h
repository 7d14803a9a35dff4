// Entry fields: one line of text with a maximum length, an optional
// read-only state and optional upper-case entry.
//
// QLineEdit's textEdited signal reports every change the operator makes
// while typing, textChanged every change including those made by the
// program.  Only characters of the Western code page are accepted; a
// refused keystroke sounds the warning beep and emits refused().
#ifndef KVR_RUNTIME_ENTRY_FIELD_H
#define KVR_RUNTIME_ENTRY_FIELD_H

#include <QLineEdit>

namespace kvr::runtime {

class EntryField : public QLineEdit {
    Q_OBJECT
public:
    explicit EntryField(int maxLength, QWidget *parent = nullptr);

    // Typed letters become upper case as they are typed.
    void setUpperCase(bool on);
    bool upperCase() const { return upperCase_; }

signals:
    // A keystroke was refused (a character outside the Western code page).
    void refused();

private:
    class Validator;
    Validator *validator_;
    bool upperCase_ = false;
};

}  // namespace kvr::runtime

#endif
