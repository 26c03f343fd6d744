#include "HOX_edit.h"

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

void THOX_edit::changed()
{
    if (!OnChange) return;
    try {
        OnChange(this);
    } catch (...) {
        if (!swallowChangeFailures_) throw;
    }
}

// The field is set up anew from its properties, keeping the focus.
void THOX_edit::RecreateWnd()
{
    static const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    QLineEdit::setAlignment(horizontal[alignment_] | Qt::AlignVCenter);
    setFrame(!flat_); // the flat look is painted by the field itself
    if (!caret_.isNull() && !dynamic_cast<NoTextCursorStyle*>(style())) {
        auto* proxy = new NoTextCursorStyle;
        proxy->setParent(this);
        setStyle(proxy);
    }
    ++recreations_;
    update();
}

void THOX_edit::setAlignment(TAlignment value)
{
    if (value == alignment_) return;
    alignment_ = value;
    RecreateWnd();
    UpdateTextRect();
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
    if (!caret_.isNull()) caretShown_ = true;
    update();
}

void THOX_edit::UpdateTextRect()
{
    int h = height() / 2;
    int f = fontMetrics().height() / 2;
    QRect band = contentsRect();
    textRect_ = QRect(QPoint(band.left(), h - f), QPoint(band.right(), h + f));
}

bool THOX_edit::allowedInDigitsOnly(QChar c)
{
    return c == '-' || c == QChar(0x08) || (c >= '0' && c <= '9');
}

void THOX_edit::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    if (OnKeydown) OnKeydown(this, key, event->modifiers());
    QString text = event->text();
    if (text.isEmpty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QChar typed = text.front();
    if (OnKeypress) OnKeypress(this, typed);
    if (numbersOnly_ && !allowedInDigitsOnly(typed)) typed = QChar(0);
    if (typed.isNull()) return; // dropped
    if (typed == text.front()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent changedKey(event->type(), typed == QChar(0x08) ? int(Qt::Key_Backspace) : 0, event->modifiers(),
                         QString(typed));
    QLineEdit::keyPressEvent(&changedKey);
}

void THOX_edit::keyReleaseEvent(QKeyEvent* event)
{
    if (numbersOnly_ && text().isEmpty()) {
        swallowChangeFailures_ = true;
        try {
            setText("0");
            selectAll();
        } catch (...) {
        }
        swallowChangeFailures_ = false;
    }
    QLineEdit::keyReleaseEvent(event);
    int key = event->key();
    if (OnKeyUp) OnKeyUp(this, key, event->modifiers());
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
    caretShown_ = false; // hidden and destroyed
    update();
}

void THOX_edit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    UpdateTextRect();
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
        painter.drawRect(r.adjusted(1, 1, -1, -1));
    }
    if (caretShown_ && hasFocus() && !caret_.isNull()) {
        QRect cursor = cursorRect(); // centred on the insertion point
        painter.drawPixmap(cursor.center().x(), cursor.top(), caret_);
    }
}
