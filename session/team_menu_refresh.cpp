#include "session/team_menu_refresh.h"

namespace kvr::session {

void TeamMenuRefresh::heard(Heard news, Clock::time_point now) {
    if (news == Heard::Changed) wanted_ = true;
    if (news == Heard::Lost && link_ != Link::Lost) {
        link_ = Link::Lost;
        nextTry_ = now;
    }
}

bool TeamMenuRefresh::listenDue(Clock::time_point now) const { return link_ != Link::Listening && now >= nextTry_; }

void TeamMenuRefresh::listened(bool listening, Clock::time_point now) {
    if (!listening) {
        link_ = Link::Lost;
        nextTry_ = now + kRetry;
        return;
    }
    if (link_ == Link::Lost) wanted_ = true;
    link_ = Link::Listening;
}

}  // namespace kvr::session
