// What a process killed while making a keyed file leaves: the file under
// its temporary name "NAME.tps.new.<pid>" (or "NAME.tps.rebuild.<pid>" of a
// key rebuilt through a copy) and its rollback journal ("...-journal").
// Nobody else ever opens them; the process that made them is gone.
#ifndef KVR_KEYED_SQLITE_CREATION_LITTER_H
#define KVR_KEYED_SQLITE_CREATION_LITTER_H

#include <string>

namespace kvr::keyed::sqlite {

// The temporary name of path for the current process ("new" or "rebuild").
std::string temporaryNameOf(const std::string &path, const char *purpose);

// Removes, next to path, the temporary files of path made by processes that
// no longer exist (a process of the same number that lives keeps them).
// Whatever cannot be removed stays; nothing is reported.
void removeCreationLitter(const std::string &path);

}  // namespace kvr::keyed::sqlite

#endif
