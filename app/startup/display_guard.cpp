#include "startup/display_guard.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace kvr::startup {

namespace {

// Qt's message handler is a plain function: it finds its guard here.
DisplayGuard *active = nullptr;

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

DisplayGuard::DisplayGuard(std::string program) : program_(std::move(program)) {
    active = this;
    previous_ = qInstallMessageHandler(&DisplayGuard::onMessage);
}

DisplayGuard::~DisplayGuard() {
    qInstallMessageHandler(previous_);
    active = nullptr;
    for (const Held &held : held_) {
        const QMessageLogContext context(held.file.c_str(), held.line, held.function.c_str(), held.category.c_str());
        qt_message_output(held.type, context, held.text);
    }
}

std::string DisplayGuard::reason() {
    const std::string platform = environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0)
        return "the Qt platform \"" + platform + "\" cannot start";
    const std::string display = environment("DISPLAY"), wayland = environment("WAYLAND_DISPLAY");
    if (display.empty() && wayland.empty()) return "DISPLAY is not set (no desktop session?)";
    if (!display.empty()) return "the display \"" + display + "\" cannot be reached";
    return "the Wayland display \"" + wayland + "\" cannot be reached";
}

void DisplayGuard::onMessage(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtFatalMsg) {
        const std::string line = active->program_ + ": cannot open a window: " + reason() + "\n";
        const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        (void)written;
        // Not abort(): nothing is wrong with the program itself.
        std::_Exit(1);
    }
    const char *category = context.category ? context.category : "";
    if (std::strncmp(category, "qt.qpa", 6) == 0) {
        active->held_.push_back({type, context.file ? context.file : "", context.function ? context.function : "",
                                 category, context.line, text});
        return;
    }
    if (active->previous_)
        active->previous_(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace kvr::startup
