#include "runtime/qt/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kvr::runtime::qt {

namespace {

// Drawn on a 64 x 64 grid and scaled: a dark reader body with a slot and a
// green lamp, and a gold-chipped card standing half out of the slot.
void paintIcon(QPainter &p, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // The card, behind the reader's front.
    QLinearGradient cardFill(QPointF(18, 4), QPointF(46, 40));
    cardFill.setColorAt(0, QColor(0x4f, 0x8f, 0xe8));
    cardFill.setColorAt(1, QColor(0x1d, 0x4f, 0xa8));
    p.setPen(QPen(QColor(0x10, 0x2a, 0x5c), 1.5));
    p.setBrush(cardFill);
    p.drawRoundedRect(QRectF(17, 3, 30, 40), 3, 3);
    // Its chip.
    p.setPen(QPen(QColor(0x7a, 0x5c, 0x10), 1));
    p.setBrush(QColor(0xe8, 0xc0, 0x40));
    p.drawRoundedRect(QRectF(24, 10, 11, 9), 1.5, 1.5);
    p.drawLine(QPointF(29.5, 10), QPointF(29.5, 19));
    p.drawLine(QPointF(24, 14.5), QPointF(35, 14.5));

    // The reader.
    QLinearGradient bodyFill(QPointF(0, 30), QPointF(0, 60));
    bodyFill.setColorAt(0, QColor(0x5a, 0x5f, 0x66));
    bodyFill.setColorAt(1, QColor(0x2a, 0x2d, 0x32));
    p.setPen(QPen(QColor(0x15, 0x17, 0x1a), 1.5));
    p.setBrush(bodyFill);
    QPainterPath body;
    body.addRoundedRect(QRectF(4, 30, 56, 30), 5, 5);
    p.drawPath(body);
    // The slot the card goes into.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0c, 0x0d, 0x0f));
    p.drawRoundedRect(QRectF(14, 34, 36, 4), 2, 2);
    // The lamp.
    p.setBrush(QColor(0x3c, 0xd0, 0x5a));
    p.drawEllipse(QPointF(50, 51), 3.2, 3.2);
    // Key pad dots.
    p.setBrush(QColor(0xb8, 0xbd, 0xc4));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) p.drawRoundedRect(QRectF(12 + col * 8, 44 + row * 7, 6, 4), 1, 1);
}

}  // namespace

QPixmap applicationIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintIcon(painter, size);
    return pixmap;
}

QIcon applicationIcon() {
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48, 64, 128}) result.addPixmap(applicationIconPixmap(size));
        return result;
    }();
    return icon;
}

}  // namespace kvr::runtime::qt
