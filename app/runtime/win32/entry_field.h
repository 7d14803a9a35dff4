// An entry field (EDIT): one line of text with a maximum length, optional
// upper-case entry and a read-only state.  Every change the operator makes
// to the text is reported once (EN_CHANGE): each key typed, a paste, a cut;
// text the program sets with setText is not reported, nor a key that
// changes nothing (one past the maximum length, for which some EDIT
// controls still notify a change).
#ifndef KVR_RUNTIME_WIN32_ENTRY_FIELD_H
#define KVR_RUNTIME_WIN32_ENTRY_FIELD_H

#include "runtime/win32/control.h"

#include <functional>

namespace kvr::runtime::win32 {

class EntryField : public Control {
public:
    EntryField(HWND window, int maxLength);

    void setText(const std::string &text);
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    // Letters the operator types become upper case from now on.
    void setUpperCase(bool on);
    bool upperCase() const;
    int maxLength() const;

    // The operator changed the text (the new text is text()).
    std::function<void()> edited;

    void notified(int code) override;

private:
    bool settingText_ = false;
    std::string last_;  // the text when last reported or set
};

}  // namespace kvr::runtime::win32

#endif
