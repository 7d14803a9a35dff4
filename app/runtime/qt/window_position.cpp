#include "runtime/qt/window_position.h"

#include "runtime/qt/units.h"
#include "runtime/profile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

namespace kvr::runtime::qt {

namespace {

// A stored decimal number; leading blanks and trailing text are ignored as a
// text-to-number conversion would.  Anything else (empty, not a number, out
// of range) counts as 0, that is nothing stored.
int toNumber(const std::string &text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return 0;
    if (text[start] == '+') ++start;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    (void)end;
    return error == std::errc() ? value : 0;
}

int readNumber(const std::string &section, const char *key, const std::string &file) {
    return toNumber(readProfileString(section, key, std::string(), file));
}

bool isYes(std::string value) {
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    return value == "Yes";
}

// A place at which the window can be seen and grabbed: a good part of its
// top on some screen.  A place off every screen, negative or huge, is not
// used.
bool reachable(const QRect &place) {
    if (place.width() <= 0 || place.height() <= 0) return false;
    const QRect top(place.topLeft(), QSize(place.width(), std::min(place.height(), 24)));
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect seen = screen->availableGeometry().intersected(top);
        if (seen.width() >= std::min(top.width(), 48) && seen.height() >= std::min(top.height(), 8)) return true;
    }
    return false;
}

// A size no larger than the whole desktop.
QSize bounded(QSize size) {
    QRect desktop;
    for (const QScreen *screen : QGuiApplication::screens()) desktop |= screen->availableGeometry();
    if (desktop.isEmpty()) return size;
    return size.boundedTo(desktop.size());
}

// Values far beyond any desktop are no place at all (and must not overflow
// the arithmetic below).
bool sane(int units) { return units > -100000 && units < 100000; }

bool isResizable(const QWidget *window) { return window->minimumSize() != window->maximumSize(); }

}  // namespace

void storeWindowPosition(QWidget *window, const std::string &section, const std::string &file) {
    const bool maximized = window->isMaximized();
    // Place and size of the normal window, not of the maximized one.
    QRect place = window->geometry();
    if (maximized) {
        const QRect normal = window->normalGeometry();
        window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
        place = normal.isValid() && !normal.isEmpty() ? normal : window->geometry();
    }
    if (window->isMinimized()) return;

    const DialogUnits units(window->font());
    writeProfileString(section, "Maximize", maximized ? "Yes" : "No", file);
    writeProfileString(section, "XPosit", std::to_string(units.fromPixelsX(place.x())), file);
    writeProfileString(section, "YPosit", std::to_string(units.fromPixelsY(place.y())), file);
    writeProfileString(section, "Width", std::to_string(units.fromPixelsX(place.width())), file);
    writeProfileString(section, "Height", std::to_string(units.fromPixelsY(place.height())), file);
}

void restoreWindowPosition(QWidget *window, const std::string &section, const std::string &file) {
    if (readNumber(section, "XPosit", file) == 0) return;

    if (!window->isMaximized()) {
        const DialogUnits units(window->font());
        const int x = readNumber(section, "XPosit", file);
        const int y = readNumber(section, "YPosit", file);
        std::optional<QSize> size;
        if (x != 0 && y != 0) {
            if (isResizable(window)) {
                const int width = readNumber(section, "Width", file);
                const int height = readNumber(section, "Height", file);
                if (width != 0 && height != 0 && sane(width) && sane(height))
                    size = bounded(QSize(units.toPixelsX(width), units.toPixelsY(height)));
            } else {
                size = window->size();
            }
        }
        if (size && sane(x) && sane(y)) {
            const QRect place(QPoint(units.toPixelsX(x), units.toPixelsY(y)), *size);
            if (reachable(place)) window->setGeometry(place);
        }
    }

    const Qt::WindowStates state = window->windowState();
    if (isYes(readProfileString(section, "Maximize", std::string(), file)))
        window->setWindowState(state | Qt::WindowMaximized);
    else
        window->setWindowState(state & ~Qt::WindowMaximized);
}

QPoint placeBeside(const QRect &beside, const QSize &frame, const QRect &available) {
    const int gap = 4;
    // A side is taken for its width; the height is made to fit below.
    const int right = beside.right() + 1 + gap;
    const int left = beside.left() - gap - frame.width();
    const int below = beside.bottom() + 1 + gap;
    QPoint at;
    if (right + frame.width() <= available.right() + 1)
        at = QPoint(right, beside.top());
    else if (left >= available.left())
        at = QPoint(left, beside.top());
    else if (below + frame.height() <= available.bottom() + 1)
        at = QPoint(beside.left(), below);
    else
        at = QPoint(available.right() + 1 - frame.width(), beside.top());
    // Inside the screen: the right and bottom edges first, so that a window
    // larger than the screen keeps its title bar and left edge on it.
    at.setX(std::max(std::min(at.x(), available.right() + 1 - frame.width()), available.left()));
    at.setY(std::max(std::min(at.y(), available.bottom() + 1 - frame.height()), available.top()));
    return at;
}

void placeWindowBeside(QWidget *window, const QWidget *beside) {
    if (!beside) return;
    const QScreen *screen = beside->screen() ? beside->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    // A window larger than the screen is made to fit it first.
    const QSize margins = window->frameGeometry().size() - window->size();
    const QSize room = available.size() - margins;
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(window->size().boundedTo(room).expandedTo(window->minimumSize()));
    window->move(placeBeside(beside->frameGeometry(), window->frameGeometry().size(), available));
}

}  // namespace kvr::runtime::qt
