#include "keyed_file/postgres/schema.h"

#include "keyed_file/key_value.h"
#include "keyed_file/postgres/status.h"
#include "keyed_file/postgres/western_utf8.h"

namespace kvr::keyed::pg {

namespace {

constexpr const char *kRegistry = "kvr_keyed_files";
// Held while making the schema: "KVRKEYED" as a number.
constexpr const char *kMakingLock = "5067447054211339588";

std::string indexNameOf(const std::string &table) { return table + "_by_key"; }

std::string indexSql(const std::string &table) {
    return "CREATE INDEX " + indexNameOf(table) + " ON " + table + " (key_value, recno) WHERE key_value IS NOT NULL";
}

// The key value of a text field as key_value.h computes it from the
// field's bytes: letters in upper case, NUL read as space, padded to the
// width; blank gives NULL.  Written out from the engine's own tables.
//
// PL/pgSQL, since the server keeps its plan for the session: an SQL
// function would be planned again for every INSERT, which made the server
// spend most of an import's time on the key column.
std::string keyFunctionSql() {
    std::string lower, upper;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const unsigned char up = b == 0 ? ' ' : westernUpper(byte);
        if (up == byte) continue;
        lower += utf8OfWestern(std::string(1, static_cast<char>(byte)));
        upper += utf8OfWestern(std::string(1, static_cast<char>(up)));
    }
    // The characters of the bytes 0x80 to 0x9F, and those bytes' Latin-1
    // characters, which the server's LATIN1 encoding turns back into them.
    std::string high, latin1;
    for (int b = 0x80; b < 0xA0; ++b) {
        high += utf8OfWestern(std::string(1, static_cast<char>(b)));
        latin1 += static_cast<char>(0xC2);
        latin1 += static_cast<char>(b);
    }
    // Plain ASCII text (as many bytes as characters in a UTF8 database), the
    // usual key, takes a short way to the same value: its letters in upper
    // case, its bytes as they are.  The translations and the pattern below
    // cost three times as much.
    return "CREATE OR REPLACE FUNCTION kvr_key_value(field text, width integer) RETURNS bytea"
           " LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $kvr$"
           " DECLARE k text;"
           " BEGIN"
           "  IF octet_length(field) = length(field) THEN"
           "   k := rpad(translate(left(field, width), 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'),"
           " width);"
           "   IF btrim(k, ' ') = '' THEN RETURN NULL; END IF;"
           "   RETURN convert_to(k, 'LATIN1');"
           "  END IF;"
           "  k := rpad(translate(left(field, width), '" +
           lower + "', '" + upper +
           "'), width);"
           "  IF btrim(k, ' ') = '' THEN RETURN NULL; END IF;"
           // A character the code page lacks counts as '?'.
           "  RETURN convert_to(translate(regexp_replace(k, '[^\\u0001-\\u007f\\u00a0-\\u00ff" +
           high + "]', '?', 'g'), '" + high + "', '" + latin1 +
           "'), 'LATIN1');"
           " END $kvr$";
}

std::string tableSql(const std::string &table, const RecordColumns &columns) {
    const KeyedField &key = columns.keyField();
    return "CREATE TABLE " + table +
           " (recno integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, version bigint NOT NULL DEFAULT 1, " +
           columns.definitions() + ", crc bigint, key_value bytea GENERATED ALWAYS AS (kvr_key_value(" + key.name +
           ", " + std::to_string(key.width) + ")) STORED)";
}

KeyedStatus rolledBack(Connection &db, KeyedStatus status) {
    db.exec("ROLLBACK");
    db.setInTransaction(false);
    return status;
}

// Where the session's search_path finds the library against where the
// database holds it: the registry as the session sees it, every schema
// holding a registry, and the schema the file's table is seen in.  The
// library is the registry the session sees; a registry that exists but is
// hidden from the session, or a table seen in another schema than its
// registry, would make the program start a second, empty library beside
// the team's (or read another's table): refused, saying where it is.
// hasRegistry, hasTable: the registry and the table as the session sees
// them.
Statement placeLook(const std::string &table) {
    return {"SELECT (SELECT n.nspname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
            "   WHERE c.oid = to_regclass($1)),"
            " (SELECT string_agg(n.nspname, ', ' ORDER BY n.nspname) FROM pg_class c"
            "   JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relname = $1 AND c.relkind = 'r'),"
            " (SELECT n.nspname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
            "   WHERE c.oid = to_regclass($2)),"
            " current_setting('search_path')",
            Params().text(kRegistry).text(table)};
}

KeyedStatus placeOf(const Outcome &place, const std::string &table, bool &hasRegistry, bool &hasTable) {
    if (!place.ok()) return place.status();
    const bool seen = !place.isNull(0, 0), anywhere = !place.isNull(0, 1), tableSeen = !place.isNull(0, 2);
    hasRegistry = seen;
    hasTable = tableSeen;
    const std::string searchPath(place.bytes(0, 3));
    if (!seen && anywhere)
        return {KeyedSystemError, "3F000",
                "the team library is in the schema " + std::string(place.bytes(0, 1)) +
                    ", which this user's search_path (" + searchPath +
                    ") does not reach; a second library is not made: set the user's search_path to include it"};
    if (seen && tableSeen && place.bytes(0, 0) != place.bytes(0, 2))
        return {KeyedSystemError, "3F000",
                "the table " + table + " is seen in the schema " + std::string(place.bytes(0, 2)) +
                    ", its library's registry in " + std::string(place.bytes(0, 0)) + " (search_path " + searchPath +
                    "): set the user's search_path to the library's schema"};
    return KeyedStatus::success();
}

KeyedStatus libraryPlace(Connection &db, const std::string &table, bool &hasRegistry, bool &hasTable) {
    const Statement look = placeLook(table);
    return placeOf(db.run(look.sql, look.params), table, hasRegistry, hasTable);
}

}  // namespace

