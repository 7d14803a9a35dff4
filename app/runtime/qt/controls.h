// The controls of the interface (runtime/controls.h) on Qt widgets: each
// wraps a widget of the window's client area, which owns the widget; the
// widget's object name is the control's name.
#ifndef KVR_RUNTIME_QT_CONTROLS_H
#define KVR_RUNTIME_QT_CONTROLS_H

#include "runtime/controls.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <utility>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kvr::runtime::qt {

class EntryField;
class NumberField;

// The key and focus handlers of a control, on its widget's events.
// The watch is made on first use and belongs to the widget.
class EventWatch;
void watchKeys(QWidget *widget, EventWatch *&watch, std::function<bool(std::uint32_t keyCode)> handler);
void watchFocus(QWidget *widget, EventWatch *&watch, std::function<void(bool byOperator)> handler);

// What every control does, on its widget.
template <class Interface>
class WidgetControl : public Interface {
public:
    explicit WidgetControl(QWidget *widget) : widget_(widget) {}
    QWidget *widget() const { return widget_; }
    void focus() override { widget_->setFocus(Qt::OtherFocusReason); }
    void onKey(std::function<bool(std::uint32_t keyCode)> handler) override {
        watchKeys(widget_, watch_, std::move(handler));
    }
    void onFocused(std::function<void(bool byOperator)> handler) override {
        watchFocus(widget_, watch_, std::move(handler));
    }
    void setEnabled(bool enabled) override { widget_->setEnabled(enabled); }
    bool isEnabled() const override { return widget_->isEnabled(); }
    void setVisible(bool visible) override { widget_->setVisible(visible); }
    void setToolTip(const std::string &text) override { widget_->setToolTip(QString::fromStdString(text)); }

private:
    QWidget *widget_;
    EventWatch *watch_ = nullptr;
};

class LabelControl final : public WidgetControl<runtime::Label> {
public:
    LabelControl(QLabel *label, bool elideMiddle);
    void setText(const std::string &text) override;
    std::string text() const override { return text_; }

private:
    QLabel *label_;
    bool elideMiddle_;
    std::string text_;
};

class ButtonControl final : public WidgetControl<runtime::Button> {
public:
    explicit ButtonControl(QPushButton *button);
    void onPressed(std::function<void()> handler) override;
    void setText(const std::string &text) override;

private:
    QPushButton *button_;
};

class EntryFieldControl final : public WidgetControl<runtime::EntryField> {
public:
    explicit EntryFieldControl(qt::EntryField *field);
    std::string text() const override;
    void setText(const std::string &text) override;
    void onChanged(std::function<void(const std::string &text)> handler) override;
    void onEdited(std::function<void(const std::string &text)> handler) override;
    void onRefused(std::function<void()> handler) override;
    void setReadOnly(bool readOnly) override;

private:
    qt::EntryField *field_;
};

class NumberFieldControl final : public WidgetControl<runtime::NumberField> {
public:
    explicit NumberFieldControl(qt::NumberField *field);
    std::optional<std::int32_t> value() const override;
    void setValue(std::int32_t value) override;
    void onChanged(std::function<void()> handler) override;
    void onEdited(std::function<void()> handler) override;
    void onRefused(std::function<void()> handler) override;

private:
    qt::NumberField *field_;
};

using GroupBoxControl = WidgetControl<runtime::GroupBox>;
using IconControl = WidgetControl<runtime::Icon>;

}  // namespace kvr::runtime::qt

#endif
