#include "runtime/qt/controls.h"

#include "runtime/qt/entry_field.h"
#include "runtime/qt/number_field.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

namespace kvr::runtime::qt {

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

void EntryFieldControl::setReadOnly(bool readOnly) { field_->setReadOnly(readOnly); }

NumberFieldControl::NumberFieldControl(qt::NumberField *field) : WidgetControl(field), field_(field) {}

std::optional<std::int32_t> NumberFieldControl::value() const { return field_->value(); }

void NumberFieldControl::setValue(std::int32_t value) { field_->setValue(value); }

void NumberFieldControl::onChanged(std::function<void()> handler) {
    QObject::connect(field_, &QLineEdit::textChanged, field_, [handler = std::move(handler)] { handler(); });
}

}  // namespace kvr::runtime::qt
