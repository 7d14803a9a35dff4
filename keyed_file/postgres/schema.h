// How keyed files lie in a PostgreSQL database.
//
//   kvr_keyed_files  the registry: one row per keyed file of this program,
//        with the version of the form its table has (2) and the layout it
//        was made for; a table this program did not make, a row of another
//        version or another layout is refused with KeyedBadDeclaration
//   <file>  one table per keyed file (record_columns.h), named as the file
//        without folder and extension, in lower case ("COMMANDS.tps" gives
//        "commands")
//   <file>_by_key  the key: an index on (key_value, recno) of the rows in
//        the key; missing or unusable: KeyedRebuildKeys
//   kvr_key_value(text, integer)  the key value of a text field, as the
//        engine computes it (key_value.h), for the table's key_value column
//
// The registry and a file's table are made on first use, in one transaction
// under an advisory lock, so that two stations starting at once make them
// once.
//
// The library is the registry the session's search_path finds, and its
// tables are the ones in the registry's schema.  A database that holds a
// registry the session cannot see (a user whose search_path leaves out the
// library's schema), or a table seen in another schema than its registry,
// is refused at open and at creation with KeyedSystemError and a text
// naming the schemas, never answered with a new, empty library.
#ifndef KVR_KEYED_POSTGRES_SCHEMA_H
#define KVR_KEYED_POSTGRES_SCHEMA_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/postgres/connection.h"
#include "keyed_file/postgres/record_columns.h"

#include <string>
#include <vector>

namespace kvr::keyed::pg {

// The form of a file's table: 2 with the records' checksums (crc), 1 of
// before, without them, read as it is and turned by the first open for
// writing (addChecksums).
inline constexpr int kSchemaVersion = 2;
inline constexpr int kUncheckedVersion = 1;

// The table of a keyed file's path.
std::string tableNameOf(const std::string &path);

// 0 when the file is there as this program makes it; KeyedNotFound when neither the
// registry row nor the table is there; KeyedBadDeclaration or KeyedRebuildKeys as above (KeyedRebuildKeys only with
// checkIndex); a failure of the server.
// version: the form the file's table has.
KeyedStatus checkSchema(Connection &db, const std::string &table, const KeyedLayout &layout,
                        const RecordColumns &columns, bool checkIndex, int &version);
// checkSchema in two halves, so that its look goes in one batch with
// others (Connection::runAll): the two statements of the look, and the
// verdict on their two answers.
std::vector<Statement> schemaLook(const std::string &table);
KeyedStatus schemaOf(const Outcome *answers, const std::string &table, const KeyedLayout &layout,
                     const RecordColumns &columns, bool checkIndex, int &version);

// Turns a table of version 1 into the current form in one transaction: the
// checksum column, every row's checksum computed from the row as it reads,
// proved by reading them back, and the registry's version.  Nothing when
// another station did it first.  The server's failure when it cannot (the
// user does not own the table): the table is then used as it is.
KeyedStatus addChecksums(Connection &db, const std::string &table, const RecordColumns &columns);

// Whether the session's user may write the file's table (insert, update and
// delete): 0, or KeyedAccessDenied when not, so that an open for writing is refused at once
// as the SQLite store refuses a read-only file, rather than every write
// failing later.  Reading needs SELECT alone.
KeyedStatus checkWriteRights(Connection &db, const std::string &table);
// The same in halves: the statement, and the verdict on its answer.
Statement writeRightsLook(const std::string &table);
KeyedStatus writeRightsOf(const Outcome &rights, const std::string &table);

// Makes the registry (when missing) and the file's table, index and row;
// KeyedAlreadyExists when the table or its row is there already.
KeyedStatus makeSchema(Connection &db, const std::string &table, const KeyedLayout &layout,
                       const RecordColumns &columns);

// Computes every key value again and makes the index anew.
KeyedStatus rebuildKey(Connection &db, const std::string &table, const RecordColumns &columns);

}  // namespace kvr::keyed::pg

#endif
