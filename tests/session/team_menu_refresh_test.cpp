// When the stored-command menus are built again for the team library's
// notices: a day of a station as a script of steps on an injected clock,
// each row the builds and listening attempts it must lead to.
#include "session/team_menu_refresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::session {
namespace {

using Heard = TeamMenuRefresh::Heard;
using namespace std::chrono_literals;

// One look at the notices, as the window makes it: at a time (ms from the
// start), with what the notices said and whether the operator is between
// actions.
struct Look {
    int atMs;
    Heard heard;
    bool betweenActions = true;
};

struct Day {
    const char *says;
    std::vector<Look> looks;
    std::string expected;  // per look: "b" built, "l" tried to listen, "-" neither
};

// The window's look (stored_command_menus.cpp does the same).
std::string runDay(const std::vector<Look> &looks) {
    TeamMenuRefresh refresh;
    const auto start = TeamMenuRefresh::Clock::time_point{} + 1h;
    // The menus' first build listens first.
    refresh.listened(true, start);
    refresh.built();
    std::string done;
    for (const Look &look : looks) {
        const auto now = start + std::chrono::milliseconds(look.atMs);
        std::string step;
        refresh.heard(look.heard, now);
        if (refresh.listenDue(now)) {
            step += "l";
            refresh.tried(now);
        }
        if (refresh.buildDue(look.betweenActions)) {
            step += "b";
            refresh.built();
        }
        done += (step.empty() ? "-" : step) + " ";
    }
    return done;
}

TEST(TeamMenuRefreshTest, BuildsForChangesBetweenActionsOnlyAndOnceAfterNoticesCameBack) {
    const Heard N = Heard::Nothing, C = Heard::Changed, L = Heard::Lost, B = Heard::Back;
    const Day days[] = {
        {"nothing heard builds nothing", {{0, N}, {250, N}}, "- - "},
        {"a change is built at the first look", {{0, C}, {250, N}}, "b - "},
        {"changes under an open menu wait for it to close, and build once",
         {{0, C, false}, {250, C, false}, {500, N, false}, {750, N}, {1000, N}},
         "- - - b - "},
        {"a change heard during a menu action is built after it", {{0, C, false}, {250, N}}, "- b "},
        {"a lost connection is listened for at once and built once when it is back",
         {{0, L}, {250, B}, {500, N}, {750, C}},
         "l b - b "},
        {"while it is not back it is begun anew every two seconds",
         {{0, L}, {250, L}, {1999, L}, {2000, L}, {3000, L}, {4000, L}, {4250, B}, {4500, N}},
         "l - - l - l b - "},
        {"back under an open menu, the build waits for it to close",
         {{0, L, false}, {250, B, false}, {500, N}},
         "l - b "},
        {"lost and back twice builds twice", {{0, L}, {250, B}, {500, L}, {750, B}}, "l b l b "},
    };
    for (const Day &day : days) {
        SCOPED_TRACE(day.says);
        EXPECT_EQ(runDay(day.looks), day.expected);
    }
}

TEST(TeamMenuRefreshTest, ABuildForAnotherReasonAnswersTheChangesHeardBefore) {
    TeamMenuRefresh refresh;
    const auto now = TeamMenuRefresh::Clock::time_point{} + 1h;
    refresh.listened(true, now);
    refresh.heard(Heard::Changed, now);
    EXPECT_FALSE(refresh.buildDue(false));
    refresh.built();  // the command browser closed
    EXPECT_FALSE(refresh.buildDue(true));
}

TEST(TeamMenuRefreshTest, NoticesThatCouldNotListenAtTheFirstBuildBuildOnceWhenTheyCan) {
    TeamMenuRefresh refresh;
    const auto start = TeamMenuRefresh::Clock::time_point{} + 1h;
    refresh.listened(false, start);
    refresh.built();
    EXPECT_FALSE(refresh.listenDue(start + 1s));
    ASSERT_TRUE(refresh.listenDue(start + 2s));
    refresh.tried(start + 2s);
    EXPECT_FALSE(refresh.buildDue(true));
    refresh.heard(Heard::Back, start + 2s + 250ms);
    EXPECT_TRUE(refresh.buildDue(true)) << "changes made before it listened went unheard";
}

}  // namespace
}  // namespace kvr::session
