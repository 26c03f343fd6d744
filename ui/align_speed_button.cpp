#include "align_speed_button.h"

TAlignSpeedButton::TAlignSpeedButton(QWidget* parent, const QString& name, const QString& caption, Glyph glyph)
    : QToolButton(parent)
{
    setObjectName(name);
    setText(caption);
    setIcon(QIcon(glyphPixmap(glyph)));
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setMinimumSize(1, 1); // the parent decides; captions may be cut
}