std::string tableNameOf(const std::string &path) {
    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    base = base.substr(0, base.find('.'));
    std::string table;
    for (char c : base) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        table += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    }
    if (table.empty() || (table[0] >= '0' && table[0] <= '9')) table = "file_" + table;
    return table.substr(0, 50);
}

Statement writeRightsLook(const std::string &table) {
    return {"SELECT has_table_privilege(to_regclass($1), 'INSERT')"
            " AND has_table_privilege(to_regclass($1), 'UPDATE')"
            " AND has_table_privilege(to_regclass($1), 'DELETE')",
            Params().text(table)};
}

KeyedStatus writeRightsOf(const Outcome &rights, const std::string &table) {
    if (!rights.ok()) return rights.status();
    if (rights.boolean(0, 0)) return KeyedStatus::success();
    return {KeyedAccessDenied, "42501",
            "permission denied for table " + table + ": writing needs INSERT, UPDATE and DELETE"};
}

KeyedStatus checkWriteRights(Connection &db, const std::string &table) {
    const Statement look = writeRightsLook(table);
    return writeRightsOf(db.run(look.sql, look.params), table);
}

std::vector<Statement> schemaLook(const std::string &table) {
    return {placeLook(table),
            {std::string("SELECT layout, schema_version, record_size, key_offset, key_width, fields,"
                         " (SELECT i.indisvalid AND i.indrelid = to_regclass($1)"
                         "   AND pg_get_indexdef(i.indexrelid) LIKE '%USING btree (key_value, recno)"
                         " WHERE (key_value IS NOT NULL)'"
                         "  FROM pg_index i WHERE i.indexrelid = to_regclass($2))"
                         " FROM ") +
                 kRegistry + " WHERE file = $1",
             Params().text(table).text(indexNameOf(table))}};
}

