#include "runtime/qt/page_list.h"

#include "runtime/qt/key_code.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace kvr::runtime::qt {

namespace {

constexpr int kWheelNotch = 120;
constexpr int kRowsPerNotch = 3;

// A cell: its text after the indent, clipped to the column, and a border on
// its right.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(int indent, QObject *parent) : QStyledItemDelegate(parent), indent_(indent) {}

    void setRowHeight(int height) { rowHeight_ = height; }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight_};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        const QWidget *widget = cell.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

        painter->save();
        const QRect textArea = cell.rect.adjusted(indent_, 0, -1, 0);
        painter->setClipRect(textArea);
        const bool selected = cell.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = cell.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        painter->setPen(cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(cell.font);
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->setClipping(false);
        painter->setPen(cell.palette.color(QPalette::Mid));
        painter->drawLine(cell.rect.topRight(), cell.rect.bottomRight());
        painter->restore();
    }

private:
    int indent_;
    int rowHeight_ = 1;
};

}  // namespace

PageList::PageList(const DialogUnits &units, const std::vector<ListColumn> &columns, int indent, QWidget *parent)
    : QWidget(parent), view_(new QTreeWidget(this)), bar_(new QScrollBar(Qt::Vertical, this)),
      indent_(units.toPixelsX(indent)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    layout->addWidget(bar_);

    view_->setObjectName(QStringLiteral("rows"));
    view_->setColumnCount(static_cast<int>(columns.size()));
    QStringList headings;
    for (const ListColumn &column : columns) headings << column.heading;
    view_->setHeaderLabels(headings);
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The columns are wider than the list: the horizontal bar is always
    // there, so that the rows that fit do not change with it.
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setContextMenuPolicy(Qt::DefaultContextMenu);
    auto *delegate = new CellDelegate(indent_, view_);
    view_->setItemDelegate(delegate);
    QHeaderView *header = view_->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (std::size_t i = 0; i < columns.size(); ++i)
        view_->setColumnWidth(static_cast<int>(i), units.toPixelsX(columns[i].width));
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    setFocusProxy(view_);
    fitRowHeight();

    bar_->setObjectName(QStringLiteral("thumb"));
    bar_->setRange(0, kThumbScale);
    bar_->setSingleStep(1);
    bar_->setPageStep(10);
    bar_->setTracking(false);
    bar_->setFocusPolicy(Qt::NoFocus);
    bar_->hide();
    connect(bar_, &QAbstractSlider::actionTriggered, this, [this](int action) { barAction(action); });
    connect(bar_, &QAbstractSlider::sliderReleased, this, [this] {
        const int position = bar_->sliderPosition();
        QMetaObject::invokeMethod(
            this, [this, position] { emit thumbDropped(position); }, Qt::QueuedConnection);
    });
}

void PageList::fitRowHeight() {
    rowHeight_ = QFontMetrics(font()).height() + 2;
    static_cast<CellDelegate *>(view_->itemDelegate())->setRowHeight(rowHeight_);
}

void PageList::setRows(const std::vector<QStringList> &rows) {
    view_->clear();
    QList<QTreeWidgetItem *> items;
    for (const QStringList &cells : rows) items << new QTreeWidgetItem(cells);
    view_->addTopLevelItems(items);
}

int PageList::rowCount() const { return view_->topLevelItemCount(); }

QString PageList::cellText(int row, int column) const {
    const QTreeWidgetItem *item = view_->topLevelItem(row - 1);
    return item ? item->text(column) : QString();
}

void PageList::setCurrentRow(int row) {
    QTreeWidgetItem *item = row > 0 ? view_->topLevelItem(row - 1) : nullptr;
    if (!item) {
        view_->clearSelection();
        view_->setCurrentItem(nullptr);
        return;
    }
    view_->setCurrentItem(item);
    item->setSelected(true);
}

int PageList::currentRow() const {
    const QTreeWidgetItem *item = view_->currentItem();
    return item && item->isSelected() ? view_->indexOfTopLevelItem(const_cast<QTreeWidgetItem *>(item)) + 1 : 0;
}

int PageList::visibleRowCount() const { return std::max(1, view_->viewport()->height() / rowHeight_); }

void PageList::setScrollBarShown(bool shown) { bar_->setVisible(shown); }

bool PageList::scrollBarShown() const { return !bar_->isHidden(); }

