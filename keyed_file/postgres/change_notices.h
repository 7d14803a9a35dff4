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
// session that went down is told as Lost.  listen() connects and waits
// (2 seconds at most unless the connection string says otherwise);
// listenAgain() connects without waiting (PQconnectStart), each take()
// taking the attempt a step further as far as its socket is ready, so
// that a server out of reach never holds the caller up.
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
    void listenAgain() override;
    ChangeNews take() override;
    int descriptor() const override;

private:
    enum class Stage { Down, Connecting, Listening };

    PGconn *start(bool wait) const;
    // The trigger, LISTEN, and non-blocking from then on.
    bool listenOn();
    // An attempt under way, a step further when its socket is ready.
    void advance();
    void drop();

    std::string conninfo_;
    std::string table_;
    PGconn *conn_ = nullptr;
    Stage stage_ = Stage::Down;
    PostgresPollingStatusType polling_ = PGRES_POLLING_WRITING;
};

// The SQL that gives table its trigger when it has none: nothing when the
// user may not (another owns the table) or another station did it first.
std::string noticeTriggerSql(const std::string &table);

}  // namespace kvr::keyed::pg

#endif
