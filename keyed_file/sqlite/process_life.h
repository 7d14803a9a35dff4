// Processes by number, for the names of what a creation leaves behind
// (creation_litter.h): the platform seam, kill(pid, 0) on POSIX
// (process_life_posix.cpp), OpenProcess and GetExitCodeProcess on Windows
// (process_life_win32.cpp).
#ifndef KVR_KEYED_SQLITE_PROCESS_LIFE_H
#define KVR_KEYED_SQLITE_PROCESS_LIFE_H

namespace kvr::keyed::sqlite {

// The number of the current process.
long currentProcessId();

// Whether no process of that number lives (a number of a living process,
// or one that cannot be told, is not gone).
bool processGone(long pid);

}  // namespace kvr::keyed::sqlite

#endif
