#include "keyed_file/sqlite/process_life.h"

#include <windows.h>

namespace kvr::keyed::sqlite {

long currentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

bool processGone(long pid) {
    if (pid <= 0) return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    // No such process: the number is not in use.  Refused access means a
    // process of someone else's, which lives.
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    // A process that ended but whose handle someone still holds is gone too.
    const bool gone = ::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    ::CloseHandle(process);
    return gone;
}

}  // namespace kvr::keyed::sqlite
