// THOX_edit: a one-line edit with text alignment, a flat look, a digits-only
// mode and a picture that stands in for the text cursor.
//
// - `Alignment`: left, right or centred text. Setting the current value does
//   nothing; a new value re-creates the field (RecreateWnd).
// - `Flat`: a one-pixel border inside a thin static edge (shadow on the top and
//   left, highlight on the bottom and right). Every assignment re-creates the
//   field, also when the value is unchanged.
// - `Numbersonly`: typed characters other than '-', backspace and '0'-'9' are
//   dropped after `OnKeypress` has seen them; when a key is released in an
//   empty field it becomes "0", all selected (the change event fires then,
//   before `OnKeyUp`, and any failure in between is swallowed). Text set by the
//   program or pasted is not filtered.
// - `Input_caret`: while the field has the focus, a non-empty picture is drawn
//   where the text cursor would be, in its place; an empty one brings the
//   standard text cursor back.
// - `OnKeydown` and `OnKeyUp` get the key by reference: a handler that sets it
//   to 0 takes the key away from the field.
// - The text line is centred vertically in the field.
// - `Align`: alTop or alBottom puts the field first or last in its parent's
//   vertical box layout (alLeft, alRight likewise in a horizontal one), across
//   the whole width or height; alClient makes it take the room left over.
//   alNone leaves the field where it was put.
//
// Events are assignable and empty when unassigned. A change handler that
// fails stops in the field: silently while "0" is put in, otherwise with a
// warning in the log. The field knows nothing of
// what it is used for.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <functional>

enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class THOX_edit : public QLineEdit {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TKeyEvent = std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
    using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
    using TMouseEvent =
        std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

    explicit THOX_edit(QWidget* owner = nullptr);
    ~THOX_edit() override;

    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment value);
    TAlign Align() const { return align_; }
    void setAlign(TAlign value);
    QPixmap& Input_caret() { return caret_; }
    void setInput_caret(const QPixmap& picture);
    bool Flat() const { return flat_; }
    void setFlat(bool value);
    bool Numbersonly() const { return numbersOnly_; }
    void setNumbersonly(bool value) { numbersOnly_ = value; }

    TNotifyEvent OnChange;
    TKeyEvent OnKeydown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeypress;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    // Repaints the field: while it has the focus, a caret picture stands in
    // for the text cursor.
    void UpdateCaret();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kFlatEdge = 2; // the static edge and the border inside it
    void RecreateWnd();
    void applyAlign();
    void useStandardCaret(bool standard);
    void typeKey(QKeyEvent* down);
    static QChar typedCharacter(const QKeyEvent& event);
    void changed();
    static bool allowedInDigitsOnly(QChar c);

    TAlignment alignment_ = taLeftJustify;
    TAlign align_ = alNone;
    QPixmap caret_;
    bool flat_ = false;
    bool numbersOnly_ = false;
    bool swallowChangeFailures_ = false;
};
