// The wait cursor, shown for as long as a WaitCursor lives (blocking reader
// calls).  Guards nest.
#ifndef KVR_RUNTIME_WAIT_CURSOR_H
#define KVR_RUNTIME_WAIT_CURSOR_H

namespace kvr::runtime {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

    // True while at least one guard is alive.
    static bool active();
};

}  // namespace kvr::runtime

#endif
