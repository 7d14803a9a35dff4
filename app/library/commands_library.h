// The command library of one run of the manager: the COMMANDS file with its
// record buffer and use count, the import source IMP with its own buffer and
// file name, the position an update is writing, and the standard warnings
// with the file error they keep.
//
// The program makes one library and hands it by reference to the main
// window and to every window that opens COMMANDS; they all share its record
// buffer (a window that keeps a record across a call of another window keeps
// its own copy).  Only the user-interface thread uses it.
#ifndef KVR_LIBRARY_COMMANDS_LIBRARY_H
#define KVR_LIBRARY_COMMANDS_LIBRARY_H

#include "library/commands_file.h"
#include "library/network_drive_warning.h"
#include "library/standard_warnings.h"
#include "keyed_file/keyed_file.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::library {

// How an update or a delete of the current record ended.
enum class WriteResult {
    Written,
    Failed,                   // a warning told why; the file is unchanged
    ChangedByAnotherStation,  // nothing written; the buffer holds the stored record
    DeletedByAnotherStation,  // nothing written and nothing to read back: the
                              // buffer still holds what was to be written
};

// What the edit form says when the record it was changing was deleted by
// another station: below the warning RecordWasNotUpdated, whose "changes
// will now be displayed" has nothing to display then, and in its status bar.
inline constexpr const char *kRecordDeletedElsewhere = "Otra estación borró el registro: OK lo añadirá de nuevo";

// How the command browser calls the edit form (request 1 insert, 2 change,
// 3 delete; response 1 completed, 2 cancelled), and the form's history
// record: the record buffer at the last save attempt made through the form,
// shared by all its openings and blank until the first one.
struct FormCall {
    std::int32_t request = 0;
    std::int32_t response = 0;
    Commands history = blankCommands();
};

class CommandsLibrary {
public:
    static constexpr std::size_t kPositionWidth = 512;
    static constexpr int kTransactionTimeoutMs = 2000;

    // database: where COMMANDS is kept.  Empty, "COMMANDS.tps" in the
    // current directory; otherwise the libpq connection string of the team
    // library, a PostgreSQL database several stations share
    // (keyed_file/store_choice.h).  The import source is always a
    // file.
    // interaction: where the library's warnings go.
    explicit CommandsLibrary(runtime::UserInteraction &interaction, std::string database = {});
    CommandsLibrary(const CommandsLibrary &) = delete;
    CommandsLibrary &operator=(const CommandsLibrary &) = delete;

    // The warnings every window of the library raises.
    Warnings &warnings() { return warnings_; }

    // COMMANDS ("COMMANDS.tps" in the current directory) and its record
    // buffer: every read fills the buffer, every add and put writes it.
    keyed::KeyedFile &commandsFile() { return commands_; }
    Commands &commandsRecord() { return commandsRecord_; }

    // The import source: same layout and key, named by the import file name,
    // never created; its own buffer.  While it is closed its name follows
    // the import file name (trailing spaces dropped).
    keyed::KeyedFile &importFile();
    Commands &importRecord() { return importRecord_; }
    const std::string &importFileName() const { return importName_; }
    void setImportFileName(std::string_view name);

    const std::string &database() const { return database_; }
    bool isTeamLibrary() const;
    // Where the library is, for the operator: the file's full path, or
    // "PostgreSQL user@host:port/dbname" for the team library (never its
    // password).
    std::string placeText() const;

    // Where the file system of a path is told (statfs); tests give another.
    void setFileSystemProbe(FileSystemProbe probe) { fileSystemOf_ = std::move(probe); }

    // Open: when no window has COMMANDS open, openKeyedFile(COMMANDS, 0,
    // create, shared), which returns only with the file open; then count.
    // The first open of a library file on a network drive warns that it may
    // lose commands (network_drive_warning.h).
    // Close: uncount; the last user closes the file.  A close without its
    // open changes nothing.
    void openCommands();
    void closeCommands();
    std::int32_t useCount() const { return useCount_; }

    // Writes the record buffer over the record last read with a watched
    // read.  Failed: warning TransactionFramingFailed or UpdateFailed told
    // why.  ChangedByAnotherStation: RecordWasNotUpdated (fromForm) or
    // UpdateFailed told the operator, and the buffer holds the stored record,
    // watched again.  DeletedByAnotherStation: the same warning (from the
    // form with the line kRecordDeletedElsewhere below it), but the record
    // is gone and the buffer still holds what was to be written.
    WriteResult updateCommandsRecord(bool fromForm);
    // Deletes the record last read: Written, or Failed after
    // TransactionFramingFailed or DeleteFailed.
    WriteResult deleteCommandsRecord();
    // The position of the record the last update was writing.
    const std::string &updatePosition() const { return updatePosition_; }

    // The edit form's request, response and history record.
    FormCall &formCall() { return formCall_; }

private:
    std::string database_;
    FileSystemProbe fileSystemOf_;
    bool placeChecked_ = false;
    Warnings warnings_;
    Commands commandsRecord_;
    Commands importRecord_;
    keyed::KeyedFile commands_;
    keyed::KeyedFile import_;
    std::string importName_;
    std::int32_t useCount_ = 0;
    std::string updatePosition_;
    FormCall formCall_;
};

}  // namespace kvr::library

#endif
