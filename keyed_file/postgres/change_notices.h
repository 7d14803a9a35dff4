// The team library's notices of changes: a session of its own per file,
// LISTENing on the channel "kvr_changes", where a trigger on the file's
// table (kvr_<table>_changed, made here when missing and the user may)
// sends the table's name from inside every transaction that adds, changes
// or deletes a row.  The server delivers a notice only when that
// transaction commits, and once per transaction however many rows it
// changed; a rolled-back transaction sends nothing.  Every station's
// writes notify, this one's included.
//
// While listening nothing is sent: take() reads what the socket already
// holds (PQconsumeInput) and the notices libpq parsed (PQnotifies).  A
// session that went down is told as Lost, and listen() connects anew,
// within a connection time-out of its own (2 seconds).
#ifndef KVR_KEYED_POSTGRES_CHANGE_NOTICES_H
#define KVR_KEYED_POSTGRES_CHANGE_NOTICES_H

#include "keyed_file/change_notices.h"

#include <libpq-fe.h>

#include <string>

namespace kvr::keyed::pg {

class ChangeListener final : public ChangeNotices {
public:
    static constexpr const char *kChannel = "kvr_changes";

    // The notices of table in the database of conninfo; nothing is
    // connected before listen().
    ChangeListener(std::string conninfo, std::string table);
    ~ChangeListener() override;
    ChangeListener(const ChangeListener &) = delete;
    ChangeListener &operator=(const ChangeListener &) = delete;

    bool listen() override;
    ChangeNews take() override;
    int descriptor() const override;

private:
    void drop();

    std::string conninfo_;
    std::string table_;
    PGconn *conn_ = nullptr;
};

// The SQL that gives table its trigger when it has none: nothing when the
// user may not (another owns the table) or another station did it first.
std::string noticeTriggerSql(const std::string &table);

}  // namespace kvr::keyed::pg

#endif
