#include "wine_test_support.h"

#include <ws2tcpip.h>

namespace kvr7x::wintest {

std::string runnerValue(const char *name) {
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return (n == 0 || n >= sizeof value) ? std::string() : std::string(value, n);
}

long msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

std::string emulatorControl(const std::string &command) {
    const std::string address = runnerValue("KVR_EMU_CONTROL");
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) return "error: KVR_EMU_CONTROL is not set";
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return "error: no Winsock";
    std::string answer = "error: control connection failed";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(address.substr(0, colon).c_str(), address.substr(colon + 1).c_str(), &hints, &list) == 0) {
        SOCKET s = socket(list->ai_family, list->ai_socktype, list->ai_protocol);
        if (s != INVALID_SOCKET && connect(s, list->ai_addr, static_cast<int>(list->ai_addrlen)) == 0) {
            const std::string line = command + "\n";
            send(s, line.data(), static_cast<int>(line.size()), 0);
            answer.clear();
            char c = 0;
            while (recv(s, &c, 1, 0) == 1 && c != '\n') answer += c;
        }
        if (s != INVALID_SOCKET) closesocket(s);
        freeaddrinfo(list);
    }
    WSACleanup();
    return answer;
}

MessageWindow::MessageWindow() {
    static const char kClass[] = "KVR7xTestWindow";
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);  // fails harmlessly when registered already
    hwnd_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

MessageWindow::~MessageWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MessageWindow::next(UINT msg, DWORD limitMs, WPARAM &wParam, LPARAM &lParam) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m{};
        if (PeekMessageA(&m, hwnd_, msg, msg, PM_REMOVE)) {
            wParam = m.wParam;
            lParam = m.lParam;
            return true;
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= limitMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, limitMs - spent, QS_POSTMESSAGE);
    }
}

}  // namespace kvr7x::wintest
