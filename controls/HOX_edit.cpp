#include "HOX_edit.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>

namespace {

// Hides the standard text cursor while a caret picture stands in for it.
class NoTextCursorStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TextCursorWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

THOX_edit::THOX_edit(QWidget* owner) : QLineEdit(owner)
{
    connect(this, &QLineEdit::textChanged, this, [this] { changed(); });
}

THOX_edit::~THOX_edit() = default;

// The change handler runs inside Qt's signal delivery, which cannot carry an
// exception, so a failure stops here: silently while "0" is put into an empty
// digits-only field, with a warning in the log otherwise.
void THOX_edit::changed()
{
    if (!OnChange) return;
    try {
        OnChange(this);
    } catch (const std::exception& failure) {
        if (!swallowChangeFailures_) qWarning("%s: change handler failed: %s", qPrintable(objectName()), failure.what());
    } catch (...) {
        if (!swallowChangeFailures_) qWarning("%s: change handler failed", qPrintable(objectName()));
    }
}

// The field is set up anew from its properties, keeping the focus.
void THOX_edit::RecreateWnd()
{
    static const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    QLineEdit::setAlignment(horizontal[alignment_] | Qt::AlignVCenter);
    setFrame(!flat_); // the flat look is painted by the field itself
    // Inside the painted edge and border the text keeps a margin, as the
    // native field's text does.
    int margin = flat_ ? kFlatEdge + 1 : 0;
    setTextMargins(margin, 0, margin, 0);
    useStandardCaret(caret_.isNull());
    update();
}

void THOX_edit::useStandardCaret(bool standard)
{
    auto* noCursor = dynamic_cast<NoTextCursorStyle*>(style());
    if (standard && noCursor) {
        setStyle(nullptr);
        noCursor->deleteLater();
    } else if (!standard && !noCursor) {
        auto* proxy = new NoTextCursorStyle;
        proxy->setParent(this);
        setStyle(proxy);
    }
}

void THOX_edit::setAlignment(TAlignment value)
{
    if (value == alignment_) return;
    alignment_ = value;
    RecreateWnd();
}

void THOX_edit::setAlign(TAlign value)
{
    align_ = value;
    applyAlign();
}

// Moves the field to the start or the end of its parent's box layout, or lets
// it take the room left over. A layout set up after the value is followed
// when the field is shown.
void THOX_edit::applyAlign()
{
    QWidget* parent = parentWidget();
    auto* box = parent ? qobject_cast<QBoxLayout*>(parent->layout()) : nullptr;
    if (align_ == alNone || !box || box->indexOf(this) < 0) return;
    if (align_ == alClient) {
        box->setStretchFactor(this, 1);
        return;
    }
    QBoxLayout::Direction direction = box->direction();
    bool vertical = direction == QBoxLayout::TopToBottom || direction == QBoxLayout::BottomToTop;
    if ((align_ == alTop || align_ == alBottom) != vertical) return;
    bool reversed = direction == QBoxLayout::BottomToTop || direction == QBoxLayout::RightToLeft;
    bool atStart = (align_ == alTop || align_ == alLeft) != reversed;
    if (box->indexOf(this) != (atStart ? 0 : box->count() - 1)) {
        box->removeWidget(this);
        box->insertWidget(atStart ? 0 : -1, this);
    }
    box->setAlignment(this, {}); // across the whole width or height
}

void THOX_edit::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    applyAlign();
}

void THOX_edit::setFlat(bool value)
{
    flat_ = value;
    RecreateWnd();
}

void THOX_edit::setInput_caret(const QPixmap& picture)
{
    caret_ = picture.copy(); // the caller's picture stays the caller's
    UpdateCaret();
    RecreateWnd();
}

void THOX_edit::UpdateCaret()
{
    update();
}

bool THOX_edit::allowedInDigitsOnly(QChar c)
{
    return c == '-' || c == QChar(0x08) || (c >= '0' && c <= '9');
}

// The character a key types, or none. Delete is an editing key, not a typed
// character, though X11 delivers it with the text 0x7F.
QChar THOX_edit::typedCharacter(const QKeyEvent& event)
{
    if (event.text().isEmpty() || event.key() == Qt::Key_Delete) return QChar(0);
    return event.text().front();
}

// OnKeydown may change the key or set it to 0, which takes the key away from
// the field.
void THOX_edit::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    if (OnKeydown) OnKeydown(this, key, event->modifiers());
    if (key == 0) {
        event->accept();
        return;
    }
    QKeyEvent otherKey(event->type(), key, event->modifiers());
    QKeyEvent* down = key == event->key() ? event : &otherKey;
    typeKey(down);
    event->setAccepted(down->isAccepted());
}

void THOX_edit::typeKey(QKeyEvent* down)
{
    QChar original = typedCharacter(*down);
    if (original.isNull()) {
        QLineEdit::keyPressEvent(down);
        return;
    }
    QChar typed = original;
    if (OnKeypress) OnKeypress(this, typed);
    if (numbersOnly_ && !allowedInDigitsOnly(typed)) typed = QChar(0);
    if (typed.isNull()) return; // dropped
    if (typed == original) {
        QLineEdit::keyPressEvent(down);
        return;
    }
    QKeyEvent changedKey(down->type(), typed == QChar(0x08) ? int(Qt::Key_Backspace) : 0, down->modifiers(),
                         QString(typed));
    QLineEdit::keyPressEvent(&changedKey);
}

void THOX_edit::keyReleaseEvent(QKeyEvent* event)
{
    if (numbersOnly_ && text().isEmpty()) {
        swallowChangeFailures_ = true; // a failing change handler stays silent here
        setText("0");
        selectAll();
        swallowChangeFailures_ = false;
    }
    int key = event->key();
    if (OnKeyUp) OnKeyUp(this, key, event->modifiers());
    if (key == 0) {
        event->accept();
        return;
    }
    QLineEdit::keyReleaseEvent(event);
}

void THOX_edit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    QPoint at = event->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
}

void THOX_edit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    QPoint at = event->position().toPoint();
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
}

void THOX_edit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    UpdateCaret();
}

void THOX_edit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    update(); // the caret picture goes with the focus
}

void THOX_edit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    if (flat_) {
        // Outside: the static edge, sunken. Inside it: a one-pixel border.
        QRect r = rect().adjusted(0, 0, -1, -1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(r.adjusted(1, 1, -1, -1)); // kFlatEdge pixels in all
    }
    if (hasFocus() && !caret_.isNull()) {
        QRect cursor = cursorRect(); // centred on the insertion point
        painter.drawPixmap(cursor.center().x(), cursor.top(), caret_);
    }
}
