#include "runtime/wait_cursor.h"

namespace kvr::runtime {

namespace {
int guards = 0;
WaitCursor::Indicator indicator = nullptr;
}  // namespace

WaitCursor::WaitCursor() {
    if (guards++ == 0 && indicator) indicator(true);
}

WaitCursor::~WaitCursor() {
    if (--guards == 0 && indicator) indicator(false);
}

bool WaitCursor::active() { return guards > 0; }

void WaitCursor::setIndicator(Indicator shown) { indicator = shown; }

}  // namespace kvr::runtime
