// The controls of a window's client area, each placed in dialog units
// (dialog_units.h) and made by its window (window.h), which owns it.  The
// name of a control finds it again in tests and identifies it to the
// toolkit; texts are UTF-8, "&" marks an access letter where a control
// has one.  Controls are created in their tab order.
#ifndef KVR_RUNTIME_CONTROLS_H
#define KVR_RUNTIME_CONTROLS_H

#include "runtime/dialog_units.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kvr::runtime {

enum class Align { Left, Center, Right };

struct LabelDefinition {
    std::string name{};
    std::string text{};
    Rect place{};  // dialog units; a size of 0 x 0 fits the text
    Align align = Align::Left;
    bool selectable = false;  // the operator can select and copy the text
    // A text too long for the label loses its middle ("..."); the whole
    // text is its tip.
    bool elideMiddle = false;
};

struct ButtonDefinition {
    std::string name{};
    std::string text{};
    Rect place{};
    bool isDefault = false;  // drawn as the default button
};

struct EntryFieldDefinition {
    std::string name{};
    Rect place{};
    int maxLength = 0;
    bool upperCase = false;
    bool readOnly = false;
};

struct NumberFieldDefinition {
    std::string name{};
    Rect place{};
    int positions = 0;  // "n-13": 13 positions with the sign
};

struct GroupBoxDefinition {
    std::string name{};
    std::string text{};
    Rect place{};
};

// The product icon, drawn to fit the place.
struct IconDefinition {
    std::string name{};
    Rect place{};
};

class Control {
public:
    virtual ~Control() = default;
    virtual void focus() = 0;
    // Called with each key pressed while the control has the focus, before
    // the control sees it: its key code (key_code.h) with the lock states;
    // returning true takes the key, and neither the control nor its window
    // gets it.
    virtual void onKey(std::function<bool(std::uint32_t keyCode)> handler) = 0;
    // Called each time the focus arrives; byOperator when the operator
    // moved it there (Tab, the pointer, an access letter), not the program
    // nor the window coming back to the front.
    virtual void onFocused(std::function<void(bool byOperator)> handler) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setToolTip(const std::string &text) = 0;

protected:
    Control() = default;
    Control(const Control &) = default;
    Control &operator=(const Control &) = default;
};

class Label : public Control {
public:
    virtual void setText(const std::string &text) = 0;
    virtual std::string text() const = 0;
};

class Button : public Control {
public:
    // Called each time the button is pressed (pointer, Space, Enter on the
    // focused button, its access letter).
    virtual void onPressed(std::function<void()> handler) = 0;
    virtual void setText(const std::string &text) = 0;
};

// One line of text; only characters of the Western code page are taken.
class EntryField : public Control {
public:
    virtual std::string text() const = 0;
    // Sets the text as the program's own (shown as it is, reported as a
    // change).
    virtual void setText(const std::string &text) = 0;
    // Called once with the new text after every change, the operator's
    // (each key typed, each paste) and the program's.
    virtual void onChanged(std::function<void(const std::string &text)> handler) = 0;
    // The same for the operator's changes only.
    virtual void onEdited(std::function<void(const std::string &text)> handler) = 0;
    // A key refused (outside the code page or the field's rule): the
    // warning beep has sounded, the text is as it was.
    virtual void onRefused(std::function<void()> handler) = 0;
    virtual void setReadOnly(bool readOnly) = 0;
};

// A signed whole number typed in decimal, right-aligned.
class NumberField : public Control {
public:
    // The number typed (empty text and a lone minus count as 0); nothing
    // when the text is not such a number.
    virtual std::optional<std::int32_t> value() const = 0;
    virtual void setValue(std::int32_t value) = 0;
    virtual void onChanged(std::function<void()> handler) = 0;
    // The operator's changes only, and refused keys, as for EntryField.
    virtual void onEdited(std::function<void()> handler) = 0;
    virtual void onRefused(std::function<void()> handler) = 0;
};

class GroupBox : public Control {};

class Icon : public Control {};

}  // namespace kvr::runtime

#endif
