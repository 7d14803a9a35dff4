// The message box on Qt: the box of a MessageBoxRequest (message_box.h),
// modal, ended only through its buttons.
#ifndef KVR_RUNTIME_QT_MESSAGE_BOX_H
#define KVR_RUNTIME_QT_MESSAGE_BOX_H

#include "runtime/message_box.h"

namespace kvr::runtime::qt {

// Shows the box modally and returns the value of the button pressed.  Under
// a wait cursor the box shows the arrow.
int runMessageBox(const MessageBoxRequest &request);

}  // namespace kvr::runtime::qt

#endif
