// TAlignSpeedButton: a flat tool button with a glyph and a caption, which
// never takes the keyboard focus and is placed by its parent's layout.
#pragma once

#include "images.h"

#include <QToolButton>

class TAlignSpeedButton : public QToolButton {
    Q_OBJECT
public:
    TAlignSpeedButton(QWidget* parent, const QString& name, const QString& caption, Glyph glyph);
};
