// What a store hears of the writes other stations make to a file, without
// reading the file: a notice source is a connection of its own that the
// server tells when a transaction that changed the file commits.  Nothing
// is sent to the server while it waits; take() only looks at what has
// already come in.  A file whose store hears nothing (a local file) has
// none (KeyedFile::listenForChanges).
#ifndef KVR_KEYED_CHANGE_NOTICES_H
#define KVR_KEYED_CHANGE_NOTICES_H

namespace kvr::keyed {

enum class ChangeNews {
    None,     // nothing since the last look
    Changed,  // a committed change of the file came in since the last look
    Lost,     // not listening (the connection went down, or is not back yet)
    Back,     // listening again since the last look: changes made meanwhile went unheard
};

class ChangeNotices {
public:
    virtual ~ChangeNotices() = default;

    // Connects, waiting for it, and starts listening unless listening
    // already: whether it listens now.
    virtual bool listen() = 0;
    // Starts connecting anew without waiting for it (a previous attempt
    // still under way is given up); take() tells Back once it listens.
    // Nothing while listening.
    virtual void listenAgain() = 0;
    // What came in since the last look, no round trip while listening:
    // Changed takes every notice come so far.  While connecting anew it
    // takes the connection as far as the bytes already come allow.
    virtual ChangeNews take() = 0;
    // The descriptor that becomes readable when a notice (or the end of
    // the connection) comes; -1 while no connection is made or under way.
    virtual int descriptor() const = 0;
};

}  // namespace kvr::keyed

#endif
