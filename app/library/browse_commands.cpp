#include "library/browse_commands.h"

#include "library/command_browser.h"
#include "library/update_commands.h"
#include "runtime/qt/key_code.h"
#include "runtime/message_box.h"
#include "runtime/qt/page_list.h"
#include "runtime/qt/popup_menu.h"
#include "runtime/settings_file.h"
#include "runtime/qt/western_text.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <QResizeEvent>

#include <array>
#include <string_view>

namespace kvr::library {

namespace {

constexpr const char *kSection = "BrowseCMD";
constexpr const char *kListMessage = "Browsing Records";
constexpr std::uint32_t kInsertKey = 0x2D;
constexpr std::uint32_t kDeleteKey = 0x2E;
constexpr std::uint32_t kCtrlEnter = runtime::KeyCtrl | 0x0D;

// The window as designed, in dialog units: the list, and below it the
// buttons, which follow the lower right corner when the window grows.
constexpr int kClientWidth = 432;
constexpr int kClientHeight = 185;
constexpr QRect kListPlace(8, 5, 413, 157);
constexpr int kButtonY = 166;
constexpr int kButtonWidth = 45;
constexpr int kButtonHeight = 14;
constexpr int kIndent = 2;

enum class Button { Insert, Change, Delete, Close, Help };
struct ButtonPlace {
    Button button;
    const char *name;
    const char *text;
    int x;
};
constexpr std::array<ButtonPlace, 5> kButtons{{
    {Button::Insert, "insert", "&Insert", 180},
    {Button::Change, "change", "&Change", 229},
    {Button::Delete, "delete", "&Delete", 278},
    {Button::Close, "close", "Close", 327},
    {Button::Help, "help", "Help", 376},
}};

const char *const kHelpText =
    "Comandos guardados, por orden de tarjeta.\n"
    "\n"
    "Insert o el botón Insert: añadir un comando.\n"
    "Doble clic, Ctrl+Intro o el botón Change: modificar el comando marcado.\n"
    "Supr o el botón Delete: borrar el comando marcado (se pide confirmación).\n"
    "Una letra: ir a la primera tarjeta que empieza por ella; repetirla recorre sus comandos.\n"
    "Flechas, Re Pág, Av Pág, Inicio y Fin: recorrer la lista.\n"
    "Barra de desplazamiento: situarse por el nombre de la tarjeta.\n"
    "Botón derecho del ratón: Insert, Change y Delete.\n"
    "Close: cerrar la ventana.";

runtime::WindowDefinition browserDefinition() {
    runtime::WindowDefinition d;
    d.name = "BROWSECMD$QUICKWINDOW";
    d.title = "Comandos";
    d.fontFace = "Fixedsys";
    d.clientSize = runtime::Size{kClientWidth, kClientHeight};
    d.resizable = true;
    d.statusBar = true;
    return d;
}

std::vector<runtime::qt::ListColumn> listColumns() {
    return {{"Card", 44}, {"Name", 127}, {"Cod", 20}, {"Cla", 20},  {"Ins", 20},
            {"P1", 20},   {"P2", 20},    {"P3", 20},  {"Data", 512}};
}

template <std::size_t N>
QString cell(const char (&field)[N]) {
    return runtime::qt::fromWestern(std::string_view(field, N));
}

QStringList cellsOf(const Commands &r) {
    return {cell(r.card),  cell(r.name),  cell(r.frsCode), cell(r.frsCla), cell(r.frsIns),
            cell(r.frsP1), cell(r.frsP2), cell(r.frsP3),   cell(r.data)};
}

class BrowseCommandsWindow : public runtime::qt::Window {
public:
    BrowseCommandsWindow(runtime::UserInteraction &interaction, CommandsLibrary &library, QWidget *parent)
        : runtime::qt::Window(browserDefinition(), interaction, parent), library_(library),
          browser_(library, {[this] { return list_->visibleRowCount(); },
                             [this] { updateCommands(this->interaction(), library_, this); }}) {
        list_ = new runtime::qt::PageList(units(), listColumns(), kIndent, client());
        list_->setObjectName("list");
        place(list_, kListPlace.x(), kListPlace.y(), kListPlace.width(), kListPlace.height());
        for (const ButtonPlace &b : kButtons) {
            auto *button = new QPushButton(QString::fromUtf8(b.text), client());
            button->setObjectName(b.name);
            place(button, b.x, kButtonY, kButtonWidth, kButtonHeight);
            const Button which = b.button;
            connect(button, &QPushButton::clicked, this, [this, which] { pressed(which); });
            buttons_[static_cast<std::size_t>(b.button)] = button;
        }
        client()->installEventFilter(this);
        list_->rowsView()->installEventFilter(this);

        connect(list_, &runtime::qt::PageList::rowUpRequested, this, [this] { act([this] { browser_.up(); }); });
        connect(list_, &runtime::qt::PageList::rowDownRequested, this, [this] { act([this] { browser_.down(); }); });
        connect(list_, &runtime::qt::PageList::scrollRequested, this,
                [this](runtime::qt::PageList::Scroll how) { act([this, how] { browser_.scroll(scrollOf(how)); }); });
        connect(list_, &runtime::qt::PageList::thumbDropped, this,
                [this](int position) { act([this, position] { browser_.dragThumb(position); }); });
        connect(list_, &runtime::qt::PageList::rowChosen, this,
                [this](int row) { act([this, row] { browser_.choose(row); }); });
        connect(list_, &runtime::qt::PageList::rowActivated, this, [this] {
            if (browser_.hasRows()) pressed(Button::Change);
        });
        connect(list_, &runtime::qt::PageList::keyPressed, this, [this](std::uint32_t code) { keyPressed(code); });
        connect(list_, &runtime::qt::PageList::characterTyped, this, [this](const QString &text) {
            const std::string bytes = runtime::qt::toWesternLossy(text.left(1));
            if (!bytes.empty()) act([this, bytes] { browser_.typed(static_cast<unsigned char>(bytes[0])); });
        });
        connect(list_, &runtime::qt::PageList::menuRequested, this, [this](const QPoint &at) { popup(at); });
        connect(list_, &runtime::qt::PageList::resized, this, [this] {
            if (open_) act([this] { browser_.regained(); });
        });
    }

protected:
    void opened() override {
        setMinimumSize(size());
        runtime::qt::restoreWindowPosition(this, kSection, runtime::kSettingsFile);
        layOut();
        browser_.open();
        open_ = true;
        afterAction();
        list_->setFocus(Qt::OtherFocusReason);
    }

