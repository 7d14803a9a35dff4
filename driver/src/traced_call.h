// One reader call (a transaction or a reset) and its frame trace.  When the
// process keeps a trace (KVR7X_TRACE, processTrace), the exchange is
// written after the call: what describe filled in before it (the header and
// data sent, or that it is a reset), then the call's start, duration and
// result and the reply it left in the frame buffer.  Without a trace the
// call runs alone and describe is never called.
#ifndef KVR7X_TRACED_CALL_H
#define KVR7X_TRACED_CALL_H

#include <chrono>
#include <cstdint>
#include <cstring>

#include "frame_trace.h"
#include "transaction.h"

namespace kvr7x {

// describe: void(TracedExchange &); call: int32_t(), the call's result.
template <class Describe, class Call>
int32_t tracedCall(Describe &&describe, Call &&call) {
    FrameTrace *const trace = processTrace();
    if (!trace) return call();
    TracedExchange e;
    describe(e);
    e.began = std::chrono::system_clock::now();
    const auto start = std::chrono::steady_clock::now();
    e.result = call();
    e.took = std::chrono::steady_clock::now() - start;
    const uint8_t *const frame = frameBuffer();
    std::memcpy(e.reply, frame, sizeof e.reply);
    e.replyData = frame + 4;
    trace->write(e);
    return e.result;
}

}  // namespace kvr7x

#endif
