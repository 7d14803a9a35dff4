#include "runtime/qt/number_field.h"

#include <QApplication>
#include <QValidator>

#include <limits>

namespace kvr::runtime::qt {

class NumberField::Validator : public QValidator {
public:
    Validator(NumberField *field, int positions) : QValidator(field), field_(field), positions_(positions) {}

    State validate(QString &input, int &) const override {
        if (input.size() <= positions_ && numberOf(input)) return Acceptable;
        QApplication::beep();
        emit field_->refused();
        return Invalid;
    }

    // Digits after an optional minus sign, within 32 bits.
    static std::optional<std::int32_t> numberOf(const QString &text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && !(i == 0 && c == QLatin1Char('-')))
                return std::nullopt;
        }
        if (text.isEmpty() || text == QLatin1String("-")) return 0;
        bool ok = false;
        const qlonglong number = text.toLongLong(&ok);
        if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        return static_cast<std::int32_t>(number);
    }

private:
    NumberField *field_;
    int positions_;
};

NumberField::NumberField(int positions, QWidget *parent) : QLineEdit(parent) {
    setMaxLength(positions);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setValidator(new Validator(this, positions));
}

std::optional<std::int32_t> NumberField::value() const { return Validator::numberOf(text()); }

void NumberField::setValue(std::int32_t value) { setText(QString::number(value)); }

}  // namespace kvr::runtime::qt
