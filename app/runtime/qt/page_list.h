// A list that shows one page of rows and leaves paging to its owner: the
// owner sets the rows (never more than fit), marks the current one, and is
// told what the operator asks for (a row up or down, a page, the top or the
// bottom, the thumb dropped somewhere, a row picked, a key, a character).
//
// Columns have a heading and a width in dialog units, are resizable by the
// operator, show their text left-aligned after an indent and carry a border
// on their right.  The vertical scroll bar is the owner's too: shown only
// when the owner says so, its thumb on a scale of 0 to 100 that the owner
// sets; its arrows and its track ask for rows and pages instead of moving
// anything themselves.
#ifndef KVR_RUNTIME_QT_PAGE_LIST_H
#define KVR_RUNTIME_QT_PAGE_LIST_H

#include "runtime/qt/units.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

class QScrollBar;
class QTreeWidget;

namespace kvr::runtime::qt {

struct ListColumn {
    QString heading;
    int width = 0;  // dialog units
};

class PageList : public QWidget {
    Q_OBJECT
public:
    enum class Scroll { LineUp, LineDown, PageUp, PageDown, Top, Bottom };
    static constexpr int kThumbScale = 100;

    // indent: the space before each cell's text, in dialog units.
    PageList(const DialogUnits &units, const std::vector<ListColumn> &columns, int indent, QWidget *parent = nullptr);

    void setRows(const std::vector<QStringList> &rows);
    int rowCount() const;
    QString cellText(int row, int column) const;  // row from 1
    // 1-based; 0 marks no row.
    void setCurrentRow(int row);
    int currentRow() const;
    // How many rows fit in the list as it is now (at least 1).
    int visibleRowCount() const;

    void setScrollBarShown(bool shown);
    bool scrollBarShown() const;
    void setThumb(int position);  // 0 to 100
    int thumb() const;

    int columnCount() const;
    int columnWidth(int column) const;  // pixels
    QString columnHeading(int column) const;
    QScrollBar *scrollBar() const { return bar_; }
    QTreeWidget *rowsView() const { return view_; }

signals:
    void rowUpRequested();
    void rowDownRequested();
    void scrollRequested(kvr::runtime::qt::PageList::Scroll how);
    void thumbDropped(int position);
    void rowChosen(int row);
    // Left double-click.
    void rowActivated();
    // Keys with a key code (key_code.h) other than the moving keys and
    // characters: Insert, Delete, Ctrl+Enter ...
    void keyPressed(std::uint32_t keyCode);
    // A character typed (not a space).
    void characterTyped(const QString &text);
    void menuRequested(const QPoint &globalPosition);
    void resized();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool keyPress(QKeyEvent &event);
    bool takeViewportEvent(QEvent &event);
    void barAction(int action);
    void ask(Scroll how);
    int rowAt(const QPoint &viewportPosition) const;
    void fitRowHeight();

    QTreeWidget *view_;
    QScrollBar *bar_;
    int indent_;
    int rowHeight_ = 1;
    int wheelSteps_ = 0;
};

}  // namespace kvr::runtime::qt

#endif
