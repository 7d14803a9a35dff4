// The command browser BROWSECMD without its window: the page of COMMANDS
// records it shows in key order, how the page moves through the file, the
// key stops behind its scroll thumb, locating by letter, and what it does
// before and after calling the edit form.
//
// The page never holds more records than the list shows at once, and every
// read goes through a view on COMMANDS in key order (keyed_view.h): the
// browser never reads the whole file, so a page costs the same at 100 or
// 100,000 records.
//
// Paging.  Going down (or up) a page slides: the records after the last row
// (before the first) are read, each one added at that end drops a row at
// the other end once the page is full, and the current row keeps its place
// in the list.  A page built around a record (after an insert or a change,
// after locating a card name) starts at that record and, when the file ends
// first, is filled up with the records before it; so is a page read again
// (after a delete near the end of the file, for one).  The current row's
// record is copied into the COMMANDS record buffer whenever the current row
// changes.
//
// The browser is called without a request (maintenance): it returns no
// record and its response is always 2 (cancelled).
#ifndef KVR_LIBRARY_COMMAND_BROWSER_H
#define KVR_LIBRARY_COMMAND_BROWSER_H

#include "library/command_form.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "library/key_stops.h"
#include "keyed_file/keyed_view.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvr::library {

struct BrowseRow {
    Commands record;
    std::string position;  // at most 512 characters
};

enum class BrowseScroll { LineUp, LineDown, PageUp, PageDown, Top, Bottom };

class CommandBrowser {
public:
    // What the browser needs of its window.
    struct Window {
        // How many rows the list shows at once, asked whenever a page is
        // built or moved.
        std::function<int()> visibleRows;
        // Runs the edit form on the library's form call (its request set).
        std::function<void()> callForm;
    };

    CommandBrowser(CommandsLibrary &library, Window window);
    ~CommandBrowser();
    CommandBrowser(const CommandBrowser &) = delete;
    CommandBrowser &operator=(const CommandBrowser &) = delete;

    // Takes the call's request (0 counts as insert; the browser only
    // maintains), opens COMMANDS and the view, builds the first page with
    // its first row current and the key stops.
    void open();
    // Releases the view and COMMANDS and hands the response (2) to the
    // caller.
    void close();

    const std::vector<BrowseRow> &rows() const { return rows_; }
    // 1-based; 0 when the page is empty.
    int currentRow() const { return current_; }
    // Change and Delete have a record to work on.
    bool hasRows() const { return !rows_.empty(); }
    // The page fills the list, so there is more to scroll to.
    bool scrollBarShown() const { return !rows_.empty() && rows_.size() >= pageRows_; }
    // Where the current card name lies between the first and the last one
    // of the file, 0 to 100.
    int thumb() const { return thumb_; }
    const KeyStops &keyStops() const { return stops_; }
    // A read failed (warning 35 told the operator): the window closes.
    bool mustClose() const { return mustClose_; }

    // The operator picked a row of the page.
    void choose(int row);
    // Arrow keys: the current row moves, and the page slides by one record
    // at its edge.
    void up();
    void down();
    void scroll(BrowseScroll how);
    // The thumb dropped at position (0 to 100).
    void dragThumb(int position);
    // A character typed in the list (one byte of the Western code page).
    void typed(unsigned char character);

    // The buttons: each first reads the current row's record again with a
    // watched read, so that the record buffer holds it as now stored.
    void insert();
    void change();
    void remove();
    void closePressed();
    void helpPressed();

    // The window gained the focus or changed size: the current record is
    // read again and the page built from the first command of its card.
    void regained();

private:
    enum class ReadBack { Read, NoRow, Gone, Failed };

    std::size_t visible() const;
    void failRead();
    bool placed(int code);
    bool readRows(keyed::ViewDirection direction, std::size_t count, std::vector<BrowseRow> &rows);
    void show(std::vector<BrowseRow> page, std::size_t current);
    void setCurrent(std::size_t row);
    // Whether the page was read and shown.
    bool fromStart();
    void fromEnd();
    void around(int placeCode);
    bool fillUp(std::vector<BrowseRow> &page, std::size_t wanted);
    std::size_t slide(keyed::ViewDirection direction, std::size_t count);
    void refresh(const std::string &remembered);
    // knownFirst: the first record of the key order, when just read.
    void buildKeyStops(const BrowseRow *knownFirst = nullptr);
    ReadBack watchedRead();
    void callForm(FormRequest request);
    void formOnCurrentRow(FormRequest request);
    void afterForm(FormRequest request, std::int32_t response, const std::string &currentPosition);

    CommandsLibrary &library_;
    Window window_;
    CommandsUse use_;
    keyed::KeyedView view_;
    std::vector<BrowseRow> rows_;
    std::size_t pageRows_ = 0;  // the visible row count the page was made for
    int current_ = 0;
    KeyStops stops_;
    int thumb_ = 0;
    std::int32_t localResponse_ = FormCancelled;
    bool mustClose_ = false;
    bool closed_ = true;
};

}  // namespace kvr::library

#endif
