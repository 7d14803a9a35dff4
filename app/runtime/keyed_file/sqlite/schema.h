// How a keyed file is laid out in its SQLite database.
//
//   records(recno, key, version, data)  one row per record: the record
//        number (never reused), the key value (NULL when left out of the
//        key), the change counter and the record's bytes
//   records_by_key  the key: an index on (key, recno) of the keyed rows
//   keyed_count(keyed)  how many rows are in the key, kept by triggers on
//        every write, so that an open can check the index against it
//   keyed_layout(name, record_size, key_offset, key_width)  the layout the
//        file was made for
// The database's application id ("KVKF") and user version (1) mark it as a
// keyed file of this program.
#ifndef KVR_RUNTIME_SQLITE_SCHEMA_H
#define KVR_RUNTIME_SQLITE_SCHEMA_H

#include "runtime/keyed_file/keyed_store.h"

#include <string>

struct sqlite3;

namespace kvr::runtime::sqlite {

class Connection;

// Makes a new keyed file of the layout at path (a file that must not exist
// yet; the caller links it into place).  The SQLite result.
int makeKeyedFile(Connection &db, const std::string &path, const KeyedLayout &layout);

// Whether the open database is a keyed file of the layout: 0, 47 (another
// layout or no keyed file at all), 46 (checkIndex: the key index missing,
// defined otherwise, or holding another number of entries than the count)
// or a SQLite result as a negative number.
int layoutState(Connection &db, const KeyedLayout &layout, bool checkIndex);

// Inside a write transaction: derives every key value again from the record
// bytes, then makes the index and its count anew.  The SQLite result.
int rebuildKey(Connection &db, const KeyedLayout &layout);

}  // namespace kvr::runtime::sqlite

#endif
