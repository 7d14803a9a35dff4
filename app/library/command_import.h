// The import of another command file into COMMANDS, without windows: the
// source (the library's IMP file, named by the import file name) is opened
// for reading only with other writers locked out (access mode 20h: the
// source is left byte for byte, whatever its form, where 22h would turn a
// file of an older form and stamp it), read in the order of its key, and every record is appended to COMMANDS as
// it is, as one 184-byte block.  No comparison with the records already
// there: importing a file twice stores its records twice.
//
// Appends are grouped in batches, each one transaction: a batch ends when
// ImportBatching::records records were tried in it or it has run for
// ImportBatching::time, so that another process that wants to write
// COMMANDS waits for at most one short batch (well inside its 2-second
// lock wait), and a process killed in the middle leaves whole batches.
// Inside a batch the records are added in groups, each record's outcome
// its own: a group is one round trip on the team library, whose server
// adds it while the next group is read (KeyedFile::sendAdds, receiveAdds).
//
// Nothing is passed over in silence: an append that fails is counted and
// the import goes on with the next record; a batch whose commit fails
// counts its records as not appended; a batch that cannot start its
// transaction within 2 seconds stops the writing, and the records left are
// read and counted as not appended; a read error stops the import, keeping
// what was appended.  The first failure is described as the standard
// warnings describe an engine error ("File Is Already Locked (32)").
//
// Only the keyed-file operations are used (open, key order, add,
// transactions), so any store behind KeyedFile serves.  Importing the open
// COMMANDS into itself, under any name, is refused by the engine's rule that
// a file already open in the process cannot be opened again (KeyedAlreadyOpen).
#ifndef KVR_LIBRARY_COMMAND_IMPORT_H
#define KVR_LIBRARY_COMMAND_IMPORT_H

#include "keyed_file/keyed_file.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kvr::library {

class CommandsLibrary;

struct ImportBatching {
    std::size_t records = 10000;
    std::chrono::milliseconds time{100};
};

struct ImportReport {
    std::int64_t read = 0;         // source records read
    std::int64_t appended = 0;     // committed to COMMANDS
    std::int64_t pending = 0;      // appended in the open batch, not yet committed
    std::int64_t notAppended = 0;  // read but not in COMMANDS
    bool readError = false;        // the source could not be read to its end
    std::string firstError;        // the first failure, "" when none
    std::int64_t withoutCard = 0;  // source records with a blank card name: not
                                   // in the key, never read nor appended

    bool clean() const { return notAppended == 0 && !readError; }
};

// Called after each record read, with the counts so far.
using ImportProgress = std::function<void(const ImportReport &)>;

// The source could not be opened: the engine's code and the file's name as
// the engine reports it (at most 79 characters).
struct ImportOpenError {
    int code = 0;
    std::string file;
};

struct ImportResult {
    std::optional<ImportOpenError> openError;  // set: nothing was read
    ImportReport report;
};

// Appends every record of the open source, in key order, to the open
// target; copy() moves the record just read into the target's record
// buffer.  The source is left open.
ImportReport appendInKeyOrder(keyed::KeyedFile &source, keyed::KeyedFile &target, const std::function<void()> &copy,
                              const ImportBatching &batching = {}, const ImportProgress &progress = {});

// The import from the library's import file name: COMMANDS is opened for
// the time of the import (through the use count; a COMMANDS that cannot be
// opened ends the program through the standard warnings), the source is
// opened with mode 22h, appended and closed.
ImportResult importCommandFile(CommandsLibrary &library, const ImportBatching &batching = {},
                               const ImportProgress &progress = {});

// What the operator is told.  The "ERROR" box: "Error 52 al abrir el
// archivo: COMMANDS.tps".  An import that left records out or stopped:
// the counts and the first error, one line each.  A clean import of N > 0
// records: "N comandos importados" ("1 comando importado") in the status
// bar; an empty source says so there too, in place of what an earlier
// import said.  Records without a card name, left behind, are counted in
// both ("2 sin tarjeta, no importados").
std::string openErrorText(const ImportOpenError &error);
std::string importReportText(const ImportReport &report);
std::string importedStatusText(const ImportReport &report);

}  // namespace kvr::library

#endif
