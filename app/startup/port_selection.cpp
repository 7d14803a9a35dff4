#include "startup/port_selection.h"

#include "runtime/toolkit.h"
#include "runtime/window.h"

#include <array>
#include <memory>

namespace kvr::startup {

namespace {

constexpr const char *kTitle = "Setup IFD Handler";
constexpr int kDesignedWidth = 81;  // dialog units
constexpr int kButtonWidth = 72;

// The designed width would cut the title in the title bar: the window is
// made as wide as its whole title needs, the buttons in the middle.
int clientWidth(const runtime::Toolkit &toolkit) {
    const runtime::DialogUnits units = toolkit.unitsOf("MS Sans Serif", 8);
    const int needed = toolkit.titleBarWidth(kTitle);
    int width = kDesignedWidth;
    while (units.toPixelsX(width) < needed) ++width;
    return width;
}

class PortSelectionWindow : public runtime::WindowEvents {
public:
    explicit PortSelectionWindow(runtime::UserInteraction &interaction) {
        const int width = clientWidth(interaction.toolkit());
        window_ = interaction.toolkit().makeWindow({.name = "SETUPCOM$WINDOW",
                                                    .title = kTitle,
                                                    .fontFace = "MS Sans Serif",
                                                    .fontPoints = 8,
                                                    .clientSize = {width, 69}},
                                                   interaction, *this);
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
        for (const Choice &choice : choices) {
            runtime::Button &button =
                window_->addButton({.name = choice.text,
                                    .text = choice.text,
                                    .place = {(width - kButtonWidth) / 2, choice.top, kButtonWidth, 15}});
            const std::string port = choice.port;
            button.onPressed([this, port] {
                chosen_ = port;
                window_->requestClose();
            });
            if (!first_) first_ = &button;
        }
    }

    std::string run() {
        window_->run();
        return chosen_;
    }

    void opened() override {
        window_->activate();
        first_->focus();
    }

private:
    std::unique_ptr<runtime::Window> window_;
    std::string chosen_;
    runtime::Button *first_ = nullptr;
};

}  // namespace

std::string selectPort(runtime::UserInteraction &interaction) { return PortSelectionWindow(interaction).run(); }

}  // namespace kvr::startup
