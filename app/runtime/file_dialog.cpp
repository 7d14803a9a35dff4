#include "runtime/file_dialog.h"

namespace kvr::runtime {

std::string chooseOpenFile(UserInteraction &interaction, const std::string &title, const std::string &filter,
                           const std::string &start) {
    return interaction.chooseOpenFile({title, filter, start});
}

std::string chooseSaveFile(UserInteraction &interaction, const std::string &title, const std::string &filter,
                           const std::string &start) {
    return interaction.chooseSaveFile({title, filter, start});
}

}  // namespace kvr::runtime
