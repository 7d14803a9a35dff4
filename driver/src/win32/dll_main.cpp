// The DLL's entry point.  It does nothing: the library needs no set-up
// (its state starts zeroed), and nothing may start a thread or do I/O
// under the loader lock.  LibMain, the exported initialisation entry, is
// with the other exports.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
