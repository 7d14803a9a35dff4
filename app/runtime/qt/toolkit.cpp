#include "runtime/qt/toolkit.h"

#include "runtime/qt/key_code.h"
#include "runtime/qt/title_bar.h"
#include "runtime/qt/units.h"
#include "runtime/qt/window.h"
#include "runtime/wait_cursor.h"

#include <QApplication>
#include <QCursor>

namespace kvr::runtime::qt {

namespace {

void showWaitCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace

Toolkit::Toolkit() { WaitCursor::setIndicator(showWaitCursor); }

std::unique_ptr<runtime::Window> Toolkit::makeWindow(const WindowDefinition &definition, UserInteraction &interaction,
                                                     WindowEvents &events, runtime::Window *parent) {
    auto window = std::make_unique<Window>(definition, interaction, parent ? &qtWindow(*parent) : nullptr);
    window->setEvents(&events);
    return window;
}

runtime::DialogUnits Toolkit::unitsOf(const std::string &fontFace, int fontPoints) const {
    return DialogUnits(windowFont(fontFace, fontPoints));
}

int Toolkit::titleBarWidth(const std::string &title) const {
    return qt::titleBarWidth(QString::fromStdString(title), *QApplication::style());
}

std::string Toolkit::keyName(std::uint32_t keyCode) const { return keyCodeName(keyCode).toStdString(); }

Window &qtWindow(runtime::Window &window) { return dynamic_cast<Window &>(window); }

}  // namespace kvr::runtime::qt
