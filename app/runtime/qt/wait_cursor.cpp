#include "runtime/wait_cursor.h"

#include <QApplication>
#include <QCursor>

namespace kvr::runtime {

namespace {
int guards = 0;
}

WaitCursor::WaitCursor() {
    ++guards;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor() {
    --guards;
    QApplication::restoreOverrideCursor();
}

bool WaitCursor::active() { return guards > 0; }

}  // namespace kvr::runtime
