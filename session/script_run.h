// A card script run through the console, as the operator would run it: each
// line fills the request panel and presses "Procesar Comando" (reset: the
// Reset), so that the panels show each request and reply and the history
// records each exchange, with the line's verdict.  A failed line does not
// stop the run; the window stops it between lines when asked (Escape).
// The stored commands of the library are not touched.
#ifndef KVR_SESSION_SCRIPT_RUN_H
#define KVR_SESSION_SCRIPT_RUN_H

#include "session/card_script.h"
#include "session/command_console.h"
#include "session/exchange_history.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kvr::session {

// The reply an exchange got, as a script checks it.
ScriptReply replyOf(const Exchange &exchange);

class ScriptRun {
public:
    // The console must record into history.
    ScriptRun(CommandConsole &console, ExchangeHistory &history, std::string name, std::vector<ScriptLine> lines);

    bool finished() const { return stopped_ || next_ >= lines_.size(); }
    // Runs the next line; returns the driver's result of its exchange.
    int32_t runNext();
    // Runs no more lines.
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_ && next_ < lines_.size(); }

    int commands() const { return commands_; }
    int failures() const { return failures_; }
    // The first failed line, as kvr7x tells it ("card.kvs:4: COMMAND: why").
    const std::string &firstFailure() const { return firstFailure_; }
    // "Guión NAME: N comandos, M fallos", then the first failure on a line
    // of its own, and when stopped the line it stopped before.
    std::string summary() const;

private:
    CommandConsole &console_;
    ExchangeHistory &history_;
    std::string name_;
    std::vector<ScriptLine> lines_;
    std::size_t next_ = 0;
    bool stopped_ = false;
    int commands_ = 0;
    int failures_ = 0;
    std::string firstFailure_;
    std::optional<ScriptReply> previous_;
};

}  // namespace kvr::session

#endif
