// Number entry fields: a signed whole number typed in decimal and shown in
// a given number of positions with the minus sign in front (the picture
// "n-13"), right-aligned as numbers are.  Only digits and one leading minus
// sign can be typed, and only while the number fits 32 bits; a refused
// keystroke sounds the warning beep and emits refused().
#ifndef KVR_RUNTIME_QT_NUMBER_FIELD_H
#define KVR_RUNTIME_QT_NUMBER_FIELD_H

#include <QLineEdit>

#include <cstdint>
#include <optional>

namespace kvr::runtime::qt {

class NumberField : public QLineEdit {
    Q_OBJECT
public:
    explicit NumberField(int positions, QWidget *parent = nullptr);

    // The number typed (empty text and a lone minus sign count as 0);
    // nothing when the text set by the program is not such a number.
    std::optional<std::int32_t> value() const;
    void setValue(std::int32_t value);

signals:
    void refused();

private:
    class Validator;
};

}  // namespace kvr::runtime::qt

#endif
