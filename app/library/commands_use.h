// One window's use of the command record file COMMANDS: opened through the
// library's use count when the window opens, released when it closes (and
// only then, if its own open ran).
#ifndef KVR_LIBRARY_COMMANDS_USE_H
#define KVR_LIBRARY_COMMANDS_USE_H

namespace kvr::library {

class CommandsLibrary;

class CommandsUse {
public:
    explicit CommandsUse(CommandsLibrary &library) : library_(library) {}
    CommandsUse(const CommandsUse &) = delete;
    CommandsUse &operator=(const CommandsUse &) = delete;
    ~CommandsUse() { release(); }

    // Opens COMMANDS unless another window has it open (a file that cannot
    // be opened ends the program through the standard warnings).
    void acquire();
    // Releases this window's use; the file closes with its last user.
    // Does nothing unless acquire() ran.
    void release();
    bool held() const { return held_; }
    CommandsLibrary &library() const { return library_; }

private:
    CommandsLibrary &library_;
    bool held_ = false;
};

}  // namespace kvr::library

#endif
