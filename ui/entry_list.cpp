#include "entry_list.h"

#include "archive/errors.h"
#include "window/dir_window.h"
#include "window/wording.h"

#include <QApplication>
#include <QHeaderView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <algorithm>
#include <QMouseEvent>
#include <QPainter>

// ---------------------------------------------------------------- TCanvas

void TCanvas::FillRect(const QRect& rect) { painter_.fillRect(rect, Brush); }

void TCanvas::TextOut(int x, int y, const QString& text)
{
    painter_.setFont(Font);
    QFontMetrics metrics(Font, painter_.device());
    QRect cell(x, y, metrics.horizontalAdvance(text), metrics.height());
    painter_.fillRect(cell, Brush);
    painter_.setPen(FontColor);
    painter_.drawText(x, y + metrics.ascent(), text);
}

// ---------------------------------------------------------------- delegate

// Prepares the canvas for each row and hands it to the list's draw handler.
class TOwnerDrawDelegate : public QStyledItemDelegate {
public:
    explicit TOwnerDrawDelegate(TListBox* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return QSize(1, list_->ItemHeight());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        bool selected = option.state & QStyle::State_Selected;
        bool focused = (option.state & QStyle::State_HasFocus) && list_->hasFocus();
        QRect rect(0, option.rect.top(), list_->viewport()->width(), option.rect.height());
        TCanvas canvas(*painter);
        canvas.Font = list_->font();
        const QPalette& palette = list_->palette();
        canvas.Brush = selected ? palette.color(QPalette::Active, QPalette::Highlight) : palette.color(QPalette::Base);
        canvas.FontColor = selected ? palette.color(QPalette::Active, QPalette::HighlightedText)
                                    : palette.color(QPalette::Text);
        if (!list_->onDrawItem_) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        {
            TListBox::CanvasScope scope(list_, &canvas);
            list_->onDrawItem_(list_, index.row(), rect, (selected ? odSelected : 0) | (focused ? odFocused : 0));
        }
        painter->restore();
        if (focused) drawFocusRect(*painter, rect);
    }

private:
    // The dotted focus rectangle, drawn by inverting pixels.
    static void drawFocusRect(QPainter& painter, const QRect& rect)
    {
        painter.save();
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        QPen pen(Qt::white, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        painter.restore();
    }

    TListBox* list_;
};

// ---------------------------------------------------------------- TListBox

// A one-column table view: its rows all have the fixed height, so it places
// them by arithmetic and paints only the visible ones, with no per-row layout
// when a model of 65,536 rows is set or reset.
TListBox::TListBox(QWidget* parent, const QString& name, int itemHeight) : QTableView(parent), itemHeight_(itemHeight)
{
    setObjectName(name);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(itemHeight);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new TOwnerDrawDelegate(this));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void TListBox::setSeveralSelectable() { setSelectionMode(QAbstractItemView::ExtendedSelection); }

std::vector<int> TListBox::SelectedRows() const
{
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TListBox::ItemIndex() const
{
    if (!selectionModel()) return -1;
    const auto rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListBox::setItemIndex(int index)
{
    if (!selectionModel()) return;
    if (index < 0 || index >= Count()) {
        selectionModel()->clearSelection();
        return;
    }
    QModelIndex row = model()->index(index, 0);
    selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    scrollTo(row);
}

QString TListBox::Item(int index) const
{
    if (index < 0 || index >= Count()) brimlet::listIndexOutOfBounds(index);
    return model()->index(index, 0).data().toString();
}

// The row a navigation key leads to, as in a list box: Home and End go to the
// first and last row, and with nothing selected the arrow keys start at the
// first row. -1 for other keys and for an empty list.
int TListBox::rowForKey(int key) const
{
    int last = Count() - 1;
    if (last < 0) return -1;
    // From the row with the focus, which of several selected is the one last clicked.
    int selected = ItemIndex() >= 0 && currentIndex().isValid() ? currentIndex().row() : ItemIndex();
    int page = std::max(1, viewport()->height() / itemHeight_ - 1);
    switch (key) {
    case Qt::Key_Home: return 0;
    case Qt::Key_End: return last;
    case Qt::Key_Up:
    case Qt::Key_Left: return selected < 0 ? 0 : std::max(selected - 1, 0);
    case Qt::Key_Down:
    case Qt::Key_Right: return selected < 0 ? 0 : std::min(selected + 1, last);
    case Qt::Key_PageUp: return selected < 0 ? 0 : std::max(selected - page, 0);
    case Qt::Key_PageDown: return selected < 0 ? 0 : std::min(selected + page, last);
    default: return -1;
    }
}

void TListBox::keyPressEvent(QKeyEvent* event)
{
    int before = ItemIndex();
    bool extends = (event->modifiers() & Qt::ShiftModifier) && selectionMode() == QAbstractItemView::ExtendedSelection;
    int target = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier) || extends ? -1 : rowForKey(event->key());
    if (target >= 0) {
        setItemIndex(target);
        event->accept();
    } else {
        QTableView::keyPressEvent(event); // typing a letter finds a row
    }
    if (ItemIndex() >= 0 && ItemIndex() != before) emit Click();
}

// A press below the last row only takes the focus: the selection stays.
void TListBox::mousePressEvent(QMouseEvent* event)
{
    QModelIndex under = indexAt(event->position().toPoint());
    press_ = {};
    if (!under.isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    bool plain = event->button() == Qt::LeftButton && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
    if (plain) press_ = {under.row(), event->position().toPoint(), false, false};
    if (plain && dragsOut_ && SelectedRows().size() > 1 && selectionModel()->isRowSelected(under.row())) {
        press_.selectsOnRelease = true; // they may be dragged out together
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) emit Click();
}

bool TListBox::startsDragOut(const QMouseEvent* event) const
{
    return dragsOut_ && press_.row >= 0 && !press_.dragged && (event->buttons() & Qt::LeftButton) &&
           (event->position().toPoint() - press_.at).manhattanLength() >= QApplication::startDragDistance();
}

// Dragging with the button held selects the row under the pointer (only
// that one, also where several may be selected), or where the list drags
// out, starts a drag of the selected rows.
void TListBox::mouseMoveEvent(QMouseEvent* event)
{
    int before = ItemIndex();
    bool plainDrag = (event->buttons() & Qt::LeftButton) && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
    if (startsDragOut(event)) {
        press_.dragged = true;
        press_.selectsOnRelease = false;
        event->accept();
        emit DragOutAsked(); // runs the whole drag
        return;
    }
    if (dragsOut_ && press_.row >= 0) {
        event->accept(); // within the drag distance: nothing yet
        return;
    }
    QModelIndex under = indexAt(event->position().toPoint());
    if (plainDrag && selectionMode() == QAbstractItemView::ExtendedSelection) {
        if (under.isValid() && under.row() != before) setItemIndex(under.row());
        event->accept();
    } else {
        QTableView::mouseMoveEvent(event);
    }
    if (ItemIndex() >= 0 && ItemIndex() != before) emit Click();
}

void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    Press press = press_;
    press_ = {};
    if (press.selectsOnRelease && event->button() == Qt::LeftButton) {
        setItemIndex(press.row);
        emit Click();
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}

void TListBox::contextMenuEvent(QContextMenuEvent* event)
{
    emit MenuAsked(event->pos(), event->reason() == QContextMenuEvent::Keyboard);
    event->accept();
}

// ---------------------------------------------------------------- model

EntryListModel::EntryListModel(const brimlet::Archive& archive, QObject* parent)
    : QAbstractListModel(parent), archive_(archive)
{
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(archive_.count());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<size_t>(index.row()) >= archive_.count())
        return {};
    return QString::fromStdString(brimlet::rowText(archive_.table()[static_cast<size_t>(index.row())].nameView()));
}

void EntryListModel::announce(const brimlet::TableChange& change, bool before)
{
    using Kind = brimlet::TableChange::Kind;
    int first = static_cast<int>(change.first), last = static_cast<int>(change.last);
    switch (change.kind) {
    case Kind::Reset:
        before ? beginResetModel() : endResetModel();
        break;
    case Kind::Insert:
        before ? beginInsertRows(QModelIndex(), first, last) : endInsertRows();
        break;
    case Kind::Remove:
        before ? beginRemoveRows(QModelIndex(), first, last) : endRemoveRows();
        break;
    case Kind::Update:
        if (!before) emit dataChanged(index(first), index(last));
        break;
    }
}
