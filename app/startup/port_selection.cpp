#include "startup/port_selection.h"

#include "runtime/window.h"

#include <QPushButton>

#include <array>

namespace kvr::startup {

namespace {

class PortSelectionWindow : public runtime::Window {
public:
    explicit PortSelectionWindow(runtime::UserInteraction &interaction)
        : Window({.name = "SETUPCOM$WINDOW",
                  .title = QStringLiteral("Setup IFD Handler"),
                  .fontFace = "MS Sans Serif",
                  .fontPoints = 8,
                  .clientSize = QSize(81, 69)},
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
            place(button, 4, choice.top, 72, 15);
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
