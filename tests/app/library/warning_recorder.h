// Test support: answers message boxes and catches the end of the program.
#ifndef KVR_TESTS_WARNING_RECORDER_H
#define KVR_TESTS_WARNING_RECORDER_H

#include "runtime/message_box.h"
#include "scripted_interaction.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kvr::testing {

struct ProgramEnded {
    std::string text;
};

// The interaction a test hands to what it tries: every box is recorded and
// answered with the next queued answer (or its default button), and the end
// of the program throws ProgramEnded.  Its other parts (dialogs, the window
// run hook) are the test's to set.
class WarningRecorder : public test_support::ScriptedInteraction {
public:
    WarningRecorder() {
        answerer = [this](const runtime::MessageBoxRequest &request) {
            boxes.push_back(request);
            if (onBox) onBox(request);
            if (answers.empty()) return request.defaultButton;
            int answer = answers.front();
            answers.pop_front();
            return answer;
        };
        programEndHandler = [](const std::string &text) { throw ProgramEnded{text}; };
    }

    std::vector<runtime::MessageBoxRequest> boxes;
    std::deque<int> answers;
    // Runs as each box is shown, before it is answered.
    std::function<void(const runtime::MessageBoxRequest &)> onBox;
};

}  // namespace kvr::testing

#endif
