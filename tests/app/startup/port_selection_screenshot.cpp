// Renders the port-selection window "Setup IFD Handler" to a PNG file:
//   xvfb-run -a kvr_port_selection_screenshot FOLDER
// writes FOLDER/port_selection.png.
#include "runtime/qt/window.h"
#include "startup/port_selection.h"

#include "screenshots.h"
#include "scripted_interaction.h"

int main(int argc, char **argv) {
    kvr::test_support::Screenshots shots(argc, argv);
    if (!shots.ready()) return 1;
    kvr::test_support::ScriptedInteraction operatorSide;
    operatorSide.windowRunHook = [&](kvr::runtime::qt::Window &w) {
        shots.settle(w);
        shots.saveWithTitleBar(w, "port_selection.png");
        w.close();
    };
    kvr::startup::selectPort(operatorSide);
    return shots.saved() == 1 ? 0 : 1;
}
