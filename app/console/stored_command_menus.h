// The stored-command menus of the main window: one card submenu per card
// name of COMMANDS under "&Tarjeta", after its "[Comandos]" placeholder,
// each holding one entry per command with the command's hot key.  The plan
// (stored_command_plan.h) decides what is built; this puts it in the menus.
#ifndef KVR_CONSOLE_STORED_COMMAND_MENUS_H
#define KVR_CONSOLE_STORED_COMMAND_MENUS_H

#include "keyed_file/change_notices.h"
#include "session/stored_command_plan.h"
#include "session/team_menu_refresh.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kvr::runtime::qt {
class Menus;
}  // namespace kvr::runtime::qt
namespace kvr::library {
class CommandsLibrary;
}

namespace kvr::console {

class StoredCommandMenus {
public:
    // parentMenu is the "&Tarjeta" menu; fixedKeys are the shortcuts of the
    // fixed items that a stored command may not take.
    StoredCommandMenus(runtime::qt::Menus &menus, library::CommandsLibrary &library, int parentMenu,
                       std::vector<uint32_t> fixedKeys);

    // Builds the card submenus and entries from COMMANDS in key order, in
    // place of those numbered 1001 to lastEntryNumber (the previous build's
    // last number; 0 at the first build).  An empty file gives no
    // submenus.  A file that cannot be read now (another station holding
    // it) changes nothing: the menus and the plan stay those of the
    // previous build, and the result is false.  A read that fails on the
    // way for good (a damaged file) ends the build with warning 26
    // ("Commands File Load Error.  Error: ..."); the commands read before it
    // are offered.  Names are shown as stored: an "&" in them is no access
    // letter.
    // A build reads what the menus show and counts the rest
    // (stored_command_reads.h): its cost does not grow with the file.
    bool build(int32_t lastEntryNumber);
    const session::StoredCommandPlan &plan() const { return plan_; }

    // Whether COMMANDS was written since the last build read it (by another
    // process, or by this one outside a build's knowledge): a look at the
    // file's change mark, no read of the records.  fileSeen() takes the
    // file as it is now for the one the menus were built from (after an
    // import, whose commands wait for the next build).
    bool fileChangedSinceBuild();
    void fileSeen();

    // In the team library: whether to build the menus now for the notices
    // of changes heard since the last build (team_menu_refresh.h), a look
    // at what has already come in (nothing is sent to the server unless
    // the notices were lost and are listened for again); false before the
    // first build listens and for a local file.  betweenActions: no menu is
    // open and no menu action is under way.  Looks every kNoticeLookMs
    // show a change within a fraction of a second.
    static constexpr int kNoticeLookMs = 250;
    bool teamChangedSinceBuild(bool betweenActions);

    // Offers the SAM card groups under samMenu too (numbers from 2001);
    // each build removes the previous build's and makes them again.
    void offerSamCommandsUnder(int samMenu) { samMenu_ = samMenu; }

    // Chooses entry `number`: reads its record back by record number and
    // fills the console.  Nothing (and the console unchanged) when it is no
    // entry or the record is gone.
    std::optional<session::StoredFocus> choose(int32_t number, session::CommandConsole &console);

private:
    runtime::qt::Menus &menus_;
    library::CommandsLibrary &library_;
    int parentMenu_;
    std::vector<uint32_t> fixedKeys_;
    session::StoredCommandPlan plan_;
    int samMenu_ = 0;                                // 0: the SAM card groups are not offered there
    std::uint64_t builtAt_ = 0;                      // the file's change mark as the last build read it
    std::unique_ptr<keyed::ChangeNotices> notices_;  // from the first build on, in the team library
    session::TeamMenuRefresh refresh_;
};

}  // namespace kvr::console

#endif
