#include "library/commands_library.h"

#include "common/text.h"

#include "library/open_keyed_file.h"
#include "library/standard_warnings.h"
#include "keyed_file/network_volume.h"
#include "keyed_file/store_choice.h"

#include <algorithm>
#include <filesystem>

namespace kvr::library {

CommandsLibrary::CommandsLibrary(runtime::UserInteraction &interaction, std::string database)
    : database_(std::move(database)), fileSystemOf_(keyed::networkFileSystemOf), warnings_(interaction),
      commandsRecord_(blankCommands()), importRecord_(blankCommands()),
      commands_(commandsLayout(), "COMMANDS", keyed::makeKeyedStore(database_, commandsLayout())),
      // The file imported from is always a file of this station, whatever
      // keeps COMMANDS.
      import_(commandsLayout(), "", keyed::makeKeyedStore({}, commandsLayout())) {
    commands_.bind(commandsBinding(commandsRecord_));
    import_.bind(commandsBinding(importRecord_));
}

keyed::KeyedFile &CommandsLibrary::importFile() {
    if (!import_.isOpen()) {
        import_.setName(std::string(common::trimRight(importName_)));
    }
    return import_;
}

// The whole name: a path cut short would open another file, or none.
void CommandsLibrary::setImportFileName(std::string_view name) { importName_ = std::string(name); }

bool CommandsLibrary::isTeamLibrary() const { return keyed::isTeamDatabase(database_); }

std::string CommandsLibrary::placeText() const {
    if (isTeamLibrary()) return "PostgreSQL " + keyed::teamDatabaseText(database_);
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(commands_.path(), ec);
    return ec ? commands_.path() : absolute.lexically_normal().string();
}

void CommandsLibrary::openCommands() {
    if (!placeChecked_ && !isTeamLibrary()) warnWhenOnNetworkDrive(warnings_.interaction(), placeText(), fileSystemOf_);
    placeChecked_ = true;
    if (useCount_ == 0) openKeyedFile(warnings_, commands_, 0, true, true);
    ++useCount_;
}

void CommandsLibrary::closeCommands() {
    if (useCount_ <= 0) return;
    --useCount_;
    if (useCount_ == 0) commands_.close();
}

WriteResult CommandsLibrary::updateCommandsRecord(bool fromForm) {
    if (commands_.beginTransaction(kTransactionTimeoutMs) != keyed::KeyedOk) {
        warnings_.saveFileError(commands_);
        warnings_.tell(Warning::TransactionFramingFailed, "Update", "Commands");
        return WriteResult::Failed;
    }
    updatePosition_ = commands_.position().substr(0, kPositionWidth);
    if (commands_.put() == keyed::KeyedOk) {
        if (commands_.commit() == keyed::KeyedOk) return WriteResult::Written;
        // The commit itself failed: nothing was written, so say so.
        warnings_.saveFileError(commands_);
        warnings_.tell(Warning::UpdateFailed, "Commands");
        return WriteResult::Failed;
    }
    warnings_.saveFileError(commands_);
    if (warnings_.savedFileError().code == keyed::KeyedChanged) {
        // The record as the other station left it, read before the warning
        // (the saved error waits for it) so that the warning can say when
        // there is none.
        commands_.watch();
        const bool gone = commands_.readByPosition(updatePosition_) == keyed::KeyedRecordNotFound;
        // Warning 38 keeps its fixed wording; that the record is gone is
        // the form's to say, in its status bar.
        if (!fromForm)
            warnings_.tell(Warning::UpdateFailed, "Record Changed by Another Station");
        else
            warnings_.tell(Warning::RecordWasNotUpdated);
        return gone ? WriteResult::DeletedByAnotherStation : WriteResult::ChangedByAnotherStation;
    }
    warnings_.tell(Warning::UpdateFailed, "Commands");
    return WriteResult::Failed;
}

WriteResult CommandsLibrary::deleteCommandsRecord() {
    const std::string kept = commands_.position().substr(0, kPositionWidth);
    if (commands_.beginTransaction(kTransactionTimeoutMs) != keyed::KeyedOk) {
        warnings_.saveFileError(commands_);
        warnings_.tell(Warning::TransactionFramingFailed, "Delete", "Commands");
        return WriteResult::Failed;
    }
    if (commands_.readByPosition(kept) != keyed::KeyedOk || commands_.remove() != keyed::KeyedOk ||
        commands_.commit() != keyed::KeyedOk) {
        warnings_.saveFileError(commands_);
        warnings_.tell(Warning::DeleteFailed, "Commands");
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

}  // namespace kvr::library
