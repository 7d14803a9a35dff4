#include "keyed_file/postgres/connection_text.h"

#include <libpq-fe.h>

#include <map>

namespace kvr::keyed::pg {

std::string connectionText(const std::string &conninfo) {
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &error);
    if (!options) {
        if (error) PQfreemem(error);
        const auto secret = conninfo.find("password");
        return conninfo.substr(0, secret);
    }
    std::map<std::string, std::string> given;
    for (PQconninfoOption *o = options; o->keyword; ++o)
        if (o->val && *o->val) given[o->keyword] = o->val;
    PQconninfoFree(options);
    std::string text;
    if (given.count("user")) text += given["user"] + "@";
    text += given.count("host") ? given["host"] : given.count("hostaddr") ? given["hostaddr"] : "";
    if (given.count("port")) text += ":" + given["port"];
    text += "/" + (given.count("dbname") ? given["dbname"] : "");
    return text;
}

}  // namespace kvr::keyed::pg
