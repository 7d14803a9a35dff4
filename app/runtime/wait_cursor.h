// The wait cursor, shown for as long as a WaitCursor lives (blocking reader
// calls).  Guards nest.  The toolkit shows it: it sets the indicator, which
// is told when the first guard is made and when the last one goes.
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

    using Indicator = void (*)(bool busy);
    static void setIndicator(Indicator shown);
};

}  // namespace kvr::runtime

#endif
