// A settings home of its own for one test: XDG_CONFIG_HOME names a scratch
// folder for as long as the object lives, and is as it was afterwards (set
// to the same value, or unset).
#ifndef KVR7X_TESTS_CONFIG_HOME_H
#define KVR7X_TESTS_CONFIG_HOME_H

#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "scratch_folder.h"

namespace kvr7x::test {

class ConfigHome {
public:
    ConfigHome() : folder_("kvr7x-config") {
        if (const char *old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
        ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
    }
    ~ConfigHome() {
        if (saved_)
            ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    ConfigHome(const ConfigHome &) = delete;
    ConfigHome &operator=(const ConfigHome &) = delete;

    const std::string &dir() const { return folder_.path(); }

    // Writes `relative` inside the home ("kvr7x/ports", ...).
    void write(const std::string &relative, const std::string &text) const { folder_.write(relative, text); }
    // The driver's port map: lines "COMn=target".
    void writePortMap(const std::string &lines) const { write("kvr7x/ports", lines); }

private:
    ScratchFolder folder_;
    std::optional<std::string> saved_;
};

}  // namespace kvr7x::test

#endif
