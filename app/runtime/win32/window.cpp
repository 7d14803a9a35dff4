#include "runtime/win32/window.h"

#include "runtime/win32/handle_casts.h"
#include "runtime/win32/text.h"

namespace kvr::runtime::win32 {
namespace {

// Posted as the first message of a window's own loop.
constexpr UINT kRunning = WM_APP + 1;

DWORD frameStyle(bool resizable) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if (resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    return style;
}

void registerClass(const std::wstring &name) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, name.c_str(), &windowClass)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;  // each window puts its own in
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = systemColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = name.c_str();
    RegisterClassExW(&windowClass);
}

struct Disabled {
    HWND except;
    std::vector<HWND> windows;
};

BOOL CALLBACK disableOne(HWND window, LPARAM data) {
    auto *disabled = pointerFrom<Disabled>(data);
    if (window != disabled->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        disabled->windows.push_back(window);
    }
    return TRUE;
}

}  // namespace

Window::Window(const WindowDefinition &definition, HWND owner)
    : name_(definition.name), font_(definition.fontFace, definition.fontPoints),
      units_(DialogUnits::ofFont(font_.handle())), clientWidth_(definition.clientWidth),
      clientHeight_(definition.clientHeight) {
    const std::wstring className = widen(definition.name.empty() ? std::string("KVR$WINDOW") : definition.name);
    registerClass(className);
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, className.c_str(), widen(definition.title).c_str(),
                              frameStyle(definition.resizable), CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, LONG_PTR(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, LONG_PTR(&Window::procedure));
    if (definition.menuBar) menus_ = std::make_unique<Menus>(window_);
    if (definition.statusBar)
        statusBar_ = std::make_unique<StatusBar>(window_, font_.handle(), definition.statusZones,
                                                 units_.toPixelsX(definition.statusZoneWidth), definition.resizable);
    fitClientSize();
}

Window::~Window() {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, LONG_PTR(&DefWindowProcW));
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    controls_.clear();
    menus_.reset();
    statusBar_.reset();
    DestroyWindow(window_);
}

HWND Window::createControl(const wchar_t *className, const std::string &text, DWORD style, int x, int y, int w, int h,
                           int id) {
    const RECT place = units_.toPixels(RECT{x, y, x + w, y + h});
    const HWND control =
        CreateWindowExW(0, className, widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, int(place.left),
                        int(place.top), int(place.right - place.left), int(place.bottom - place.top), window_,
                        controlIdAsMenu(id), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, WPARAM(font_.handle()), FALSE);
    return control;
}

template <typename T>
T &Window::keep(std::unique_ptr<T> control) {
    T &kept = *control;
    byId_[control->id()] = control.get();
    controls_.push_back(std::move(control));
    return kept;
}

Label &Window::addLabel(const std::string &text, int x, int y, int w, int h) {
    const int id = nextId_++;
    return keep(std::make_unique<Label>(createControl(L"STATIC", text, SS_LEFT, x, y, w, h, id)));
}

GroupBox &Window::addGroupBox(const std::string &text, int x, int y, int w, int h) {
    const int id = nextId_++;
    return keep(std::make_unique<GroupBox>(createControl(L"BUTTON", text, BS_GROUPBOX, x, y, w, h, id)));
}

EntryField &Window::addEntryField(int maxLength, int x, int y, int w, int h, bool upperCase) {
    const int id = nextId_++;
    const DWORD style = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | (upperCase ? ES_UPPERCASE : 0);
    return keep(std::make_unique<EntryField>(createControl(L"EDIT", "", style, x, y, w, h, id), maxLength));
}

Button &Window::addButton(const std::string &text, int x, int y, int w, int h, bool isDefault) {
    const int id = nextId_++;
    if (isDefault) defaultButton_ = id;
    const DWORD style = WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    return keep(std::make_unique<Button>(createControl(L"BUTTON", text, style, x, y, w, h, id)));
}

