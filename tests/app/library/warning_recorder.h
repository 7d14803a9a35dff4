// Test support: answers message boxes and catches the end of the program.
#ifndef KVR_TESTS_WARNING_RECORDER_H
#define KVR_TESTS_WARNING_RECORDER_H

#include "runtime/message_box.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kvr::testing {

struct ProgramEnded {
    std::string text;
};

// While alive, every box is recorded and answered with the next queued
// answer (or its default button), and the end of the program throws
// ProgramEnded.
class WarningRecorder {
public:
    WarningRecorder() {
        runtime::setMessageBoxAnswerer([this](const runtime::MessageBoxRequest &request) {
            boxes.push_back(request);
            if (onBox) onBox(request);
            if (answers.empty()) return request.defaultButton;
            int answer = answers.front();
            answers.pop_front();
            return answer;
        });
        runtime::setProgramEndHandler([](const std::string &text) { throw ProgramEnded{text}; });
    }
    ~WarningRecorder() {
        runtime::setMessageBoxAnswerer({});
        runtime::setProgramEndHandler({});
    }
    WarningRecorder(const WarningRecorder &) = delete;
    WarningRecorder &operator=(const WarningRecorder &) = delete;

    std::vector<runtime::MessageBoxRequest> boxes;
    std::deque<int> answers;
    // Runs as each box is shown, before it is answered.
    std::function<void(const runtime::MessageBoxRequest &)> onBox;
};

}  // namespace kvr::testing

#endif
