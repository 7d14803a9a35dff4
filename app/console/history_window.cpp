#include "console/history_window.h"

#include "session/exchange_history.h"
#include "session/exchange_script.h"
#include "session/exchange_text.h"
#include "session/history_file.h"

#include "runtime/file_dialog.h"
#include "runtime/message_box.h"
#include "runtime/settings_file.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <vector>

namespace kvr::console {

using namespace session;

namespace {

constexpr const char *kWindowName = "HISTORIAL$WINDOW";

// The history as a table: row r is the exchange with sequence number
// first_ + r.  The model copies nothing; it only remembers which sequence
// numbers it shows and catches up with the history when told.
class HistoryModel : public QAbstractTableModel {
public:
    explicit HistoryModel(const ExchangeHistory &history, QObject *parent)
        : QAbstractTableModel(parent), history_(history), first_(history.firstSequence()), end_(history.endSequence()) {
    }

    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(end_ - first_);
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : kExchangeColumns; }

    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::TextAlignmentRole && index.column() == ColumnDuration)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        // The tip shows a cell whole where its column cuts it.
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        const Exchange *e = exchangeAt(index.row());
        if (!e) return {};
        return QString::fromStdString(exchangeColumn(*e, static_cast<ExchangeColumn>(index.column())));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kExchangeColumns)
            return {};
        return QString::fromUtf8(exchangeColumnHeadings()[static_cast<std::size_t>(section)]);
    }

    const Exchange *exchangeAt(int row) const { return history_.bySequence(first_ + static_cast<uint64_t>(row)); }

    // Drops the rows whose exchanges are gone, then adds the new ones.
    void catchUp() {
        const uint64_t keptFrom = history_.firstSequence();
        if (keptFrom > first_) {
            const uint64_t gone = std::min(keptFrom, end_) - first_;
            if (gone > 0) {
                beginRemoveRows({}, 0, static_cast<int>(gone - 1));
                first_ += gone;
                endRemoveRows();
            }
            if (first_ < keptFrom) first_ = end_ = keptFrom;
        }
        const uint64_t to = history_.endSequence();
        if (to > end_) {
            beginInsertRows({}, static_cast<int>(end_ - first_), static_cast<int>(to - first_ - 1));
            end_ = to;
            endInsertRows();
        }
    }

private:
    const ExchangeHistory &history_;
    uint64_t first_, end_;
};

runtime::WindowDefinition historyDefinition() {
    runtime::WindowDefinition d;
    d.name = kWindowName;
    d.title = "Historial";
    d.fontFace = "Fixedsys";
    d.clientSize = runtime::Size{520, 180};
    d.resizable = true;
    return d;
}

class HistoryWindow : public runtime::qt::Window {
public:
    HistoryWindow(runtime::UserInteraction &interaction, ExchangeHistory &history, QWidget *parent)
        : runtime::qt::Window(historyDefinition(), interaction, parent), history_(history) {
        setWindowModality(Qt::NonModal);
        setAttribute(Qt::WA_DeleteOnClose, true);

        model_ = new HistoryModel(history_, this);
        view_ = new QTableView(client());
        view_->setObjectName("exchanges");
        view_->setModel(model_);
        view_->setSelectionBehavior(QAbstractItemView::SelectRows);
        view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view_->setWordWrap(false);
        view_->setShowGrid(false);
        view_->setTabKeyNavigation(false);
        view_->verticalHeader()->hide();
        // One row height and fixed column widths: a new row costs the same
        // however many there are.
        view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
        view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        view_->horizontalHeader()->setStretchLastSection(true);
        // Characters of each column's content; a heading that is longer
        // widens its column.
        const int widths[kExchangeColumns] = {12, 5, 17, 24, 11, 24, 31, 34, 60, 30};
        const int digit = view_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const QFontMetrics heading = view_->horizontalHeader()->fontMetrics();
        for (int c = 0; c < kExchangeColumns; ++c) {
            const QString title = QString::fromUtf8(exchangeColumnHeadings()[static_cast<std::size_t>(c)]);
            view_->setColumnWidth(c, std::max((widths[c] + 2) * digit, heading.horizontalAdvance(title) + 3 * digit));
        }
        // On screen a script line's verdict, the reply's status and meaning
        // follow its header; the data, which may be long, come last.
        QHeaderView *columns = view_->horizontalHeader();
        const int shown[] = {ColumnTime,   ColumnDuration, ColumnHeader, ColumnReply,    ColumnVerdict,
                             ColumnStatus, ColumnMeaning,  ColumnSent,   ColumnReceived, ColumnDecoding};
        for (int place = 0; place < kExchangeColumns; ++place)
            columns->moveSection(columns->visualIndex(shown[place]), place);

        auto *layout = new QVBoxLayout(client());
        layout->addWidget(view_, 1);
        layout->addLayout(buildButtons());
        auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(escape, &QShortcut::activated, this, &QWidget::close);

        // The list catches up with the history at most every 40 ms: a burst
        // of exchanges costs one redraw, and the console never waits for
        // the list.
        catchUp_.setSingleShot(true);
        catchUp_.setInterval(40);
        connect(&catchUp_, &QTimer::timeout, this, [this] { follow(); });
        history_.setListener([this] {
            if (!catchUp_.isActive()) catchUp_.start();
        });
        view_->setFocus();
    }

    // A window closed a moment ago no longer listens: a new one may.
    ~HistoryWindow() override {
        if (listening_) history_.setListener({});
    }

