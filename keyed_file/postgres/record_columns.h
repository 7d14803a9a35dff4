// How the records of a layout lie in the columns of their table.
//
//   recno      integer, the record number (an identity column: numbers are
//              never given twice)
//   version    bigint, the change counter: 1 when added, one more on every put
//   one column per field of the layout, named as the field: text fields as
//              text (the Windows-1252 bytes as UTF-8, western_utf8.h, without
//              their padding), numbers as integer, bytes as bytea
//   key_value  bytea, the key value (key_value.h), NULL when the record is
//              left out of the key: computed by the server from the key's
//              text field (schema.h), so that it is right whoever writes
//   crc        bigint, the CRC-32C of the field values (checksumOf),
//              written by every add and put of the engine and checked at
//              every read; NULL (a row another program wrote) is read
//              unchecked
//
// So other programs can read and write the library with plain SQL: a text
// that is too long is cut to its field.  The key must be a text field of its
// own.
#ifndef KVR_KEYED_POSTGRES_RECORD_COLUMNS_H
#define KVR_KEYED_POSTGRES_RECORD_COLUMNS_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/postgres/connection.h"
#include "keyed_file/postgres/params.h"

#include <string>
#include <vector>

namespace kvr::keyed::pg {

class RecordColumns {
public:
    explicit RecordColumns(const KeyedLayout &layout);

    // Whether the fields cover the record in order, without gaps, with names
    // that are plain lower-case identifiers other than the table's own, and
    // the key is one text field.
    bool valid() const { return valid_; }
    const KeyedField &keyField() const { return fields_[keyIndex_]; }
    std::size_t count() const { return fields_.size(); }
    // "card", "name", ... for a column list.
    std::string names() const;
    // "$1, $2, ..." and "card = $1, name = $2, ...": the fields' values as
    // the first parameters of a statement.
    std::string placeholders() const;
    std::string assignments() const;
    // "card text NOT NULL, ..." for CREATE TABLE.
    std::string definitions() const;
    // The layout as the registry keeps it: "card text 0 10;name text 10 30;..."
    std::string description() const;

    // The fields' values of record, in column order.
    void addValues(Params &params, const std::vector<unsigned char> &record) const;
    // The record from the field columns of a row, starting at firstColumn.
    std::vector<unsigned char> recordOf(const Outcome &outcome, int row, int firstColumn) const;
    // The checksum of a row's field values as the server keeps them (each
    // value's bytes in the binary form they travel in, with its length):
    // of the first count() parameters a write sends, or of the field
    // columns of a row read, starting at firstColumn.  The same for the
    // same values, so that a value changed since it was written shows.
    std::uint32_t checksumOf(const Params &params) const;
    std::uint32_t checksumOf(const Outcome &outcome, int row, int firstColumn) const;

private:
    std::vector<KeyedField> fields_;
    std::size_t recordSize_ = 0;
    std::size_t keyIndex_ = 0;
    bool valid_ = false;
};

}  // namespace kvr::keyed::pg

#endif
