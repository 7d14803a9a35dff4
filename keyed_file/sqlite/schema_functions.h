// The SQL functions over a record's stored bytes, of either form, that the
// full check and the conversion of a keyed file (schema.h) run in their
// statements:
//   keyed_key(data)    the key value, as the engine makes it (NULL when
//                      blank), for comparing the stored key values in SQL
//   keyed_kept(data)   the bytes without the tail they share with the blank
//                      record
//   keyed_crc(data)    the checksum of the bytes as the current form keeps
//                      them (without the blank tail; record_checksum.h)
//   keyed_image(data)  the record's whole image
#ifndef KVR_KEYED_SQLITE_SCHEMA_FUNCTIONS_H
#define KVR_KEYED_SQLITE_SCHEMA_FUNCTIONS_H

#include "keyed_file/keyed_store.h"

#include <string>

namespace kvr::keyed::sqlite {

class Connection;

// The layout and its blank record, as the functions see them.
struct ImageLayout {
    const KeyedLayout &layout;
    const std::string blank;
};

// The functions above on db, for as long as the object lives.
class RecordFunctions {
public:
    RecordFunctions(Connection &db, const KeyedLayout &layout);
    ~RecordFunctions();
    RecordFunctions(const RecordFunctions &) = delete;
    RecordFunctions &operator=(const RecordFunctions &) = delete;
    int result() const { return result_; }  // SQLITE_OK when all are there

private:
    std::string *blank() { return const_cast<std::string *>(&image_.blank); }
    Connection &db_;
    ImageLayout image_;
    int result_ = 0;
};

}  // namespace kvr::keyed::sqlite

#endif
