#include "library/command_browser.h"

#include "library/standard_warnings.h"
#include "keyed_file/key_value.h"
#include "runtime/wait_cursor.h"

#include <algorithm>
#include <iterator>

namespace kvr::library {

namespace {

using keyed::ViewDirection;

constexpr std::size_t kStopLength = kCardWidth;

std::string upperCard(const Commands &record) {
    std::string card(record.card, kCardWidth);
    for (char &c : card) c = static_cast<char>(keyed::westernUpper(static_cast<unsigned char>(c)));
    return card;
}

unsigned char firstLetter(const Commands &record) {
    return keyed::westernUpper(static_cast<unsigned char>(record.card[0]));
}

}  // namespace

CommandBrowser::CommandBrowser(CommandsLibrary &library, Window window)
    : library_(library), window_(std::move(window)), use_(library), view_(library.commandsFile()) {
    stops_.fill(std::string(kStopLength, ' '));
}

CommandBrowser::~CommandBrowser() { close(); }

void CommandBrowser::open() {
    FormCall &call = library_.formCall();
    localResponse_ = FormCancelled;
    call.request = 0;
    call.response = 0;
    closed_ = false;
    use_.acquire();
    if (view_.open() != keyed::KeyedOk)
        library_.warnings().tell(Warning::ViewOpenFailed, library_.commandsFile().lastError());
    // The first page's first row is the first record of the key order:
    // the key stops read only the last.
    const bool shown = fromStart();
    if (!mustClose_) buildKeyStops(shown && !rows_.empty() ? &rows_.front() : nullptr);
}

void CommandBrowser::close() {
    if (closed_) return;
    closed_ = true;
    view_.close();
    use_.release();
    library_.formCall().response = localResponse_;
}

std::size_t CommandBrowser::visible() const {
    const int rows = window_.visibleRows ? window_.visibleRows() : 1;
    return static_cast<std::size_t>(std::max(1, rows));
}

void CommandBrowser::failRead() {
    library_.warnings().tell(Warning::RecordRetrievalFailed, library_.commandsFile().lastError(), "Commands");
    mustClose_ = true;
}

// Placing the view: a failure is told (warning 36) and the browser goes on
// with the page it has.
bool CommandBrowser::placed(int code) {
    if (code == keyed::KeyedOk) return true;
    library_.warnings().tell(Warning::ViewOpenFailed, library_.commandsFile().lastError());
    return false;
}

// Reads through the view; the end of the key order is no failure.
bool CommandBrowser::readRows(ViewDirection direction, std::size_t count, std::vector<BrowseRow> &rows) {
    std::vector<keyed::ViewRecord> records;
    const int code = view_.read(direction, count, records);
    for (const keyed::ViewRecord &record : records) {
        BrowseRow &row = rows.emplace_back();
        unpackCommands(record.data.data(), row.record);
        row.position = record.position.substr(0, CommandsLibrary::kPositionWidth);
    }
    if (code == keyed::KeyedOk || code == keyed::KeyedNotAvailable) return true;
    failRead();
    return false;
}

void CommandBrowser::show(std::vector<BrowseRow> page, std::size_t current) {
    rows_ = std::move(page);
    pageRows_ = visible();
    setCurrent(current);
}

// Makes a row current (clamped to the page) and copies its record into the
// record buffer; an empty page clears the buffer.
void CommandBrowser::setCurrent(std::size_t row) {
    if (rows_.empty()) {
        current_ = 0;
        clearCommands(library_.commandsRecord());
        thumb_ = 0;
        return;
    }
    current_ = static_cast<int>(std::clamp<std::size_t>(row, 1, rows_.size()));
    const Commands &record = rows_[static_cast<std::size_t>(current_) - 1].record;
    library_.commandsRecord() = record;
    thumb_ = std::min(thumbPosition(stops_, upperCard(record)), static_cast<int>(kKeyStops));
}

bool CommandBrowser::fromStart() {
    runtime::WaitCursor wait;
    std::vector<BrowseRow> page;
    if (!placed(view_.setStart()) || !readRows(ViewDirection::Forward, visible(), page)) return false;
    show(std::move(page), 1);
    return true;
}

void CommandBrowser::fromEnd() {
    runtime::WaitCursor wait;
    std::vector<BrowseRow> page;
    if (!placed(view_.setEnd()) || !readRows(ViewDirection::Backward, visible(), page)) return;
    std::reverse(page.begin(), page.end());
    const std::size_t last = page.size();
    show(std::move(page), last);
}

// A page from the view's place going down, filled up from its first row
// when the file ends first.  The first record read down is current; when
// nothing lies at or after the place, the last page shows with its last row
// current.
void CommandBrowser::around(int placeCode) {
    runtime::WaitCursor wait;
    if (!placed(placeCode)) return;
    const std::size_t wanted = visible();
    std::vector<BrowseRow> page;
    if (!readRows(ViewDirection::Forward, wanted, page)) return;
    const bool found = !page.empty();
    std::size_t current = 1;
    if (page.size() < wanted) {
        if (found) {
            const std::size_t before = page.size();
            if (!fillUp(page, wanted)) return;
            current = page.size() - before + 1;
        } else {
            std::vector<BrowseRow> above;
            if (!placed(view_.setEnd()) || !readRows(ViewDirection::Backward, wanted, above)) return;
            if (above.size() > wanted) above.resize(wanted);
            page.assign(std::make_move_iterator(above.rbegin()), std::make_move_iterator(above.rend()));
            current = page.size();
        }
    }
    show(std::move(page), current);
}

// A page that the end of the file left short gets the records before its
// first row, up to wanted rows.
bool CommandBrowser::fillUp(std::vector<BrowseRow> &page, std::size_t wanted) {
    if (page.empty() || page.size() >= wanted) return true;
    const std::size_t missing = wanted - page.size();
    std::vector<BrowseRow> above;
    // Read up from the first row; the view delivers that row again.
    if (!placed(view_.setFromPosition(page.front().position)) || !readRows(ViewDirection::Backward, missing + 1, above))
        return false;
    if (!above.empty() && above.front().position == page.front().position) above.erase(above.begin());
    if (above.size() > missing) above.resize(missing);
    page.insert(page.begin(), std::make_move_iterator(above.rbegin()), std::make_move_iterator(above.rend()));
    return true;
}

// Reads up to count records beyond the last row (Forward) or before the
// first (Backward) and slides the page over them; the current row keeps its
// place in the list.  Returns how many came.
std::size_t CommandBrowser::slide(ViewDirection direction, std::size_t count) {
    if (rows_.empty() || mustClose_) return 0;
    runtime::WaitCursor wait;
    const bool forward = direction == ViewDirection::Forward;
    const std::string edge = forward ? rows_.back().position : rows_.front().position;
    std::vector<BrowseRow> more;
    if (!placed(view_.setFromPosition(edge)) || !readRows(direction, count + 1, more)) return 0;
    // The edge row's own record comes first when it is still there.
    if (!more.empty() && more.front().position == edge) more.erase(more.begin());
    if (more.size() > count) more.resize(count);
    const std::size_t limit = visible();
    for (BrowseRow &row : more) {
        if (forward) {
            rows_.push_back(std::move(row));
            if (rows_.size() > limit) rows_.erase(rows_.begin());
        } else {
            rows_.insert(rows_.begin(), std::move(row));
            if (rows_.size() > limit) rows_.pop_back();
        }
    }
    while (rows_.size() > limit) rows_.pop_back();
    pageRows_ = limit;
    setCurrent(static_cast<std::size_t>(current_));
    return more.size();
}

// The page read again down from its first row's record and, when the file
// ends before the page is full (a delete near the end), filled up with the
// records before it, as a page built around a record is; the remembered
// record stays current, or the last row when it is gone.
void CommandBrowser::refresh(const std::string &remembered) {
    if (rows_.empty()) {
        fromStart();
        return;
    }
    runtime::WaitCursor wait;
    std::vector<BrowseRow> page;
    if (!placed(view_.setFromPosition(rows_.front().position)) || !readRows(ViewDirection::Forward, visible(), page))
        return;
    if (page.empty()) {
        fromStart();
        return;
    }
    if (!fillUp(page, visible())) return;
    std::size_t current = page.size();
    for (std::size_t i = 0; i < page.size(); ++i)
        if (page[i].position == remembered) current = i + 1;
    show(std::move(page), current);
}

// The 100 stops from the first to the last card name of the file; the
// table stays as it was when the file has no record in the key.
void CommandBrowser::buildKeyStops(const BrowseRow *knownFirst) {
    std::vector<BrowseRow> last, first;
    if (!placed(view_.setEnd()) || !readRows(ViewDirection::Backward, 1, last)) return;
    if (knownFirst)
        first.push_back(*knownFirst);
    else if (!placed(view_.setStart()) || !readRows(ViewDirection::Forward, 1, first))
        return;
    if (last.empty() || first.empty()) return;
    stops_ = library::keyStops(upperCard(first.front().record), upperCard(last.front().record), kStopLength);
    if (current_ > 0) setCurrent(static_cast<std::size_t>(current_));
}

void CommandBrowser::choose(int row) {
    if (mustClose_ || row < 1 || rows_.empty()) return;
    setCurrent(static_cast<std::size_t>(row));
}

void CommandBrowser::up() {
    if (mustClose_ || rows_.empty()) return;
    if (current_ == 1) {
        slide(ViewDirection::Backward, 1);
        return;
    }
    setCurrent(static_cast<std::size_t>(current_) - 1);
}

void CommandBrowser::down() {
    if (mustClose_ || rows_.empty()) return;
    if (static_cast<std::size_t>(current_) == rows_.size()) {
        slide(ViewDirection::Forward, 1);
        if (static_cast<std::size_t>(current_) == rows_.size()) return;
    }
    setCurrent(static_cast<std::size_t>(current_) + 1);
}

void CommandBrowser::scroll(BrowseScroll how) {
    if (mustClose_) return;
    switch (how) {
    case BrowseScroll::LineUp: slide(ViewDirection::Backward, 1); break;
    case BrowseScroll::LineDown: slide(ViewDirection::Forward, 1); break;
    case BrowseScroll::PageUp:
        // At the start of the file the first row becomes current.
        if (slide(ViewDirection::Backward, visible()) == 0 && !mustClose_) setCurrent(1);
        break;
    case BrowseScroll::PageDown:
        if (slide(ViewDirection::Forward, visible()) == 0 && !mustClose_) setCurrent(rows_.size());
        break;
    case BrowseScroll::Top: fromStart(); break;
    case BrowseScroll::Bottom: fromEnd(); break;
    }
}

void CommandBrowser::dragThumb(int position) {
    if (mustClose_) return;
    if (position <= 1) {
        fromStart();
    } else if (position >= static_cast<int>(kKeyStops)) {
        fromEnd();
    } else {
        around(view_.setFromKey(stops_[static_cast<std::size_t>(position) - 1]));
    }
}

void CommandBrowser::typed(unsigned char character) {
    if (mustClose_ || rows_.empty() || character == ' ') return;
    const unsigned char wanted = keyed::westernUpper(character);
    if (firstLetter(rows_[static_cast<std::size_t>(current_) - 1].record) == wanted) down();
    if (mustClose_) return;
    if (!rows_.empty() && firstLetter(rows_[static_cast<std::size_t>(current_) - 1].record) == wanted) return;
    around(view_.setFromKey(std::string(1, static_cast<char>(character))));
}

CommandBrowser::ReadBack CommandBrowser::watchedRead() {
    if (rows_.empty()) return ReadBack::NoRow;
    keyed::KeyedFile &file = library_.commandsFile();
    file.watch();
    const int code = file.readByPosition(rows_[static_cast<std::size_t>(current_) - 1].position);
    if (code == keyed::KeyedOk) return ReadBack::Read;
    if (code == keyed::KeyedRecordNotFound) return ReadBack::Gone;
    failRead();
    return ReadBack::Failed;
}

void CommandBrowser::insert() {
    if (mustClose_ || watchedRead() == ReadBack::Failed) return;
    clearCommands(library_.commandsRecord());
    callForm(FormInsert);
}

void CommandBrowser::change() { formOnCurrentRow(FormChange); }

void CommandBrowser::remove() { formOnCurrentRow(FormDelete); }

// Change and delete read the current row's record watched before the form
// runs on it.
void CommandBrowser::formOnCurrentRow(FormRequest request) {
    if (mustClose_ || rows_.empty()) return;
    switch (watchedRead()) {
    case ReadBack::Read: callForm(request); break;
    // Another station deleted it meanwhile: the page shows what is left.
    case ReadBack::Gone:
        refresh(rows_[static_cast<std::size_t>(current_) - 1].position);
        buildKeyStops();
        break;
    case ReadBack::NoRow:
    case ReadBack::Failed: break;
    }
}

void CommandBrowser::closePressed() {
    if (mustClose_) return;
    watchedRead();
    localResponse_ = FormCancelled;
}

void CommandBrowser::helpPressed() {
    if (mustClose_) return;
    watchedRead();
}

void CommandBrowser::callForm(FormRequest request) {
    const std::string currentPosition =
        rows_.empty() ? std::string{} : rows_[static_cast<std::size_t>(current_) - 1].position;
    FormCall &call = library_.formCall();
    call.request = request;
    // The view is closed while the form runs.
    view_.close();
    if (window_.callForm) window_.callForm();
    const std::int32_t response = call.response;
    if (view_.open() != keyed::KeyedOk)
        library_.warnings().tell(Warning::ViewOpenFailed, library_.commandsFile().lastError());
    afterForm(request, response, currentPosition);
    localResponse_ = FormCancelled;
}

void CommandBrowser::afterForm(FormRequest request, std::int32_t response, const std::string &currentPosition) {
    if (response == FormCompleted && request != FormDelete) {
        // The new or changed record is the file's current record; one whose
        // card name is blank is not in the key and cannot be shown.
        keyed::KeyedFile &file = library_.commandsFile();
        if (fieldText(library_.commandsRecord().card).empty())
            refresh(currentPosition);
        else
            around(view_.setFromPosition(file.position()));
    } else if (response == FormCompleted) {
        const std::size_t gone = static_cast<std::size_t>(current_) - 1;
        std::string remembered;
        if (gone < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(gone));
        if (gone < rows_.size())
            remembered = rows_[gone].position;
        else if (!rows_.empty())
            remembered = rows_.back().position;
        refresh(remembered);
    } else {
        refresh(currentPosition);
    }
    if (!mustClose_) buildKeyStops();
}

void CommandBrowser::regained() {
    if (mustClose_) return;
    if (rows_.empty()) {
        fromStart();
        if (!mustClose_) buildKeyStops();
        return;
    }
    const Commands shown = rows_[static_cast<std::size_t>(current_) - 1].record;
    const ReadBack read = watchedRead();
    if (read == ReadBack::Failed) return;
    // A record another station deleted meanwhile still names its card.
    const Commands &record = read == ReadBack::Read ? library_.commandsRecord() : shown;
    around(view_.setFromKey(std::string(record.card, kCardWidth)));
    if (!mustClose_) buildKeyStops();
}

}  // namespace kvr::library
