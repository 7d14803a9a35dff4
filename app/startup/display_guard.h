// Starting Qt without a display.  Qt ends a program whose windowing platform
// cannot start (no DISPLAY, an X server that is gone) with an abort and a
// screenful of advice; kvrman1 says one line instead.
//
// While a DisplayGuard lives (around the making of the QApplication), Qt's
// messages about its platform are held back; if the platform cannot start,
// the program ends with exit code 1 after one line on standard error:
//   kvrman1: cannot open a window: DISPLAY is not set (no desktop session?)
// Once the guard goes, the messages held back are passed on as usual.
#ifndef KVR_STARTUP_DISPLAY_GUARD_H
#define KVR_STARTUP_DISPLAY_GUARD_H

#include <QString>
#include <QtGlobal>

#include <string>
#include <vector>

namespace kvr::startup {

class DisplayGuard {
public:
    explicit DisplayGuard(std::string program);
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard &) = delete;
    DisplayGuard &operator=(const DisplayGuard &) = delete;

    // Why no window can be opened, from the environment Qt reads.
    static std::string reason();

private:
    struct Held {
        QtMsgType type;
        std::string file, function, category;
        int line;
        QString text;
    };
    static void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &text);

    std::string program_;
    QtMessageHandler previous_ = nullptr;
    std::vector<Held> held_;
};

}  // namespace kvr::startup

#endif
