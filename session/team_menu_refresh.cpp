#include "session/team_menu_refresh.h"

namespace kvr::session {

void TeamMenuRefresh::listened(bool listening, Clock::time_point now) {
    link_ = listening ? Link::Listening : Link::Lost;
    nextTry_ = now + kRetry;
}

void TeamMenuRefresh::heard(Heard news, Clock::time_point now) {
    switch (news) {
    case Heard::Nothing: break;
    case Heard::Changed: wanted_ = true; break;
    case Heard::Lost:
        if (link_ == Link::Listening) nextTry_ = now;
        link_ = Link::Lost;
        break;
    case Heard::Back:
        if (link_ == Link::Lost) wanted_ = true;
        link_ = Link::Listening;
        break;
    }
}

}  // namespace kvr::session
