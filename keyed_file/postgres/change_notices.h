// The team library's notices of changes: a session of its own per file,
// LISTENing on the channel "kvr_changes", where a trigger on the file's
// table (kvr_<table>_changed, made here when missing and the user may)
// sends the table's name from inside every transaction that adds, changes
// or deletes a row.  The server delivers a notice only when that
// transaction commits, and once per transaction however many rows it
// changed; a rolled-back transaction sends nothing.  The notices of the
// writes of this station's own session (ownSession: its server process)
// are left out, as the local file's change mark leaves out its own.
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

#include <functional>
#include <string>

namespace kvr::keyed::pg {

class ChangeListener final : public ChangeNotices {
public:
    static constexpr const char *kChannel = "kvr_changes";

    // The notices of table in the database of conninfo, but those of the
    // session ownSession names; nothing is connected before listen().
    ChangeListener(std::string conninfo, std::string table, std::function<int()> ownSession);
    ~ChangeListener() override;
    ChangeListener(const ChangeListener &) = delete;
    ChangeListener &operator=(const ChangeListener &) = delete;

    bool listen() override;
    void listenAgain() override;
    ChangeNews take() override;
    int descriptor() const override;

    // The notices read so far, on any table and of any session.
    long noticesRead() const { return read_; }

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
    std::function<int()> ownSession_;
    long read_ = 0;
    PGconn *conn_ = nullptr;
    Stage stage_ = Stage::Down;
    PostgresPollingStatusType polling_ = PGRES_POLLING_WRITING;
};

// The SQL that gives table its trigger when it has none: nothing when the
// user may not (another owns the table) or another station did it first.
std::string noticeTriggerSql(const std::string &table);

}  // namespace kvr::keyed::pg

#endif
