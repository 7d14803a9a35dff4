#include "console/main_window.h"

#include "session/card_script.h"
#include "session/command_console.h"
#include "session/exchange_history.h"
#include "session/hex_codec.h"
#include "session/history_file.h"
#include "console/history_window.h"
#include "console/info_windows.h"
#include "console/main_menu.h"
#include "session/reader_identification.h"
#include "session/reader_link.h"
#include "session/script_run.h"
#include "session/status_message.h"
#include "session/status_word.h"
#include "console/stored_command_menus.h"

#include "library/browse_commands.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "library/import_commands.h"
#include "runtime/qt/app_icon.h"
#include "runtime/qt/entry_field.h"
#include "runtime/file_dialog.h"
#include "runtime/qt/menus.h"
#include "runtime/message_box.h"
#include "runtime/profile.h"
#include "runtime/settings_file.h"
#include "runtime/wait_cursor.h"
#include "runtime/qt/western_text.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QStringList>
#include <QMetaObject>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

#include <string>
#include <utility>
#include <vector>

namespace kvr::console {

using namespace session;

namespace {

constexpr const char *kSection = "Main";

runtime::WindowDefinition mainWindowDefinition() {
    runtime::WindowDefinition d;
    d.name = "MAIN$WINDOW";
    d.title = "VEXA KVR Manager V3.01";
    d.fontFace = "Fixedsys";
    d.clientSize = runtime::Size{260, 110};
    d.menuBar = true;
    d.statusBar = true;
    return d;
}

// The tip of the reply's data views: the decoding's lines, then what the
// status word means; empty when the data decode to nothing.
QString decodingTip(const ReplyDecoding &decoding, const QString &statusWordMeaning) {
    if (decoding.empty()) return {};
    QStringList lines;
    for (const std::string &line : decoding.lines()) lines << QString::fromStdString(line);
    if (!statusWordMeaning.isEmpty()) lines << statusWordMeaning;
    return lines.join(QLatin1Char('\n'));
}

// While a script runs the operator's keys and clicks wait (a command of his
// own between two lines would break the script), all but Escape, which
// asks the run to stop before its next line.
class ScriptRunKeys : public QObject {
public:
    ScriptRunKeys() { qApp->installEventFilter(this); }
    ~ScriptRunKeys() override { qApp->removeEventFilter(this); }
    bool escaped() const { return escaped_; }

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) escaped_ = true;
        return type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride ||
               type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
               type == QEvent::MouseButtonDblClick;
    }

private:
    bool escaped_ = false;
};

class MainWindow : public runtime::qt::Window {
public:
    MainWindow(runtime::UserInteraction &interaction, library::CommandsLibrary &library, int32_t portHandle,
               const std::string &portName)
        : runtime::qt::Window(mainWindowDefinition(), interaction), link_(portHandle), console_(link_),
          portName_(portName), commands_(library), storedMenus_(*menus(), library, MenuCard, keysKeptByFixedItems()) {
        setWindowIcon(runtime::qt::applicationIcon());
        console_.recordInto(history_);
        commands_.acquire();
        buildControls();
        buildMainMenu(*menus());
        storedMenus_.offerSamCommandsUnder(MenuSam);
        connect(menus(), &runtime::qt::Menus::triggered, this, [this](int id) { menuChosen(id); });
    }

    // The history window (a child) goes before the history it shows.
    ~MainWindow() override {
        qDeleteAll(findChildren<runtime::qt::Window *>("HISTORIAL$WINDOW", Qt::FindDirectChildrenOnly));
    }

protected:
    void opened() override {
        runtime::qt::restoreWindowPosition(this, kSection, runtime::kSettingsFile);
        identifyReader();
        buildStoredCommandMenus();
        followTeamChanges();
        openHistoryLog();
        showConsole();
        code_->setFocus();
    }

    // Another process may have written COMMANDS while the window was not
    // the active one: the stored-command menus follow the file then (a look
    // at its change mark, nothing read when it stands), between the
    // operator's actions only, never under an open menu.
    void activated() override {
        if (!acting_ && QApplication::activePopupWidget() == nullptr && storedMenus_.fileChangedSinceBuild())
            buildStoredCommandMenus();
        showConsole();
    }

    void closing() override {
        // The history window closes with the main window, keeping its place.
        if (auto *history = findChild<runtime::qt::Window *>("HISTORIAL$WINDOW", Qt::FindDirectChildrenOnly))
            history->close();
        commands_.release();
        runtime::qt::storeWindowPosition(this, kSection, runtime::kSettingsFile);
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::FocusIn) {
            if (watched == requestHex_) console_.enterHexView();
            if (watched == requestBytes_) console_.enterByteView();
        }
        return runtime::qt::Window::eventFilter(watched, event);
    }