PageList &Window::addPageList(int x, int y, int w, int h, const std::vector<int> &tabStops) {
    const int id = nextId_++;
    return keep(
        std::make_unique<PageList>(window_, id, units_.toPixels(RECT{x, y, x + w, y + h}), font_.handle(), tabStops));
}

void Window::setStatusText(const std::string &text, int zone) {
    if (statusBar_) statusBar_->setText(text, zone);
}

std::string Window::statusText(int zone) const { return statusBar_ ? statusBar_->text(zone) : std::string(); }

RECT Window::controlArea() const {
    RECT client{};
    GetClientRect(window_, &client);
    if (statusBar_) client.bottom -= statusBar_->height();
    return client;
}

void Window::fitClientSize() {
    const int width = units_.toPixelsX(clientWidth_);
    const int height = units_.toPixelsY(clientHeight_);
    // Twice: a menu bar may wrap onto more lines at the new width.
    for (int pass = 0; pass < 2; ++pass) {
        RECT frame{};
        GetWindowRect(window_, &frame);
        const RECT area = controlArea();
        const int frameWidth = int(frame.right - frame.left) + width - int(area.right - area.left);
        const int frameHeight = int(frame.bottom - frame.top) + height - int(area.bottom - area.top);
        SetWindowPos(window_, nullptr, 0, 0, frameWidth, frameHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Window::run() {
    running_ = true;
    closed_ = false;
    const HWND openedFrom = GetActiveWindow();
    fitClientSize();
    Disabled disabled{window_, {}};
    EnumThreadWindows(GetCurrentThreadId(), &disableOne, LPARAM(&disabled));
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetActiveWindow(window_);
    opened();
    if (!closed_) {
        PostMessageW(window_, kRunning, 0, 0);
        pump();
    }
    // The windows below are enabled before this one goes, so that the one
    // it was opened from gets the activation back.
    for (HWND window : disabled.windows) EnableWindow(window, TRUE);
    ShowWindow(window_, SW_HIDE);
    if (openedFrom && openedFrom != window_ && IsWindowVisible(openedFrom)) SetActiveWindow(openedFrom);
    running_ = false;
}

void Window::pump() {
    MSG msg{};
    while (!closed_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT ends the loops further out too.
            PostQuitMessage(int(msg.wParam));
            return;
        }
        if (got < 0) return;
        const HACCEL accelerators = menus_ ? menus_->accelerators() : nullptr;
        if (accelerators && (msg.hwnd == window_ || IsChild(window_, msg.hwnd)) &&
            TranslateAcceleratorW(window_, accelerators, &msg))
            continue;
        if (IsDialogMessageW(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = pointerFrom<Window>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->message(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Window::message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (lParam) {
            const auto control = byId_.find(id);
            if (control != byId_.end()) control->second->notified(HIWORD(wParam));
        } else if (menus_ && id != 0) {
            menus_->choose(id);
        }
        return 0;
    }
    case DM_GETDEFID:
        // Always "has a default", so that Enter never turns into a command 1
        // (IDOK) that a menu item could have.
        return MAKELRESULT(WORD(defaultButton_), DC_HASDEFID);
    case WM_MENUSELECT:
        if (statusBar_) {
            const UINT flags = HIWORD(wParam);
            if (flags == 0xFFFF && lParam == 0)
                statusBar_->hideHint();
            else if (!(flags & MF_POPUP) && menus_)
                statusBar_->showHint(menus_->hint(LOWORD(wParam)));
            else
                statusBar_->showHint({});
        }
        return 0;
    case WM_EXITMENULOOP:
        if (statusBar_) statusBar_->hideHint();
        return 0;
    case WM_SIZE:
        if (statusBar_) statusBar_->layout();
        return 0;
    case WM_ACTIVATE:
        if (running_ && LOWORD(wParam) != WA_INACTIVE) activated();
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_CLOSE:
        if (running_ && !closed_ && closeRequested()) {
            closing();
            closed_ = true;
        }
        return 0;
    case kRunning:
        if (running) running(*this);
        return 0;
    default: return DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace kvr::runtime::win32
