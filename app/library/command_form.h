// The command edit form without its window: what it does with the request
// it is called with, the COMMANDS record buffer its ten entries edit, the
// copy taken at opening, the history record behind the ditto key, the hot
// key capture, and the save, cancel and delete steps with their warnings.
//
// The browser calls the form with a request in the library's form call
// (1 insert, 2 change, 3 delete; 0 counts as insert) and reads the response
// there afterwards (1 completed, 2 cancelled).  The record to change or delete is
// the one in the record buffer, read by the caller with a watched read just
// before the call; for an insert the caller clears the buffer.  The form
// stores what the operator typed: header bytes that are not hexadecimal and
// equal records are accepted.  A blank card name is not: such a record would
// be listed neither by the browser nor in the menus, so nobody could change
// or delete it again; OK says so in the status bar and stays on the card.
//
// A change that another station made meanwhile is shown (the warning
// RecordWasNotUpdated): the buffer then holds the stored record and the
// operator brings back the own values field by field with the ditto key.
// When the other station deleted the record there is nothing to show: the
// warning says so in a line of its own, the operator's values stay, and OK
// adds them as a new record instead of failing again at every OK.
#ifndef KVR_LIBRARY_COMMAND_FORM_H
#define KVR_LIBRARY_COMMAND_FORM_H

#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::library {

enum FormRequest : std::int32_t { FormInsert = 1, FormChange = 2, FormDelete = 3 };
enum FormResponse : std::int32_t { FormCompleted = 1, FormCancelled = 2 };

// The ten entries, in tab order.
enum class FormField { Card, Name, Code, Cla, Ins, P1, P2, P3, Data, HotKey };
inline constexpr int kFormFields = 10;

// What the window does after OK.
enum class AfterSave { Close, StayOnCard };

class CommandForm {
public:
    // Takes the request (clearing the call's request and response), opens
    // COMMANDS and copies the record buffer.
    explicit CommandForm(CommandsLibrary &library);
    ~CommandForm();
    CommandForm(const CommandForm &) = delete;
    CommandForm &operator=(const CommandForm &) = delete;

    FormRequest request() const { return request_; }
    bool opensWindow() const { return request_ != FormDelete; }
    std::int32_t response() const { return response_; }

    // The record the entries edit: the COMMANDS record buffer.
    Commands &record() { return library_.commandsRecord(); }
    // A text entry's field without its trailing spaces, and setting it from
    // what the operator typed (bytes of the Western code page).
    std::string text(FormField field) const;
    void setText(FormField field, std::string_view bytes);
    void setHotKey(std::int32_t code) { record().hotKey = code; }

    // Action message for the second zone of the status bar, and a notice
    // for the first one (empty unless something needs saying; the blank
    // card's notice goes as soon as a card name is typed).
    std::string actionMessage() const;
    const std::string &notice() const { return notice_; }

    // Delete request, without a window: asks for confirmation, deletes
    // under the wait cursor and offers to try again after a failure.
    void runDelete();

    // The ditto key in an entry: that field back from the history record.
    void ditto(FormField field);

    // "Hot Key:" received the focus with a key press waiting for the
    // window: its code becomes the hot key.  With none waiting (the usual
    // case, Tab or a click) nothing calls this and the entry keeps its
    // value, so that passing through it loses nothing; a new record starts
    // at 0, and typing 0 clears a hot key.
    void hotKeyEntered(std::uint32_t waitingKey) { setHotKey(static_cast<std::int32_t>(waitingKey)); }

    // OK, once every entry has passed its picture.  A blank card name is
    // refused (a notice says so) before anything is saved.
    AfterSave save();
    // "Cancelar": nothing is written.
    void cancel() { response_ = FormCancelled; }

    // Ending: releases COMMANDS and hands the response to the caller (2 when
    // nothing set it).  Returns the response.
    std::int32_t finish();

private:
    bool differsFromOpening();
    AfterSave add();
    AfterSave change();

    CommandsLibrary &library_;
    FormCall &call_;
    FormRequest request_ = FormInsert;
    std::int32_t response_ = FormCancelled;
    CommandsUse use_;
    Commands atOpening_;
    bool recordGone_ = false;  // another station deleted the record being changed
    std::string notice_;
    bool finished_ = false;
};

}  // namespace kvr::library

#endif
