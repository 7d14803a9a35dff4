#include "runtime/message_box.h"

#include <cstdlib>

namespace kvr::runtime {

namespace {

constexpr MessageButton kOrder[] = {ButtonOk,    ButtonYes,    ButtonNo,     ButtonAbort,
                                    ButtonRetry, ButtonIgnore, ButtonCancel, ButtonHelp};

}  // namespace

std::string messageButtonLabel(MessageButton button) {
    switch (button) {
    case ButtonOk: return "OK";
    case ButtonYes: return "&Yes";
    case ButtonNo: return "&No";
    case ButtonAbort: return "&Abort";
    case ButtonRetry: return "&Retry";
    case ButtonIgnore: return "&Ignore";
    case ButtonCancel: return "Cancel";
    case ButtonHelp: return "&Help";
    }
    return {};
}

namespace {

// A box without any known button could never be closed: it gets OK.  A
// default that is not among the buttons falls to the first one.
MessageBoxRequest usable(MessageBoxRequest request) {
    request.buttons &= 0xFF;
    if (request.buttons == 0) request.buttons = ButtonOk;
    if (!(request.buttons & request.defaultButton) || (request.defaultButton & (request.defaultButton - 1))) {
        for (MessageButton b : kOrder) {
            if (request.buttons & b) {
                request.defaultButton = b;
                break;
            }
        }
    }
    return request;
}

}  // namespace

int showMessageBox(UserInteraction &interaction, const MessageBoxRequest &asked) {
    return interaction.answerMessageBox(usable(asked));
}

void endProgram(UserInteraction &interaction, const std::string &text) {
    showMessageBox(interaction, {text, "Halt", MessageIcon::Stop, ButtonOk, ButtonOk});
    interaction.endProgram(text);
    std::exit(0);
}

}  // namespace kvr::runtime
