// The wait cursor, shown for as long as a WaitCursor lives (blocking reader
// calls, during which no message is handled).  Guards nest: each puts back
// the cursor it found.
#ifndef KVR_RUNTIME_WIN32_WAIT_CURSOR_H
#define KVR_RUNTIME_WIN32_WAIT_CURSOR_H

#include <windows.h>

namespace kvr::runtime::win32 {

class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

    // True while the wait cursor is the thread's cursor.
    static bool active() { return GetCursor() == LoadCursorW(nullptr, IDC_WAIT); }

private:
    HCURSOR previous_;
};

}  // namespace kvr::runtime::win32

#endif
