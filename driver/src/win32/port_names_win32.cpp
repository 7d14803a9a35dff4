// Port names on Windows.  "COM1".."COM9" are looked up in the per-user map
// %APPDATA%\kvr7x\ports (the same format as on POSIX); a COM name the map
// leaves out, "\\.\COMnn" and any other name are passed to CreateFileA
// unchanged; "rfc2217://HOST:PORT" is a network serial port, directly or as
// a map's target.

#include <windows.h>

#include "network_identities.h"
#include "port_map.h"
#include "port_names.h"
#include "serial_port.h"
#include "win32/winsock.h"

namespace kvr7x {

namespace {

std::optional<PortTarget> directTarget(const std::string &name) {
    if (auto t = networkTarget(name)) return t;
    if (name.empty() || name.rfind("rfc2217://", 0) == 0) return std::nullopt;
    return PortTarget{PortTarget::Kind::Device, name};
}

std::string upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// "<what> (error <code>)", appended piece by piece.
std::string withCode(const char *what, DWORD code) {
    std::string text(what);
    text += " (error ";
    text += std::to_string(code);
    text += ')';
    return text;
}

// "<what> <limit> KiB".
std::string withLimit(const char *what) {
    std::string text(what);
    text += ' ';
    text += std::to_string(kMaxPortMapSize / 1024);
    text += " KiB";
    return text;
}

// The text of the map; empty when there is none or it may not be read,
// with the reason in the last-error text and, once, on stderr.  Only a disk
// file is read.
std::string readDeviceMap() {
    const std::string path = deviceMapPath();
    if (path.empty()) return {};
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
            setLastErrorText(ignoredMapText(path, withCode("cannot be read", err)));
            tellIgnoredMap(lastErrorText());
        }
        return {};
    }
    std::string why;
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK)
        why = "is not a regular file";
    else if (!GetFileSizeEx(h, &size))
        why = withCode("cannot be examined", GetLastError());
    else if (size.QuadPart > static_cast<LONGLONG>(kMaxPortMapSize))
        why = withLimit("is larger than");
    std::string text;
    char buf[4096];
    while (why.empty()) {
        DWORD k = 0;
        if (!ReadFile(h, buf, sizeof buf, &k, nullptr)) {
            why = withCode("cannot be read", GetLastError());
            break;
        }
        if (k == 0) break;
        text.append(buf, k);
        if (text.size() > kMaxPortMapSize) why = withLimit("grew past");
    }
    CloseHandle(h);
    if (!why.empty()) {
        setLastErrorText(ignoredMapText(path, why));
        tellIgnoredMap(lastErrorText());
        return {};
    }
    return text;
}

}  // namespace

std::string deviceMapPath() {
    char appData[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    if (n == 0 || n > MAX_PATH) return {};
    return std::string(appData, n) + "\\kvr7x\\ports";
}

std::vector<std::string> PortTarget::identities() const {
    if (kind == Kind::Device) {
        // "COM1" and "\\.\COM1" are one device.
        std::string name = upper(address);
        if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
        return {"dev:" + name};
    }
    if (!winsockReady()) return {"net:" + address};
    return networkIdentities(address);
}

std::optional<PortTarget> resolvePortName(const char *name) {
    if (!name || !*name) return std::nullopt;
    const std::string s(name);
    if (const int n = comNumber(s); n != 0) {
        if (auto mapped = mappedTarget(readDeviceMap(), n)) return directTarget(*mapped);
    }
    return directTarget(s);
}

}  // namespace kvr7x