void PageList::setThumb(int position) {
    bar_->setValue(std::clamp(position, 0, kThumbScale));
    bar_->setSliderPosition(bar_->value());
}

int PageList::thumb() const { return bar_->value(); }

int PageList::columnCount() const { return view_->columnCount(); }

int PageList::columnWidth(int column) const { return view_->columnWidth(column); }

QString PageList::columnHeading(int column) const { return view_->headerItem()->text(column); }

void PageList::ask(Scroll how) {
    QMetaObject::invokeMethod(
        this, [this, how] { emit scrollRequested(how); }, Qt::QueuedConnection);
}

// The bar's arrows and track ask for rows and pages; the thumb stays where
// the owner puts it.
void PageList::barAction(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: ask(Scroll::LineUp); break;
    case QAbstractSlider::SliderSingleStepAdd: ask(Scroll::LineDown); break;
    case QAbstractSlider::SliderPageStepSub: ask(Scroll::PageUp); break;
    case QAbstractSlider::SliderPageStepAdd: ask(Scroll::PageDown); break;
    case QAbstractSlider::SliderToMinimum: ask(Scroll::Top); break;
    case QAbstractSlider::SliderToMaximum: ask(Scroll::Bottom); break;
    default: return;  // dragging: the drop tells
    }
    bar_->setSliderPosition(bar_->value());
}

int PageList::rowAt(const QPoint &viewportPosition) const {
    const QTreeWidgetItem *item = view_->itemAt(viewportPosition);
    return item ? view_->indexOfTopLevelItem(const_cast<QTreeWidgetItem *>(item)) + 1 : 0;
}

bool PageList::keyPress(QKeyEvent &event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    switch (event.key()) {
    case Qt::Key_Up: emit rowUpRequested(); return true;
    case Qt::Key_Down: emit rowDownRequested(); return true;
    case Qt::Key_PageUp: emit scrollRequested(Scroll::PageUp); return true;
    case Qt::Key_PageDown: emit scrollRequested(Scroll::PageDown); return true;
    case Qt::Key_Home: emit scrollRequested(Scroll::Top); return true;
    case Qt::Key_End: emit scrollRequested(Scroll::Bottom); return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Left:
    case Qt::Key_Right: return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter alone belongs to the window (it presses the focused button).
        if (modifiers == Qt::NoModifier) return false;
        break;
    default: break;
    }
    const QString text = event.text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        if (text != QStringLiteral(" ")) emit characterTyped(text);
        return true;
    }
    if (const auto code = keyCodeFromEvent(event)) {
        emit keyPressed(*code);
        return true;
    }
    return false;
}

// The viewport's mouse and wheel events (true when taken).  Qt's event
// types are far too many for a switch to list them all.
bool PageList::takeViewportEvent(QEvent &event) {
    const QEvent::Type type = event.type();
    if (type == QEvent::MouseButtonPress) {
        auto &press = static_cast<QMouseEvent &>(event);
        view_->setFocus(Qt::MouseFocusReason);
        if (const int row = rowAt(press.position().toPoint())) emit rowChosen(row);
        return true;
    }
    if (type == QEvent::MouseButtonRelease || type == QEvent::MouseMove) return true;
    if (type == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent &>(event).button() == Qt::LeftButton) emit rowActivated();
        return true;
    }
    if (type != QEvent::Wheel) return false;
    wheelSteps_ += static_cast<QWheelEvent &>(event).angleDelta().y();
    while (std::abs(wheelSteps_) >= kWheelNotch) {
        const bool up = wheelSteps_ > 0;
        wheelSteps_ += up ? -kWheelNotch : kWheelNotch;
        for (int i = 0; i < kRowsPerNotch; ++i) ask(up ? Scroll::LineUp : Scroll::LineDown);
    }
    return true;
}

bool PageList::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::ContextMenu && (watched == view_ || watched == view_->viewport())) {
        emit menuRequested(static_cast<QContextMenuEvent &>(*event).globalPos());
        return true;
    }
    if (watched == view_ && event->type() == QEvent::KeyPress) return keyPress(static_cast<QKeyEvent &>(*event));
    if (watched == view_->viewport() && takeViewportEvent(*event)) return true;
    return QWidget::eventFilter(watched, event);
}

void PageList::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    emit resized();
}

void PageList::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitRowHeight();
}

}  // namespace kvr::runtime::qt