KeyedStatus schemaOf(const Outcome *answers, const std::string &table, const KeyedLayout &layout,
                     const RecordColumns &columns, bool checkIndex, int &version) {
    bool hasRegistry = false, hasTable = false;
    if (KeyedStatus placed = placeOf(answers[0], table, hasRegistry, hasTable); !placed.ok()) return placed;
    // Without a registry its row's look failed, as it must.
    if (!hasRegistry) return KeyedStatus::of(hasTable ? KeyedBadDeclaration : KeyedNotFound);
    const Outcome &row = answers[1];
    if (!row.ok()) return row.status();
    if (row.rows() == 0) return KeyedStatus::of(hasTable ? KeyedBadDeclaration : KeyedNotFound);
    version = row.int4(0, 1);
    const bool same =
        hasTable && row.bytes(0, 0) == layout.name && (version == kSchemaVersion || version == kUncheckedVersion) &&
        row.int4(0, 2) == static_cast<std::int32_t>(layout.recordSize) &&
        row.int4(0, 3) == static_cast<std::int32_t>(layout.keyOffset) &&
        row.int4(0, 4) == static_cast<std::int32_t>(layout.keyWidth) && row.bytes(0, 5) == columns.description();
    if (!same) return KeyedStatus::of(KeyedBadDeclaration);
    if (checkIndex && (row.isNull(0, 6) || !row.boolean(0, 6))) return KeyedStatus::of(KeyedRebuildKeys);
    return KeyedStatus::success();
}

KeyedStatus checkSchema(Connection &db, const std::string &table, const KeyedLayout &layout,
                        const RecordColumns &columns, bool checkIndex, int &version) {
    const std::vector<Outcome> answers = db.runAll(schemaLook(table));
    return schemaOf(answers.data(), table, layout, columns, checkIndex, version);
}

KeyedStatus makeSchema(Connection &db, const std::string &table, const KeyedLayout &layout,
                       const RecordColumns &columns) {
    // Text columns hold what the operators type in any of the code page's
    // characters.
    const Outcome encoding = db.run("SELECT current_setting('server_encoding')", Params());
    if (!encoding.ok()) return encoding.status();
    if (encoding.bytes(0, 0) != "UTF8")
        return systemError("the database keeps its text as " + std::string(encoding.bytes(0, 0)) +
                           "; the command library needs a UTF8 database");
    bool hasRegistry = false, hasTable = false;
    if (KeyedStatus placed = libraryPlace(db, table, hasRegistry, hasTable); !placed.ok()) return placed;
    Outcome begun = db.exec("BEGIN");
    if (!begun.ok()) return begun.status();
    db.setInTransaction(true);
    const std::string steps[] = {
        std::string("SELECT pg_advisory_xact_lock(") + kMakingLock + ")",
        std::string("CREATE TABLE IF NOT EXISTS ") + kRegistry +
            " (file text PRIMARY KEY, layout text NOT NULL, schema_version integer NOT NULL,"
            " record_size integer NOT NULL, key_offset integer NOT NULL, key_width integer NOT NULL,"
            " fields text NOT NULL)",
    };
    for (const std::string &step : steps)
        if (Outcome done = db.exec(step); !done.ok()) return rolledBack(db, done.status());

    const Outcome taken = db.run(
        std::string("SELECT to_regclass($1) IS NOT NULL OR EXISTS (SELECT 1 FROM ") + kRegistry + " WHERE file = $1)",
        Params().text(table));
    if (!taken.ok()) return rolledBack(db, taken.status());
    if (taken.boolean(0, 0)) return rolledBack(db, KeyedStatus::of(KeyedAlreadyExists));

    const std::string made[] = {keyFunctionSql(), tableSql(table, columns), indexSql(table)};
    for (const std::string &step : made)
        if (Outcome done = db.exec(step); !done.ok()) return rolledBack(db, done.status());
    const Outcome row = db.run(std::string("INSERT INTO ") + kRegistry + " VALUES ($1, $2, $3, $4, $5, $6, $7)",
                               Params()
                                   .text(table)
                                   .text(layout.name)
                                   .int4(kSchemaVersion)
                                   .int4(static_cast<std::int32_t>(layout.recordSize))
                                   .int4(static_cast<std::int32_t>(layout.keyOffset))
                                   .int4(static_cast<std::int32_t>(layout.keyWidth))
                                   .text(columns.description()));
    if (!row.ok()) return rolledBack(db, row.status());
    const Outcome committed = db.exec("COMMIT");
    db.setInTransaction(false);
    return committed.ok() ? KeyedStatus::success() : committed.status();
}

