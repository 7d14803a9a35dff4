// The toolkit the program entry picks (Qt: runtime/qt/toolkit.h): it makes
// the windows (window.h) and measures for them before they exist.
#ifndef KVR_RUNTIME_TOOLKIT_H
#define KVR_RUNTIME_TOOLKIT_H

#include "runtime/dialog_units.h"
#include "runtime/window.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kvr::runtime {

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // A window as defined, telling events what happens to it (events
    // outlives it); opened from parent, if any, and placed over it.
    virtual std::unique_ptr<Window> makeWindow(const WindowDefinition &definition, UserInteraction &interaction,
                                               WindowEvents &events, Window *parent = nullptr) = 0;
    // The dialog units of a font a definition names.
    virtual DialogUnits unitsOf(const std::string &fontFace, int fontPoints) const = 0;
    // The least width, in pixels, of a window whose title bar shows title
    // without cutting it.
    virtual int titleBarWidth(const std::string &title) const = 0;
    // The name of a key code as menus show it ("F2", "Ctrl+X"); empty when
    // it names no key.
    virtual std::string keyName(std::uint32_t keyCode) const = 0;

protected:
    Toolkit() = default;
    Toolkit(const Toolkit &) = default;
    Toolkit &operator=(const Toolkit &) = default;
};

}  // namespace kvr::runtime

#endif
