// Building a keyed file's key anew: in place from the record bytes, or
// through a copy into a new file when the damage is beyond that (schema.h).
#include "keyed_file/sqlite/schema.h"

#include "keyed_file/record_checksum.h"
#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema_sql.h"
#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace kvr::keyed::sqlite {

int rebuildKey(Connection &db, const KeyedLayout &layout) {
    // First everything that refers to the count, so that nothing on the
    // records table depends on a count table that may be missing or wrong.
    std::string drop;
    for (const Trigger &t : kTriggers) drop += std::string("DROP TRIGGER IF EXISTS ") + t.name + "; ";
    int result = db.exec(drop + "DROP INDEX IF EXISTS records_by_key; DROP TABLE IF EXISTS keyed_count;");
    if (result == SQLITE_OK) {
        Statement read(db.handle(), "SELECT recno, data FROM records");
        Statement update(db.handle(), "UPDATE records SET key = ?1 WHERE recno = ?2 AND key IS NOT ?1");
        const std::string blank = blankImageOf(layout);
        result = !read.ready() ? read.result() : update.result();
        if (result == SQLITE_OK)
            result = eachRow(read, [&] {
                update.reset();
                update.bindKey(1, keyOfStored(read.bytes(1), layout, blank));
                update.bind(2, read.integer(0));
                return update.step();
            });
    }
    if (result == SQLITE_OK) result = db.exec(kIndexSql);
    if (result == SQLITE_OK)
        result =
            db.exec(std::string(kCountTableSql) +
                    "; INSERT INTO keyed_count SELECT count(*) FROM records WHERE key IS NOT NULL; " + triggersSql());
    // The next open walks the rebuilt index once and stamps the file.
    if (result == SQLITE_OK) result = db.exec(std::string(kCheckTableSql) + "; DELETE FROM keyed_check;");
    return result;
}

int rebuildThroughCopy(Connection &db, const std::string &temp, const KeyedLayout &layout, int form) {
    Connection made;
    int result = makeKeyedFile(made, temp, layout);
    if (result == SQLITE_OK) result = made.exec("BEGIN");
    if (result == SQLITE_OK) {
        // A record's checksum goes with it as it was: a record whose bytes
        // changed stays damaged in the copy.
        Statement read(db.handle(), checksummedForm(form)
                                        ? "SELECT recno, version, data, crc FROM records NOT INDEXED"
                                        : "SELECT recno, version, data, NULL FROM records NOT INDEXED");
        Statement insert(made.handle(),
                         "INSERT INTO records(recno, key, version, data, crc) VALUES (?1, ?2, ?3, ?4, ?5)");
        const std::string blank = blankImageOf(layout);
        result = !read.ready() ? read.result() : insert.result();
        if (result == SQLITE_OK)
            result = eachRow(read, [&] {
                // Of either form; kept in the new file without its blank tail.
                const std::string image = restoredImage(read.bytes(2), blank);
                insert.reset();
                insert.bind(1, read.integer(0));
                insert.bindKey(2, keyOfStored(image, layout, blank));
                insert.bind(3, read.integer(1));
                const std::string_view kept = std::string_view(image).substr(0, keptLength(image, blank));
                insert.bindBytes(4, kept);
                insert.bind(5, read.isNull(3) ? static_cast<std::int64_t>(recordChecksum(kept)) : read.integer(3));
                return insert.step();
            });
    }
    // Numbers once given are never given again: the highest ever given, when
    // it can still be read.
    if (result == SQLITE_OK) {
        long long highest = 0;
        if (scalar(db, "SELECT seq FROM sqlite_sequence WHERE name = 'records'", highest) == SQLITE_OK)
            result = keepSequence(made, highest);
    }
    if (result == SQLITE_OK) result = made.exec("COMMIT");
    if (result == SQLITE_OK) {
        sqlite3_backup *copy = sqlite3_backup_init(db.handle(), "main", made.handle(), "main");
        if (!copy) return sqlite3_extended_errcode(db.handle());
        const int stepped = sqlite3_backup_step(copy, -1);
        result = sqlite3_backup_finish(copy);
        if (stepped != SQLITE_DONE) result = stepped;
    }
    return result;
}

}  // namespace kvr::keyed::sqlite
