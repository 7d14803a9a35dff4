// When the stored-command menus are built again for the team library's
// notices of changes, without their window or the server: the rules as
// arithmetic on time points and states the caller passes.
//
//   - A change heard (another station's, or this one's) asks for one
//     build; any number of them heard before it is made ask for one.
//   - A build is made only between the operator's actions: never while a
//     menu is open or a menu action is under way.  It waits, and is made
//     at the first look after.
//   - A build made for any other reason (the command browser closing)
//     reads what the notices heard so far asked for: it answers them.
//   - Notices that were lost (the connection went down) are listened for
//     again at once, then every kRetry while they are not back (an attempt
//     not done by then is begun anew); once they are back the menus are
//     built once, for the changes that went unheard.  The first listening,
//     at the menus' first build, asks for nothing; when it fails, the
//     first time they are back asks for one.
#ifndef KVR_SESSION_TEAM_MENU_REFRESH_H
#define KVR_SESSION_TEAM_MENU_REFRESH_H

#include <chrono>

namespace kvr::session {

class TeamMenuRefresh {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kRetry = std::chrono::seconds(2);

    enum class Heard { Nothing, Changed, Lost, Back };

    // How the first listening went.
    void listened(bool listening, Clock::time_point now);
    // What a look at the notices found at now.
    void heard(Heard news, Clock::time_point now);
    // Whether to begin listening again now (lost, and the retry is due);
    // tried() when it was begun.
    bool listenDue(Clock::time_point now) const { return link_ == Link::Lost && now >= nextTry_; }
    void tried(Clock::time_point now) { nextTry_ = now + kRetry; }
    // Whether to build the menus now; betweenActions: no menu open and no
    // menu action under way.
    bool buildDue(bool betweenActions) const { return wanted_ && betweenActions; }
    // A build read the file (whatever called for it).
    void built() { wanted_ = false; }

private:
    enum class Link { Listening, Lost };
    Link link_ = Link::Listening;
    bool wanted_ = false;
    Clock::time_point nextTry_{};
};

}  // namespace kvr::session

#endif
