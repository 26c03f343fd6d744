// The window's pictures, drawn as pixel art in art/*.xpm.
//
// `TImageList` holds the four 16 x 16 list icons with their masks (.txd,
// .dff, .col, .ifp). Button glyphs are 16 x 16 bitmaps whose bottom-left
// pixel's colour (magenta) is transparent.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <array>

class QPainter;

class TImageList {
public:
    TImageList();
    int Count() const { return static_cast<int>(images_.size()); }
    const QPixmap& image(int index) const { return images_[static_cast<size_t>(index)]; }
    // Draws image `index` with its top-left corner at (x, y), transparently.
    void Draw(QPainter& painter, int x, int y, int index) const;

private:
    std::array<QPixmap, 4> images_;
};

enum class Glyph { Open, Compress, Replace, Export, Delete, Import };

// The glyph with its bottom-left pixel's colour made transparent.
QPixmap glyphPixmap(Glyph glyph);

// The program's icon, the installed SVG's picture drawn at 16, 32, 48 and
// 64 pixels (so that no SVG support is needed to show it).
QIcon programIcon();
