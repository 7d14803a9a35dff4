#include "runtime/qt/controls.h"

#include "runtime/qt/entry_field.h"
#include "runtime/qt/key_code.h"
#include "runtime/qt/number_field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <utility>

namespace kvr::runtime::qt {

// Tells a control's handler of the key presses and focus arrivals of its
// widget; it belongs to the widget.
class EventWatch : public QObject {
public:
    explicit EventWatch(QWidget *widget) : QObject(widget) { widget->installEventFilter(this); }

    std::function<bool(std::uint32_t)> key;
    std::function<void(bool)> focus;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::FocusIn && focus) {
            const Qt::FocusReason reason = static_cast<QFocusEvent &>(*event).reason();
            focus(reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason ||
                  reason == Qt::ShortcutFocusReason);
        }
        if (event->type() == QEvent::KeyPress && key) {
            const auto &press = static_cast<QKeyEvent &>(*event);
            if (const auto code = keyCodeFromEvent(press); code && key(*code | keyLockStates(press))) return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void watchKeys(QWidget *widget, EventWatch *&watch, std::function<bool(std::uint32_t keyCode)> handler) {
    if (!watch) watch = new EventWatch(widget);
    watch->key = std::move(handler);
}

void watchFocus(QWidget *widget, EventWatch *&watch, std::function<void(bool byOperator)> handler) {
    if (!watch) watch = new EventWatch(widget);
    watch->focus = std::move(handler);
}

LabelControl::LabelControl(QLabel *label, bool elideMiddle)
    : WidgetControl(label), label_(label), elideMiddle_(elideMiddle), text_(label->text().toStdString()) {}

void LabelControl::setText(const std::string &text) {
    text_ = text;
    const QString whole = QString::fromStdString(text);
    if (!elideMiddle_) {
        label_->setText(whole);
        return;
    }
    label_->setText(label_->fontMetrics().elidedText(whole, Qt::ElideMiddle, label_->width()));
    label_->setToolTip(whole);
}

ButtonControl::ButtonControl(QPushButton *button) : WidgetControl(button), button_(button) {}

void ButtonControl::onPressed(std::function<void()> handler) {
    QObject::connect(button_, &QPushButton::clicked, button_, [handler = std::move(handler)] { handler(); });
}

void ButtonControl::setText(const std::string &text) { button_->setText(QString::fromStdString(text)); }

EntryFieldControl::EntryFieldControl(qt::EntryField *field) : WidgetControl(field), field_(field) {}

std::string EntryFieldControl::text() const { return field_->text().toStdString(); }

void EntryFieldControl::setText(const std::string &text) { field_->setText(QString::fromStdString(text)); }

void EntryFieldControl::onChanged(std::function<void(const std::string &text)> handler) {
    QObject::connect(field_, &QLineEdit::textChanged, field_,
                     [handler = std::move(handler)](const QString &text) { handler(text.toStdString()); });
}

void EntryFieldControl::onEdited(std::function<void(const std::string &text)> handler) {
    QObject::connect(field_, &QLineEdit::textEdited, field_,
                     [handler = std::move(handler)](const QString &text) { handler(text.toStdString()); });
}

void EntryFieldControl::onRefused(std::function<void()> handler) {
    QObject::connect(field_, &qt::EntryField::refused, field_, [handler = std::move(handler)] { handler(); });
}

void EntryFieldControl::setReadOnly(bool readOnly) { field_->setReadOnly(readOnly); }

NumberFieldControl::NumberFieldControl(qt::NumberField *field) : WidgetControl(field), field_(field) {}

std::optional<std::int32_t> NumberFieldControl::value() const { return field_->value(); }

void NumberFieldControl::setValue(std::int32_t value) { field_->setValue(value); }

void NumberFieldControl::onChanged(std::function<void()> handler) {
    QObject::connect(field_, &QLineEdit::textChanged, field_, [handler = std::move(handler)] { handler(); });
}

}  // namespace kvr::runtime::qt

namespace kvr::runtime::qt {

void NumberFieldControl::onEdited(std::function<void()> handler) {
    QObject::connect(field_, &QLineEdit::textEdited, field_, [handler = std::move(handler)] { handler(); });
}

void NumberFieldControl::onRefused(std::function<void()> handler) {
    QObject::connect(field_, &qt::NumberField::refused, field_, [handler = std::move(handler)] { handler(); });
}

}  // namespace kvr::runtime::qt
