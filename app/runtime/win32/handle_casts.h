// The casts between integers and handles or pointers that the Win32 calls
// ask for, each written once: a control's id passed where CreateWindowEx
// takes a menu, a system colour's brush, and the object pointer a window
// keeps in its user data (or a subclass procedure in its reference data).
#ifndef KVR_RUNTIME_WIN32_HANDLE_CASTS_H
#define KVR_RUNTIME_WIN32_HANDLE_CASTS_H

#include <windows.h>

namespace kvr::runtime::win32 {

inline HMENU controlIdAsMenu(int id) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

inline HBRUSH systemColorBrush(int colorIndex) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colorIndex + 1));
}

template <typename T>
T *pointerFrom(LONG_PTR value) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<T *>(value);
}

}  // namespace kvr::runtime::win32

#endif
