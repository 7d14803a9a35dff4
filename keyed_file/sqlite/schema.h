// How a keyed file is laid out in its SQLite database.
//
//   records(recno, key, version, data, crc)  one row per record: the
//        record number (never reused), the key value (NULL when left out of
//        the key), the change counter, the record's bytes and the checksum
//        of those bytes (record_checksum.h), checked at every read
//   records_by_key  the key: an index on (key, recno) of the keyed rows
//   keyed_count(keyed)  how many rows are in the key, kept by triggers on
//        every write, so that an open can check the index against it
//   keyed_layout(name, record_size, key_offset, key_width, blank)  the
//        layout the file was made for, and its blank record: a record is
//        kept without the tail it shares with it (record_image.h)
//   keyed_check(stamp)  the database's change counter as this engine's last
//        write left it (see below)
// The database's application id ("KVKF") and user version mark it as a
// keyed file of this program, and the form of its records: version 3 keeps
// them without their blank tails and with their checksums; version 2, of
// files made before, without the checksums; version 1, of files made before
// that, kept every record whole (its layout without the blank record).  All
// read the same (the older forms without a check of the bytes); the first
// open for writing turns a file of an older form into the current one
// (convertRecords).  Each form has one declaration of the records table,
// the one the engine wrote: a file whose table is declared otherwise is
// refused, never turned.
//
// Checking the key at open.  That the index, the count table and its
// triggers are defined as made is read from the schema, at once.  That the
// index holds as many entries as the count says needs a walk over the
// index, which grows with the file; it is needed only when something else
// than this engine has written to the file since.  Every write of the engine
// moves the stamp on with the database's change counter (which SQLite moves
// with every write transaction, whoever makes it), provided the stamp
// matched the counter when the write began: a stamp that matches at open
// says that the last write was the engine's own, made whole or rolled back
// whole, and the walk is left out.  A file written by anything else, a file
// of before the stamp, and a file in which the database itself reported
// damage (the stamp is then cleared) are walked in full, and stamped when
// the walk finds them sound.
#ifndef KVR_KEYED_SQLITE_SCHEMA_H
#define KVR_KEYED_SQLITE_SCHEMA_H

#include "keyed_file/keyed_store.h"

#include <cstdint>
#include <string>

struct sqlite3;

namespace kvr::keyed::sqlite {

class Connection;

// The forms of the records, the database's user version.
inline constexpr int kWholeImageForm = 1;  // each record kept whole
inline constexpr int kTrimmedForm = 2;     // kept without its blank tail
inline constexpr int kCurrentForm = 3;     // and with its checksum
constexpr bool trimmedForm(int form) { return form >= kTrimmedForm; }
constexpr bool checksummedForm(int form) { return form >= kCurrentForm; }

// Makes a new keyed file of the layout at path (a file that must not exist
// yet; the caller links it into place).  The SQLite result.
[[nodiscard]] int makeKeyedFile(Connection &db, const std::string &path, const KeyedLayout &layout);

// What a check of a database found: sound; a code of the engine
// (KeyedBadDeclaration, KeyedRebuildKeys); or the SQLite result that made
// the check itself fail.
struct [[nodiscard]] SchemaState {
    KeyedErrorCode code = KeyedOk;
    int sqliteResult = 0;  // SQLITE_OK, or the SQLite result that failed
    // fullState: records whose bytes do not match their checksum (each
    // reported as damage when read; the file is never stamped sound).
    long long damagedRecords = 0;

    bool failed() const { return sqliteResult != 0; }
    bool sound() const { return code == KeyedOk && !failed(); }
    static SchemaState of(KeyedErrorCode code) { return {code, 0}; }
    static SchemaState ofSqlite(int sqliteResult) { return {KeyedOk, sqliteResult}; }
};

// Whether the open database is a keyed file of the layout: sound,
// KeyedBadDeclaration (another layout or no keyed file at all),
// KeyedRebuildKeys (checkKey: the key index, the count table or its
// triggers missing or defined otherwise) or a failed SQLite result (a
// failed SQLITE_CORRUPT when the file's blank record is not the layout's).
// KeyedBadDeclaration too when the records table is not declared as the
// engine declares it for the file's form.  form: the records' form (user
// version).  Reads the schema only.
SchemaState layoutState(Connection &db, const KeyedLayout &layout, bool checkKey, int &form);

// The check of every open, inside its read transaction: the record numbers
// at both ends of the table (two seeks, whatever the size of the file) in
// 1 .. 2^32-1 (inRange; numbers are the records' own, and no rebuild can
// give them back).  The SQLite result.
[[nodiscard]] int quickState(Connection &db, bool &inRange);

// The full check, for a file that something else than this engine wrote to
// last or in which something looks wrong: SQLite's integrity check of every
// page and of the index against the table, the index's entries against the
// count, every record's bytes against its checksum (damagedRecords), and
// every key value against its record's bytes.  Sound when all
// agree; else KeyedRebuildKeys when the table itself reads whole with
// record numbers in range (rebuilding the key then restores the file), a
// failed SQLITE_CORRUPT when it does not; or another failed SQLite result.
// Reads the whole file.
SchemaState fullState(Connection &db, const KeyedLayout &layout, int form);

// Inside a read transaction: whether the file's last write was the engine's
// own, its stamp equal to the change counter.  stampable: the file has a
// stamp.  The SQLite result.
[[nodiscard]] int lastWriteStamped(Connection &db, bool &stamped, bool &stampable);

// Inside a write transaction that began when the change counter was
// counterAtBegin: moves the stamp on with this write when the file's last
// write was stamped too.  The SQLite result.
[[nodiscard]] int stampWrite(Connection &db, std::uint32_t counterAtBegin);

// Inside a write transaction: stamps a file just found sound (making its
// stamp when it has none).  The SQLite result.
[[nodiscard]] int restamp(Connection &db);

// Clears the stamp, so that the next open walks the index.  The SQLite
// result.
[[nodiscard]] int clearStamp(Connection &db);

// Inside a write transaction: derives every key value again from the record
// bytes, then makes the index, the count table, its triggers and the stamp
// anew, whatever of them was missing or damaged.  The SQLite result.
[[nodiscard]] int rebuildKey(Connection &db, const KeyedLayout &layout);

// Inside a write transaction: turns a file of an older form into the
// current one, all in the caller's transaction: the records, read by column
// name, into a records table made anew (without their blank tails, with
// their checksums), its key index and triggers, the number sequence, the
// blank record beside the layout, the version; then proves it: every record
// reads back as before.  Nothing when another process did it first;
// SQLITE_CORRUPT when the file is not the engine's own form or the proof
// fails (the caller rolls back).  The SQLite result.
int convertRecords(Connection &db, const KeyedLayout &layout);

// When the key cannot be rebuilt in place (a page of the index, or of a
// table beside the records, is damaged): makes a new keyed file of the
// layout at temp, copies every record of db's file into it (either form;
// kept in the new file without its blank tail) with its record number,
// change counter and key value derived anew, and copies the new
// file over db's page by page through db's own connection, in one
// transaction.  Each record keeps its checksum (or, from a file of an older
// form, gets one).  The SQLite result.
[[nodiscard]] int rebuildThroughCopy(Connection &db, const std::string &temp, const KeyedLayout &layout, int form);

}  // namespace kvr::keyed::sqlite

#endif
