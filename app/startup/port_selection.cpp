#include "startup/port_selection.h"

#include "runtime/dialog_units.h"
#include "runtime/qt/title_bar.h"
#include "runtime/qt/window.h"

#include <QApplication>
#include <QPushButton>

#include <array>

namespace kvr::startup {

namespace {

const QString kTitle = QStringLiteral("Setup IFD Handler");
constexpr int kDesignedWidth = 81;  // dialog units
constexpr int kButtonWidth = 72;

// The designed width would cut the title in the title bar: the window is
// made as wide as its whole title needs, the buttons in the middle.
int clientWidth() {
    const runtime::DialogUnits units(runtime::windowFont("MS Sans Serif", 8));
    const int needed = runtime::titleBarWidth(kTitle, *QApplication::style());
    int width = kDesignedWidth;
    while (units.toPixelsX(width) < needed) ++width;
    return width;
}

class PortSelectionWindow : public runtime::Window {
public:
    explicit PortSelectionWindow(runtime::UserInteraction &interaction, int width = clientWidth())
        : Window({.name = "SETUPCOM$WINDOW",
                  .title = kTitle,
                  .fontFace = "MS Sans Serif",
                  .fontPoints = 8,
                  .clientSize = QSize(width, 69)},
                 interaction) {
        struct Choice {
            const char *text;
            int top;
            const char *port;
        };
        // Created in control order: Com2, Com3, Com4, then Com1.
        constexpr std::array<Choice, 4> choices{{
            {"Com2", 20, "COM2"},
            {"Com3", 36, "COM3"},
            {"Com4", 52, "COM4"},
            {"Com1", 4, "COM1"},
        }};
        QWidget *previous = nullptr;
        for (const Choice &choice : choices) {
            auto *button = new QPushButton(QString::fromLatin1(choice.text), client());
            button->setObjectName(QString::fromLatin1(choice.text));
            place(button, (width - kButtonWidth) / 2, choice.top, kButtonWidth, 15);
            const std::string port = choice.port;
            connect(button, &QPushButton::clicked, this, [this, port] {
                chosen_ = port;
                close();
            });
            if (previous)
                setTabOrder(previous, button);
            else
                first_ = button;
            previous = button;
        }
    }

    const std::string &chosen() const { return chosen_; }

protected:
    void opened() override {
        activateWindow();
        first_->setFocus(Qt::OtherFocusReason);
    }

private:
    std::string chosen_;
    QWidget *first_ = nullptr;
};

}  // namespace

std::string selectPort(runtime::UserInteraction &interaction) {
    PortSelectionWindow window(interaction);
    window.run();
    return window.chosen();
}

}  // namespace kvr::startup
