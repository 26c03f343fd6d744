#include "images.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

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

namespace {

// The picture of io.github.brimlet.Brimlet.svg, on its 64 x 64 grid.
void paintProgramIcon(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    auto shape = [&](std::initializer_list<QPointF> points, const char* fill, const char* line) {
        p.setPen(QPen(QColor(line), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(fill));
        p.drawPolygon(QPolygonF(QList<QPointF>(points)));
    };
    // The .dir sheet, with a folded corner and one row per entry.
    shape({{6, 4}, {32, 4}, {40, 12}, {40, 44}, {6, 44}}, "#f4f4f0", "#505050");
    shape({{32, 4}, {32, 12}, {40, 12}}, "#c8c8c0", "#505050");
    p.setPen(Qt::NoPen);
    for (auto [y, width] : {std::pair{16, 15}, {23, 12}, {30, 15}}) {
        p.fillRect(QRectF(11, y, 6, 3), QColor("#3070d0"));
        p.fillRect(QRectF(19, y, width, 3), QColor("#3070d0"));
    }
    // The .img block: a slab of sectors seen from the front and the top.
    shape({{22, 30}, {30, 24}, {60, 24}, {52, 30}}, "#f0a040", "#603010");
    shape({{52, 30}, {60, 24}, {60, 54}, {52, 60}}, "#b06018", "#603010");
    shape({{22, 30}, {52, 30}, {52, 60}, {22, 60}}, "#e08828", "#603010");
    p.setPen(QPen(QColor("#603010"), 1.5));
    for (double y : {37.5, 45.0, 52.5}) p.drawLine(QPointF(22, y), QPointF(52, y));
    for (auto [y, width] : {std::pair{32.5, 10.0}, {40.0, 16.0}, {47.5, 7.0}})
        p.fillRect(QRectF(25, y, width, 3), QColor("#fff0c0"));
}

}  // namespace

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.scale(size / 64.0, size / 64.0);
        paintProgramIcon(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