private:
    runtime::qt::EntryField *entry(int maxLength, const char *name, int x, int y, int w, int h, bool readOnly,
                                   bool upperCase = false) {
        auto *field = new runtime::qt::EntryField(maxLength, client());
        field->setObjectName(name);
        field->setReadOnly(readOnly);
        field->setUpperCase(upperCase);
        place(field, x, y, w, h);
        connect(field, &runtime::qt::EntryField::refused, field, [field] { field->setFocus(); });
        return field;
    }

    void label(const char *text, int x, int y, int w, int h) { place(new QLabel(text, client()), x, y, w, h); }

    void buildControls() {
        buildRequestPanel();
        buildReplyPanel();
        send_ = new QPushButton("Procesar Comando", client());
        send_->setObjectName("send");
        place(send_, 4, 94, 252, 12);
        connect(send_, &QPushButton::clicked, this, [this] {
            const QScopedValueRollback<bool> acting(acting_, true);  // its question box may come and go
            sendCommand();
        });
        setPanelTabOrder();
    }

    // The command's header fields, and its data as hex and as characters.
    void buildRequestPanel() {
        auto *request = new QGroupBox("Comando PC -> KVR", client());
        place(request, 4, 3, 252, 43);
        const char *headerNames[] = {"CODE", "CLA", "INS", "P1", "P2", "P3"};
        for (int i = 0; i < 6; ++i) label(headerNames[i], 10 + 20 * i, 12, i == 0 ? 18 : 16, 10);
        label("DATOS", 130, 12, 120, 10);
        code_ = entry(2, "CODE", 10, 20, 16, 10, true);
        std::string *fields[] = {&console_.cla, &console_.ins, &console_.p1, &console_.p2, &console_.p3};
        for (int i = 0; i < 5; ++i) {
            auto *field = entry(2, headerNames[i + 1], 30 + 20 * i, 20, 16, 10, false, true);
            std::string *variable = fields[i];
            connect(field, &QLineEdit::textEdited, this,
                    [variable](const QString &text) { *variable = fixedWidth(runtime::qt::toWesternLossy(text), 2); });
            header_.push_back(field);
        }
        // The hex view holds the 255 bytes the byte view can, three
        // characters each; more bytes than that are refused, not cut.
        requestHex_ = entry(static_cast<int>(kRequestHexShown), "requestHex", 10, 32, 240, 10, false, true);
        requestHex_->setEntryRule(
            [](const QString &text) { return requestHexFits(runtime::qt::toWesternLossy(text)); });
        requestBytes_ = entry(static_cast<int>(kRequestDataShown), "requestBytes", 130, 20, 120, 10, false);
        requestHex_->installEventFilter(this);
        requestBytes_->installEventFilter(this);
        connect(requestHex_, &QLineEdit::textEdited, this, [this](const QString &text) {
            console_.hexViewEdited(runtime::qt::toWesternLossy(text));
            showConsole(requestHex_);
        });
        connect(requestBytes_, &QLineEdit::textEdited, this, [this](const QString &text) {
            console_.byteViewEdited(runtime::qt::toWesternLossy(text));
            showConsole(requestBytes_);
        });
    }

    // The reply's status, status word, length and data; the program alone
    // writes them.
    void buildReplyPanel() {
        auto *reply = new QGroupBox("Comando KVR -> PC", client());
        place(reply, 4, 50, 252, 42);
        const char *replyNames[] = {"STAT", "SW1", "SW2", "LEN"};
        for (int i = 0; i < 4; ++i) label(replyNames[i], 10 + 20 * i, 58, 16, 10);
        label("DATOS", 90, 58, 160, 10);
        for (int i = 0; i < 4; ++i) replyHeader_.push_back(entry(2, replyNames[i], 10 + 20 * i, 66, 16, 10, true));
        replyBytes_ = entry(255, "replyBytes", 90, 66, 160, 10, true);
        // Three characters a byte, as the request's hex view: a 255-byte
        // reply is shown whole.
        replyHex_ = entry(static_cast<int>(kRequestHexShown), "replyHex", 10, 78, 240, 10, true);
    }

    // Tab order: the request panel, the reply panel, the send button.
    void setPanelTabOrder() {
        std::vector<QWidget *> order{code_};
        order.insert(order.end(), header_.begin(), header_.end());
        order.push_back(requestHex_);
        order.push_back(requestBytes_);
        order.insert(order.end(), replyHeader_.begin(), replyHeader_.end());
        order.push_back(replyBytes_);
        order.push_back(replyHex_);
        order.push_back(send_);
        for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    }

    // Shows a text the program sets; a text longer than its field is shown
    // from its first character unless it follows the operator's typing.
    // The console keeps no trailing blanks: blanks the operator typed at the
    // end stay, with the caret where it was, so that typing goes on there.
    static void show(QLineEdit *field, const std::string &bytes, bool fromStart = true) {
        const QString text = runtime::qt::fromWestern(bytes);
        const QString shown = field->text();
        if (shown == text) return;
        if (shown.startsWith(text) && shown.mid(text.size()).trimmed().isEmpty()) return;
        field->setText(text);
        if (fromStart) field->setCursorPosition(0);
    }

    // Redisplays every field from the console; the view the operator is
    // typing in keeps its own text, and the other data view follows it to
    // its end.
    void showConsole(const QLineEdit *typing = nullptr) {
        show(code_, console_.code);
        const std::string *fields[] = {&console_.cla, &console_.ins, &console_.p1, &console_.p2, &console_.p3};
        for (int i = 0; i < 5; ++i)
            if (header_[i] != typing) show(header_[i], std::string(trimRight(*fields[i])));
        if (requestHex_ != typing) show(requestHex_, console_.requestHexShown(), !typing);
        if (requestBytes_ != typing) show(requestBytes_, console_.requestBytesShown(), !typing);
        requestHex_->setEnabled(console_.requestDataEnabled());
        requestBytes_->setEnabled(console_.requestDataEnabled());
        const RequestEditable &editable = console_.editable();
        header_[2]->setReadOnly(!editable.p1);
        header_[3]->setReadOnly(!editable.p2);
        header_[4]->setReadOnly(!editable.p3);
        requestHex_->setReadOnly(!editable.data);
        requestBytes_->setReadOnly(!editable.data);
        const std::string *reply[] = {&console_.stat, &console_.sw1, &console_.sw2, &console_.len};
        for (int i = 0; i < 4; ++i) show(replyHeader_[i], std::string(trimRight(*reply[i])));
        // What the status word means, over both of its fields; nothing for
        // a blank reply or a status word the table does not know.
        const QString meaning = QString::fromStdString(statusWordMeaning(console_.sw1, console_.sw2));
        replyHeader_[1]->setToolTip(meaning);
        replyHeader_[2]->setToolTip(meaning);
        show(replyBytes_, console_.replyBytesShown());
        show(replyHex_, console_.replyHexShown());
        // What the reply's data decode to, over both data views, with what
        // the status word means: the three layers of the reply together.
        const QString decoding = decodingTip(console_.replyDecoding(), meaning);
        replyBytes_->setToolTip(decoding);
        replyHex_->setToolTip(decoding);
        setStatusText(QString::fromStdString(console_.statusText()));
        setStatusToolTip(QString::fromStdString(console_.statusMeaning()));
    }

    // In the team library another station's change of COMMANDS shows in
    // the stored-command menus between the operator's actions: a look at
    // the notices already come in, every few tenths of a second.
    void followTeamChanges() {
        if (!commands_.library().isTeamLibrary()) return;
        auto *look = new QTimer(this);
        connect(look, &QTimer::timeout, this, [this] {
            if (storedMenus_.teamChangedSinceBuild(!acting_ && QApplication::activePopupWidget() == nullptr))
                buildStoredCommandMenus();
        });
        look->start(StoredCommandMenus::kNoticeLookMs);
    }

    // Builds the stored-command menus again from COMMANDS, in place of the
    // previous build's, and says in the status bar what they leave out.  A
    // build that cannot read the file keeps the menus it had and says so.
    void buildStoredCommandMenus() {
        StoredMenusNote note;
        if (storedMenus_.build(console_.lastStoredEntry())) {
            console_.setLastStoredEntry(storedMenus_.plan().lastEntryNumber);
            note = storedMenusNote(storedMenus_.plan(), [](const std::string &name) {
                return runtime::qt::fromWestern(name).toStdString();
            });
        } else {
            note = storedMenusNotUpdatedNote();
        }
        if (!note.text.empty())
            console_.setStatusText(note.text, note.tip);
        else if (!menusNote_.empty() && console_.statusText() == menusNote_)
            console_.setStatusText({});  // the previous build's note no longer holds
        menusNote_ = note.text;
    }

    void chooseStoredCommand(int number) {
        const std::optional<StoredFocus> focus = storedMenus_.choose(number, console_);
        if (!focus) return;
        showConsole();
        // The open field gets the focus with its placeholder selected, as
        // Tab would leave it, so that what the operator types replaces it.
        switch (*focus) {
        case StoredFocus::P1: openField(header_[2]); break;
        case StoredFocus::P2: openField(header_[3]); break;
        case StoredFocus::P3: openField(header_[4]); break;
        case StoredFocus::RequestHex:
            // Entering the hex view makes it the source; when it had the
            // focus already (a hot key pressed there) no focus event says so.
            openField(requestHex_);
            if (requestHex_->hasFocus()) console_.enterHexView();
            break;
        case StoredFocus::Send: send_->setFocus(); break;
        }
    }

    static void openField(QLineEdit *field) {
        field->setFocus();
        field->selectAll();
    }

    // [Historial] Archivo= names a file that every exchange is appended to;
    // one that cannot be opened is said in the status bar, and the program
    // goes on without it.
    void openHistoryLog() {
        const std::string path =
            runtime::readProfileString(kHistorySection, kHistoryFileKey, "", runtime::kSettingsFile);
        if (path.empty()) return;
        std::string error;
        if (!historyLog_.open(path, ExchangeClock::system().wallMs(), error))
            console_.setStatusText(historyLogNotOpenedMessage(path, error));
        logged_ = history_.endSequence();
    }

    // Appends the exchanges not yet in the log; a failed write is said once
    // in a box, and the log is given up; lines the log cannot take now are
    // dropped, which the status bar says once.
    void logExchanges() {
        for (; logged_ < history_.endSequence(); ++logged_) {
            const Exchange *exchange = history_.bySequence(logged_);
            if (!exchange || !historyLog_.isOpen()) continue;
            std::string error;
            const HistoryLog::Outcome outcome = historyLog_.append(*exchange, error);
            if (outcome == HistoryLog::Outcome::Written) continue;
            if (outcome == HistoryLog::Outcome::Dropped) {
                if (!toldDropping_) {
                    console_.setStatusText(historyLogDroppingMessage(historyLog_.path()));
                    setStatusText(QString::fromStdString(console_.statusText()));
                }
                toldDropping_ = true;
                continue;
            }
            runtime::MessageBoxRequest box;
            box.caption = "Historial";
            box.text = historyLogFailedMessage(historyLog_.path(), error);
            box.icon = runtime::MessageIcon::Exclamation;
            runtime::showMessageBox(interaction(), box);
        }
    }

    void identifyReader() {
        int32_t length = 0;
        const int32_t result = link_.resetReader(&length, answer_.data());
        identification_ = kvr::session::identifyReader(result, answer_);
        const MenuLayout layout =
            adjustMenus(identification_, [this](uint8_t slot) { return console_.probeSamSlot(slot, answer_); });
        applyMenuLayout(*menus(), layout);
    }

    void sendCommand() {
        int32_t result = 0;
        {
            runtime::WaitCursor wait;
            result = console_.send();
        }
        showConsole();
        logExchanges();
        if (!asksToResetReader(result)) return;
        runtime::MessageBoxRequest question;
        question.caption = kSilentReaderCaption;
        question.text = kSilentReaderQuestion;
        question.icon = runtime::MessageIcon::Stop;
        question.buttons = runtime::ButtonYes | runtime::ButtonNo;
        question.defaultButton = runtime::ButtonYes;
        if (runtime::showMessageBox(interaction(), question) == runtime::ButtonYes) {
            // As if the operator chose "&Reset", once this event is done.
            QMetaObject::invokeMethod(
                this, [this] { menuChosen(ItemReset); }, Qt::QueuedConnection);
        }
    }

    void resetReader() {
        console_.resetReader();
        showConsole();
        logExchanges();
    }

    // Utilidades > Ejecutar guión...: each line of the script through the
    // console, under the wait cursor, then one box with the counts.
    void runScript() {
        const QString path =
            QString::fromStdString(runtime::chooseOpenFile(interaction(), "Ejecutar guión", "Guiones|*.kvs;*.txt"));
        if (path.isEmpty()) return;
        const std::string name = QFileInfo(path).fileName().toStdString();
        ScriptParser script(name);
        std::string error;
        runtime::MessageBoxRequest box;
        box.caption = "Guión";
        if (!readScriptFile(QFile::encodeName(path).toStdString(), script, error)) {
            box.text = "El guión " + name + " no se ha ejecutado: " + error;
            box.icon = runtime::MessageIcon::Exclamation;
            runtime::showMessageBox(interaction(), box);
            return;
        }
        ScriptRun run(console_, history_, name, script.lines());
        {
            runtime::WaitCursor wait;
            ScriptRunKeys keys;
            while (!run.finished()) {
                run.runNext();
                showConsole();
                logExchanges();
                // The panels are drawn, and an Escape seen, between lines.
                QApplication::processEvents();
                if (keys.escaped()) run.stop();
            }
        }
        box.text = run.summary();
        box.icon =
            run.failures() > 0 || run.stopped() ? runtime::MessageIcon::Exclamation : runtime::MessageIcon::Information;
        runtime::showMessageBox(interaction(), box);
    }

    // The Edición items on the field that has the focus.  QLineEdit's own
    // cut, paste and delete would change a read-only field all the same;
    // its keys leave such a field alone.
    void editFocusedField(int id) {
        QLineEdit *field = qobject_cast<QLineEdit *>(focusWidget());
        if (!field) return;
        if (id == ItemCopy) {
            field->copy();
            return;
        }
        if (field->isReadOnly()) return;
        if (id == ItemCut) {
            field->cut();
        } else if (id == ItemDelete) {
            field->del();
        } else if (auto *entry = qobject_cast<runtime::qt::EntryField *>(field)) {
            entry->pasteAsEntered();
        } else {
            field->paste();
        }
    }

    void menuChosen(int id) {
        const QScopedValueRollback<bool> acting(acting_, true);
        if ((id >= kFirstStoredEntry && id <= kLastStoredEntry) ||
            (id >= kFirstSamStoredEntry && id <= kLastSamStoredEntry)) {
            chooseStoredCommand(id);
            return;
        }
        if (const auto command = preparedBy(id)) {
            console_.prepare(prepareCommand(*command, console_.currentSam()));
            showConsole();
            send_->setFocus();
            return;
        }
        switch (id) {
        case ItemReset: resetReader(); break;
        case ItemInfo:
            runReaderInfoWindow(interaction(), identification_, portName_);
            showConsole();
            break;
        case ItemAbout:
            runAboutWindow(interaction(), nullptr, commands_.library().placeText());
            showConsole();
            break;
        case ItemExit: close(); break;
        case ItemCut:
        case ItemCopy:
        case ItemPaste:
        case ItemDelete: editFocusedField(id); break;
        case ItemCommandBrowser:
            // The stored commands may have changed: their menus are built
            // again when the browser closes.
            library::browseCommands(interaction(), commands_.library(), this);
            buildStoredCommandMenus();
            showConsole();
            break;
        case ItemHistory: showHistoryWindow(interaction(), history_, this); break;
        case ItemRunScript: runScript(); break;
        case ItemImport:
            // The stored-command menus stay as they are: the imported
            // commands join them when the browser closes or at the next start.
            if (std::string imported = library::importCommands(interaction(), commands_.library()); !imported.empty())
                console_.setStatusText(std::move(imported));
            storedMenus_.fileSeen();
            showConsole();
            break;
        default: break;
        }
    }

    DriverLink link_;
    // The history outlives the console that feeds it and its window.
    ExchangeHistory history_;
    HistoryLog historyLog_;
    bool toldDropping_ = false;
    uint64_t logged_ = 0;  // the sequence number of the next exchange to log
    CommandConsole console_;
    std::string portName_;
    AnswerBuffer answer_{};
    ReaderIdentification identification_;
    library::CommandsUse commands_;
    StoredCommandMenus storedMenus_;
    std::string menusNote_;  // what the last build said in the status bar
    bool acting_ = false;    // a menu action or a command's sending is under way

    runtime::qt::EntryField *code_ = nullptr;
    std::vector<runtime::qt::EntryField *> header_;
    runtime::qt::EntryField *requestHex_ = nullptr;
    runtime::qt::EntryField *requestBytes_ = nullptr;
    std::vector<runtime::qt::EntryField *> replyHeader_;
    runtime::qt::EntryField *replyBytes_ = nullptr;
    runtime::qt::EntryField *replyHex_ = nullptr;
    QPushButton *send_ = nullptr;
};

}  // namespace

void runMainWindow(runtime::UserInteraction &interaction, library::CommandsLibrary &library, int32_t portHandle,
                   const std::string &portName) {
    MainWindow window(interaction, library, portHandle, portName);
    window.run();
}

}  // namespace kvr::console