KeyedStatus rebuildKey(Connection &db, const std::string &table, const RecordColumns &columns) {
    Outcome begun = db.exec("BEGIN");
    if (!begun.ok()) return begun.status();
    db.setInTransaction(true);
    const KeyedField &key = columns.keyField();
    const std::string steps[] = {
        "DROP INDEX IF EXISTS " + indexNameOf(table),
        // Every value computed again from the key's text.
        keyFunctionSql(),
        "ALTER TABLE " + table + " DROP COLUMN IF EXISTS key_value",
        "ALTER TABLE " + table + " ADD COLUMN key_value bytea GENERATED ALWAYS AS (kvr_key_value(" + key.name + ", " +
            std::to_string(key.width) + ")) STORED",
        indexSql(table),
    };
    for (const std::string &step : steps)
        if (Outcome done = db.exec(step); !done.ok()) return rolledBack(db, done.status());
    const Outcome committed = db.exec("COMMIT");
    db.setInTransaction(false);
    return committed.ok() ? KeyedStatus::success() : committed.status();
}

KeyedStatus addChecksums(Connection &db, const std::string &table, const RecordColumns &columns) {
    Outcome begun = db.exec("BEGIN");
    if (!begun.ok()) return begun.status();
    db.setInTransaction(true);
    const auto failed = [&db](KeyedStatus status) { return rolledBack(db, std::move(status)); };
    // The registry's row first, so that two stations turn the table once.
    const Outcome row = db.run(std::string("SELECT schema_version FROM ") + kRegistry + " WHERE file = $1 FOR UPDATE",
                               Params().text(table));
    if (!row.ok()) return failed(row.status());
    if (row.rows() != 1 || row.int4(0, 0) != kUncheckedVersion) return failed(KeyedStatus::success());
    if (Outcome added = db.exec("ALTER TABLE " + table + " ADD COLUMN IF NOT EXISTS crc bigint"); !added.ok())
        return failed(added.status());
    // Every row's checksum, of the record as it reads now.
    const std::string select = "SELECT recno, " + columns.names() + " FROM " + table + " ORDER BY recno";
    const Outcome rows = db.run(select, Params());
    if (!rows.ok()) return failed(rows.status());
    std::vector<Params> sums(static_cast<std::size_t>(rows.rows()));
    for (int r = 0; r < rows.rows(); ++r)
        sums[static_cast<std::size_t>(r)].int4(rows.int4(r, 0)).int8(columns.checksumOf(rows, r, 1));
    if (!sums.empty()) {
        Params arrays;
        arrays.arrayOf(sums, 0).arrayOf(sums, 1);
        const Outcome set = db.run("UPDATE " + table +
                                       " t SET crc = u.crc FROM unnest($1, $2) AS u(recno, crc)"
                                       " WHERE t.recno = u.recno",
                                   arrays);
        if (!set.ok()) return failed(set.status());
        if (set.affected() != rows.rows())
            return failed(systemError("the checksums of " + table + " were not all set"));
    }
    // The proof: every row reads back as before, with its checksum.
    const Outcome again =
        db.run("SELECT recno, crc, " + columns.names() + " FROM " + table + " ORDER BY recno", Params());
    if (!again.ok()) return failed(again.status());
    bool proven = again.rows() == rows.rows();
    for (int r = 0; proven && r < again.rows(); ++r) {
        proven = again.int4(r, 0) == rows.int4(r, 0) && columns.recordOf(again, r, 2) == columns.recordOf(rows, r, 1) &&
                 !again.isNull(r, 1) && again.int8(r, 1) == static_cast<std::int64_t>(columns.checksumOf(again, r, 2));
    }
    if (!proven) return failed(systemError("the checksums of " + table + " did not read back"));
    const Outcome version = db.run(std::string("UPDATE ") + kRegistry + " SET schema_version = $2 WHERE file = $1",
                                   Params().text(table).int4(kSchemaVersion));
    if (!version.ok()) return failed(version.status());
    const Outcome committed = db.exec("COMMIT");
    db.setInTransaction(false);
    return committed.ok() ? KeyedStatus::success() : committed.status();
}

}  // namespace kvr::keyed::pg
