#include "images.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

namespace {
#include "art/col.xpm"
#include "art/compress_glyph.xpm"
#include "art/delete_glyph.xpm"
#include "art/dff.xpm"
#include "art/export_glyph.xpm"
#include "art/ifp.xpm"
#include "art/import_glyph.xpm"
#include "art/open_glyph.xpm"
#include "art/replace_glyph.xpm"
#include "art/txd.xpm"

const char* const* glyphXpm(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Open: return open_glyph;
    case Glyph::Compress: return compress_glyph;
    case Glyph::Replace: return replace_glyph;
    case Glyph::Export: return export_glyph;
    case Glyph::Delete: return delete_glyph;
    case Glyph::Import: return import_glyph;
    }
    return open_glyph;
}
}  // namespace

TImageList::TImageList() : images_{QPixmap(txd_xpm), QPixmap(dff_xpm), QPixmap(col_xpm), QPixmap(ifp_xpm)} {}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const
{
    painter.drawPixmap(x, y, image(index));
}

QPixmap glyphPixmap(Glyph glyph)
{
    QImage image(glyphXpm(glyph));
    image = image.convertToFormat(QImage::Format_ARGB32);
    QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == transparent) image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QPixmap::fromImage(image);
}