    void open() {
        resize(sizeHint());
        show();
        // Beside the main window until a place of its own is stored: not
        // over the menus and request panel the operator is using.
        runtime::qt::placeWindowBeside(this, parentWidget() ? parentWidget()->window() : nullptr);
        runtime::qt::restoreWindowPosition(this, kHistorySection, runtime::kSettingsFile);
        view_->scrollToBottom();
    }

protected:
    void closeEvent(QCloseEvent *event) override {
        if (listening_) history_.setListener({});
        listening_ = false;
        catchUp_.stop();
        runtime::qt::storeWindowPosition(this, kHistorySection, runtime::kSettingsFile);
        runtime::qt::Window::closeEvent(event);
    }

private:
    // The row of buttons under the list, each connected to what it does.
    QHBoxLayout *buildButtons() {
        auto *buttons = new QHBoxLayout;
        buttons->addStretch(1);
        save_ = button(buttons, "save", "&Guardar...");
        auto *saveScript = button(buttons, "saveScript", "Guardar como &guión...");
        auto *saveRules = button(buttons, "saveRules", "Guardar como &reglas...");
        copy_ = button(buttons, "copy", "&Copiar");
        clear_ = button(buttons, "clear", "&Borrar");
        auto *close = button(buttons, "close", "Cerrar");
        connect(save_, &QPushButton::clicked, this, [this] { saveAs(); });
        connect(saveScript, &QPushButton::clicked, this, [this] { saveAsScript(false); });
        connect(saveRules, &QPushButton::clicked, this, [this] { saveAsScript(true); });
        connect(copy_, &QPushButton::clicked, this, [this] { copySelected(); });
        connect(clear_, &QPushButton::clicked, this, [this] { history_.clear(); });
        connect(close, &QPushButton::clicked, this, &QWidget::close);
        return buttons;
    }

    QPushButton *button(QHBoxLayout *row, const char *name, const char *text) {
        auto *b = new QPushButton(QString::fromUtf8(text), client());
        b->setObjectName(name);
        row->addWidget(b);
        return b;
    }

    // New exchanges scroll into view unless the operator has scrolled up
    // to read older ones.
    void follow() {
        QScrollBar *bar = view_->verticalScrollBar();
        const bool atEnd = bar->value() >= bar->maximum();
        model_->catchUp();
        if (atEnd) view_->scrollToBottom();
    }

    // The exchanges of the rows selected, in order.
    std::vector<const Exchange *> selectedExchanges() {
        follow();
        QModelIndexList rows = view_->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(),
                  [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
        std::vector<const Exchange *> exchanges;
        for (const QModelIndex &row : rows)
            if (const Exchange *e = model_->exchangeAt(row.row())) exchanges.push_back(e);
        return exchanges;
    }

    void copySelected() {
        std::string text;
        for (const Exchange *e : selectedExchanges()) text += exchangeLines(*e);
        if (!text.empty()) QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    }

    // "Guardar como guión..." and "Guardar como reglas...": the rows
    // selected, or all, as a card script or as emulator rules.
    void saveAsScript(bool rules) {
        std::vector<const Exchange *> exchanges = selectedExchanges();
        if (exchanges.empty())
            for (int row = 0; row < model_->rowCount(); ++row)
                if (const Exchange *e = model_->exchangeAt(row)) exchanges.push_back(e);
        const std::string file = rules ? runtime::chooseSaveFile(interaction(), "Guardar como reglas",
                                                                 "Reglas|*.rules;*.txt", "historial.rules")
                                       : runtime::chooseSaveFile(interaction(), "Guardar como guión",
                                                                 "Guiones|*.kvs;*.txt", "historial.kvs");
        if (file.empty()) return;
        std::string error;
        if (writeTextFile(file, rules ? exchangesAsRules(exchanges) : exchangesAsScript(exchanges), error)) return;
        runtime::MessageBoxRequest box;
        box.caption = "Historial";
        box.text = historyNotSavedMessage(file, error);
        box.icon = runtime::MessageIcon::Exclamation;
        runtime::showMessageBox(interaction(), box);
    }

    void saveAs() {
        const std::string file =
            runtime::chooseSaveFile(interaction(), "Guardar historial", "Texto|*.txt|CSV|*.csv", "historial.txt");
        if (file.empty()) return;
        std::string error;
        if (saveHistory(history_, file, error)) return;
        runtime::MessageBoxRequest box;
        box.caption = "Historial";
        box.text = historyNotSavedMessage(file, error);
        box.icon = runtime::MessageIcon::Exclamation;
        runtime::showMessageBox(interaction(), box);
    }

    ExchangeHistory &history_;
    bool listening_ = true;
    QTimer catchUp_;
    HistoryModel *model_ = nullptr;
    QTableView *view_ = nullptr;
    QPushButton *save_ = nullptr;
    QPushButton *copy_ = nullptr;
    QPushButton *clear_ = nullptr;
};

}  // namespace

runtime::qt::Window *showHistoryWindow(runtime::UserInteraction &interaction, ExchangeHistory &history,
                                       QWidget *parent) {
    if (parent) {
        // One closed a moment ago waits hidden for its deletion.
        auto *open = parent->findChild<runtime::qt::Window *>(kWindowName, Qt::FindDirectChildrenOnly);
        if (open && open->isVisible()) {
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto *window = new HistoryWindow(interaction, history, parent);
    window->open();
    return window;
}

}  // namespace kvr::console
