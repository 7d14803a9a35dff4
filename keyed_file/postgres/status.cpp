#include "keyed_file/postgres/status.h"

#include <cctype>

namespace kvr::keyed::pg {

std::string oneLine(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

int codeOfSqlState(std::string_view state) {
    // A statement the server cancelled (statement_timeout, an administrator)
    // did not meet a lock: it is a system error, in the server's words.
    if (state == "55P03" || state == "40P01" || state == "40001") return KeyedLocked;
    return KeyedSystemError;
}

KeyedStatus statusOfResult(const PGresult *result, PGconn *conn) {
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text = primary ? primary : result ? PQresultErrorMessage(result) : "";
    if (text.empty() && conn) text = PQerrorMessage(conn);
    if (text.empty()) text = "no answer from the server";
    const int status = result ? static_cast<int>(PQresultStatus(result)) : static_cast<int>(PGRES_FATAL_ERROR);
    return {state ? codeOfSqlState(state) : KeyedSystemError, std::to_string(status), oneLine(text)};
}

KeyedStatus statusOfConnection(PGconn *conn) {
    std::string text = conn ? PQerrorMessage(conn) : "out of memory";
    if (oneLine(text).empty()) text = "no connection to the server";
    return {KeyedSystemError, std::to_string(static_cast<int>(CONNECTION_BAD)), oneLine(text)};
}

KeyedStatus systemError(std::string_view text) {
    return {KeyedSystemError, std::to_string(static_cast<int>(PGRES_FATAL_ERROR)), std::string(text)};
}

}  // namespace kvr::keyed::pg
