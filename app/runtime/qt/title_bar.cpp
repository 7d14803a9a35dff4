#include "runtime/qt/title_bar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace kvr::runtime::qt {

QFont titleBarFont() {
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    return font;
}

QStyleOptionTitleBar titleBarOption(const QString &title, int width, const QStyle &style) {
    QStyleOptionTitleBar bar;
    bar.text = title;
    bar.fontMetrics = QFontMetrics(titleBarFont());
    bar.titleBarFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                        Qt::WindowCloseButtonHint;
    bar.subControls = QStyle::SC_All;
    bar.state = QStyle::State_Active | QStyle::State_Enabled;
    bar.titleBarState = Qt::WindowActive;
    bar.rect = QRect(0, 0, width, 0);
    bar.rect.setHeight(style.pixelMetric(QStyle::PM_TitleBarHeight, &bar));
    return bar;
}

int titleBarWidth(const QString &title, const QStyle &style) {
    // The label takes what the buttons leave: measured on a wide bar.
    constexpr int kWide = 2000;
    const QStyleOptionTitleBar bar = titleBarOption(title, kWide, style);
    const int label = style.subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel).width();
    // A little more than the text, as title bars keep a margin around it.
    const int text = bar.fontMetrics.horizontalAdvance(title) + 2 * bar.fontMetrics.averageCharWidth();
    return kWide - label + text;
}

}  // namespace kvr::runtime::qt