    // The operator comes back to the browser from another program or
    // another window: the page is read again.  Coming back from the
    // browser's own form or boxes (which take the focus while an action of
    // the browser runs) reads nothing again: what they did is shown already
    // (an insert's page is built around the new record), and the first
    // command of its card would undo it.  Another station's changes are
    // caught when the form reads a record.
    void activated() override {
        const bool back = comingBack_;
        comingBack_ = false;
        if (back) act([this] { browser_.regained(); });
    }

    void changeEvent(QEvent *event) override {
        runtime::qt::Window::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && !isActiveWindow() && open_) comingBack_ = !acting_;
    }

    void closing() override {
        open_ = false;
        browser_.close();
        runtime::qt::storeWindowPosition(this, kSection, runtime::kSettingsFile);
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == client() && event->type() == QEvent::Resize) layOut();
        if (watched == list_->rowsView()) {
            if (event->type() == QEvent::FocusIn) setStatusText(QString::fromUtf8(kListMessage));
            if (event->type() == QEvent::FocusOut) setStatusText({});
        }
        return runtime::qt::Window::eventFilter(watched, event);
    }

private:
    static BrowseScroll scrollOf(runtime::qt::PageList::Scroll how) {
        switch (how) {
        case runtime::qt::PageList::Scroll::LineUp: return BrowseScroll::LineUp;
        case runtime::qt::PageList::Scroll::LineDown: return BrowseScroll::LineDown;
        case runtime::qt::PageList::Scroll::PageUp: return BrowseScroll::PageUp;
        case runtime::qt::PageList::Scroll::PageDown: return BrowseScroll::PageDown;
        case runtime::qt::PageList::Scroll::Top: return BrowseScroll::Top;
        case runtime::qt::PageList::Scroll::Bottom: return BrowseScroll::Bottom;
        }
        return BrowseScroll::Top;
    }

