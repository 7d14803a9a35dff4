// The Qt 6 toolkit: windows are qt::Window (window.h), a QMainWindow each,
// their controls Qt widgets named after the controls' names.
#ifndef KVR_RUNTIME_QT_TOOLKIT_H
#define KVR_RUNTIME_QT_TOOLKIT_H

#include "runtime/toolkit.h"

namespace kvr::runtime::qt {

class Window;

class Toolkit final : public runtime::Toolkit {
public:
    // Shows the wait cursor (wait_cursor.h) from now on.
    Toolkit();

    std::unique_ptr<runtime::Window> makeWindow(const WindowDefinition &definition, UserInteraction &interaction,
                                                WindowEvents &events, runtime::Window *parent = nullptr) override;
    runtime::DialogUnits unitsOf(const std::string &fontFace, int fontPoints) const override;
    int titleBarWidth(const std::string &title) const override;
    std::string keyName(std::uint32_t keyCode) const override;
};

// The Qt window behind a window of the interface (every window the Qt
// toolkit makes is one).
Window &qtWindow(runtime::Window &window);

}  // namespace kvr::runtime::qt

#endif
