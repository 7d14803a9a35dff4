// What a refusal of a file a user names says; the same on every platform.
#include "common/user_file.h"

#include <cstring>

namespace kvr::common {

std::string refusalText(const UserFile &file) {
    switch (file.refusal) {
    case Refusal::None: return {};
    case Refusal::System: return std::strerror(file.error);
    case Refusal::Folder: return "it is a folder";
    case Refusal::Fifo: return "it is a FIFO that no program reads";
    case Refusal::NotAFile: return "it is not a regular file";
    }
    return {};
}

}  // namespace kvr::common