    // The list takes what the window grows by; the buttons keep their
    // distance from the lower right corner.
    void layOut() {
        const QSize designed = units().toPixels(QSize(kClientWidth, kClientHeight));
        const QSize grown = client()->size() - designed;
        QRect list = units().toPixels(kListPlace);
        list.setSize(list.size() + grown);
        list_->setGeometry(list);
        for (const ButtonPlace &b : kButtons) {
            const QRect place = units().toPixels(QRect(b.x, kButtonY, kButtonWidth, kButtonHeight));
            buttons_[static_cast<std::size_t>(b.button)]->setGeometry(place.translated(grown.width(), grown.height()));
        }
    }

    template <class Action>
    void act(Action action) {
        if (!open_) return;
        const Acting acting(acting_);
        action();
        afterAction();
    }

    // While an action of the browser runs (its form, its boxes).
    struct Acting {
        explicit Acting(bool &flag) : flag_(flag), was_(flag) { flag_ = true; }
        ~Acting() { flag_ = was_; }
        Acting(const Acting &) = delete;
        Acting &operator=(const Acting &) = delete;
        bool &flag_;
        const bool was_;
    };

    void afterAction() {
        if (browser_.mustClose()) {
            close();
            return;
        }
        showPage();
    }

    void pressed(Button button) {
        if (!open_) return;
        const Acting acting(acting_);
        switch (button) {
        case Button::Insert: browser_.insert(); break;
        case Button::Change: browser_.change(); break;
        case Button::Delete: browser_.remove(); break;
        case Button::Close:
            browser_.closePressed();
            close();
            return;
        case Button::Help:
            browser_.helpPressed();
            if (!browser_.mustClose())
                runtime::showMessageBox(interaction(), {kHelpText, "Ayuda", runtime::MessageIcon::Information,
                                                        runtime::ButtonOk, runtime::ButtonOk});
            break;
        }
        afterAction();
        if (open_ && button != Button::Help) list_->setFocus(Qt::OtherFocusReason);
    }

    void keyPressed(std::uint32_t code) {
        switch (code & ~(runtime::KeyExtended | runtime::KeyCapsLock | runtime::KeyNumLock | runtime::KeyScrollLock |
                         runtime::KeyInsertMode)) {
        case kInsertKey: pressed(Button::Insert); break;
        case kDeleteKey:
            if (browser_.hasRows()) pressed(Button::Delete);
            break;
        case kCtrlEnter:
            if (browser_.hasRows()) pressed(Button::Change);
            break;
        default: break;
        }
    }

    void popup(const QPoint &at) {
        const Acting acting(acting_);
        const bool rows = browser_.hasRows();
        const int chosen = runtime::qt::popupMenu({{"&Insert"}, {"&Change", rows}, {"&Delete", rows}}, at, this);
        if (chosen == 1) pressed(Button::Insert);
        if (chosen == 2) pressed(Button::Change);
        if (chosen == 3) pressed(Button::Delete);
    }

    void showPage() {
        std::vector<QStringList> cells;
        for (const BrowseRow &row : browser_.rows()) cells.push_back(cellsOf(row.record));
        if (cells != shownCells_) {
            list_->setRows(cells);
            shownCells_ = std::move(cells);
        }
        list_->setCurrentRow(browser_.currentRow());
        list_->setScrollBarShown(browser_.scrollBarShown());
        list_->setThumb(browser_.thumb());
        buttons_[static_cast<std::size_t>(Button::Change)]->setEnabled(browser_.hasRows());
        buttons_[static_cast<std::size_t>(Button::Delete)]->setEnabled(browser_.hasRows());
    }

    CommandsLibrary &library_;
    runtime::qt::PageList *list_ = nullptr;
    CommandBrowser browser_;
    std::array<QPushButton *, kButtons.size()> buttons_{};
    std::vector<QStringList> shownCells_;
    bool open_ = false;
    bool acting_ = false;      // an action of the browser runs
    bool comingBack_ = false;  // the focus went elsewhere than to the browser's own windows
};

}  // namespace

void browseCommands(runtime::UserInteraction &interaction, CommandsLibrary &library, QWidget *parent) {
    BrowseCommandsWindow window(interaction, library, parent);
    window.run();
}

}  // namespace kvr::library
