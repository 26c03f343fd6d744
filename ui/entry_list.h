// The owner-drawn list boxes of the window.
//
// `TListBox` is a list view over a model with a fixed row height whose rows
// are painted by a handler of the window, given (Control, Index, Rect, State)
// as an owner-drawn list does: before the call the list prepares its canvas
// (its font; the highlight colours for a selected row, the window colours
// otherwise); after it, the list inverts a dotted focus rectangle over a row
// that has the focus. Only visible rows are ever painted.
//
// `EntryListModel` is a view over the open archive's entry table: row i is
// entry i. Names are bytes, shown one byte per character as Latin-1, so
// every name survives the round trip exactly.
#pragma once

#include "archive/archive.h"

#include <QAbstractListModel>
#include <QColor>
#include <QFont>
#include <QTableView>
#include <QStyledItemDelegate>
#include <functional>
#include <vector>

class QPainter;

// Owner-draw state bits, as the windowing system passes them.
enum TOwnerDrawStateBits { odSelected = 0x01, odGrayed = 0x02, odDisabled = 0x04, odChecked = 0x08, odFocused = 0x10 };
using TOwnerDrawState = int;

// The drawing surface an owner-drawn row is painted on.
class TCanvas {
public:
    explicit TCanvas(QPainter& painter) : painter_(painter) {}

    QColor Brush;     // background of fills and of text cells
    QColor FontColor; // text colour
    QFont Font;

    void FillRect(const QRect& rect);
    // One line of text with its top-left corner at (x, y), on an opaque cell
    // of the brush colour.
    void TextOut(int x, int y, const QString& text);
    QPainter& painter() { return painter_; }

private:
    QPainter& painter_;
};

class TListBox : public QTableView {
    Q_OBJECT
public:
    using DrawItemHandler = std::function<void(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State)>;

    TListBox(QWidget* parent, const QString& name, int itemHeight);

    // The canvas of the row being painted; valid only inside the draw handler.
    TCanvas* Canvas() const { return canvas_; }
    // Makes `canvas` the list's canvas while it lives.
    class CanvasScope {
    public:
        CanvasScope(TListBox* list, TCanvas* canvas) : list_(list) { list_->canvas_ = canvas; }
        ~CanvasScope() { list_->canvas_ = nullptr; }

    private:
        TListBox* list_;
    };
    void setOnDrawItem(DrawItemHandler handler) { onDrawItem_ = std::move(handler); }
    int ItemHeight() const { return itemHeight_; }

    // Lets Ctrl+click, Shift+click and Shift+arrows select several rows; a
    // plain click or key still selects one.
    void setSeveralSelectable();
    // A press on a row and a move with the button held (past the system's
    // drag distance) asks for a drag of the selected rows out of the list
    // (DragOutAsked) instead of moving the selection. A press on one of
    // several selected rows keeps them selected for the drag; its release
    // without a drag selects that row alone, as a click does.
    void setDragsOut() { dragsOut_ = true; }
    // Every selected row, ascending.
    std::vector<int> SelectedRows() const;
    // The selected row (of several, the first selected), or -1. Setting an
    // index outside the list clears the selection.
    int ItemIndex() const;
    void setItemIndex(int index);
    int Count() const { return model() ? model()->rowCount() : 0; }
    // The text of row `index`; "List index out of bounds (index)" for an invalid one.
    QString Item(int index) const;

signals:
    // The user picked a row: by a click on a row, also on the one already
    // selected, or by a key that changed the selection.
    void Click();
    void DblClick();
    // The context menu is asked for at `at` (viewport coordinates), by the
    // pointer or by the menu key.
    void MenuAsked(const QPoint& at, bool byKeyboard);
    void DragOutAsked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class TOwnerDrawDelegate;
    int rowForKey(int key) const;

    bool startsDragOut(const QMouseEvent* event) const;

    int itemHeight_;
    bool dragsOut_ = false;
    // The left button's press on a row, while it is held.
    struct Press {
        int row = -1;
        QPoint at;
        bool selectsOnRelease = false; // pressed on one of several selected rows
        bool dragged = false;
    } press_;
    TCanvas* canvas_ = nullptr;
    DrawItemHandler onDrawItem_;
};

// The entry list's model: a view over the open archive's entry table, row i
// for entry i, never a copy. The window tells it of each change of the table
// just before and just after it happens, which is what the model's begin/end
// calls need; a failed command announces nothing, and the table stays as it
// was.
class EntryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    EntryListModel(const brimlet::Archive& archive, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void announce(const brimlet::TableChange& change, bool before);

private:
    const brimlet::Archive& archive_;
};
