#include "keyed_file/sqlite/process_life.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace kvr::keyed::sqlite {

long currentProcessId() { return static_cast<long>(::getpid()); }

bool processGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

}  // namespace kvr::keyed::sqlite
