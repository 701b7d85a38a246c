#include "picture_checks.h"

#include <QAbstractItemView>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <map>

namespace mm::ui::qt::test {
namespace {

bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

QRect RectIn(const QImage& shot, const QWidget* root, const QWidget* w) {
    const qreal dpr = shot.devicePixelRatio();
    const QPoint topLeft = w->mapTo(root, QPoint(0, 0));
    return QRect(QPoint(qRound(topLeft.x() * dpr), qRound(topLeft.y() * dpr)),
                 QSize(qRound(w->width() * dpr), qRound(w->height() * dpr)))
        .intersected(shot.rect());
}

QRect CellIn(const QImage& shot, const QWidget* root, const QAbstractItemView* list, int row, int column) {
    const QRect r = list->visualRect(list->model()->index(row, column));
    const QRect viewport = RectIn(shot, root, list->viewport());
    const qreal dpr = shot.devicePixelRatio();
    return QRect(viewport.topLeft() + QPoint(qRound(r.x() * dpr), qRound(r.y() * dpr)),
                 QSize(qRound(r.width() * dpr), qRound(r.height() * dpr)));
}

double ShownShare(const QImage& shot, const QWidget* root, QWidget* w) {
    const QRect area = RectIn(shot, root, w);
    if (area.isEmpty() || !w->isVisible()) return 0;
    const QImage own = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage part = shot.copy(area).convertToFormat(QImage::Format_RGB32);
    const int width = std::min(own.width(), part.width()), height = std::min(own.height(), part.height());
    long same = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) same += Near(own.pixel(x, y), part.pixel(x, y), 8);
    }
    return width * height == 0 ? 0 : double(same) / (double(width) * height);
}

double SameShare(const QImage& shot, QPoint at, const QImage& own, QRect part) {
    const QImage mine = own.convertToFormat(QImage::Format_ARGB32);
    if (part.isEmpty()) part = mine.rect();
    part = part.intersected(mine.rect());
    long opaque = 0, same = 0;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            const QRgb p = mine.pixel(x, y);
            if (qAlpha(p) != 255) continue;
            ++opaque;
            const QPoint in = at + QPoint(x, y);
            same += shot.rect().contains(in) && Near(shot.pixel(in), p, 8);
        }
    }
    return opaque == 0 ? 0 : double(same) / double(opaque);
}

QColor MainColour(std::string_view encodedPicture) {
    const QImage img = QImage::fromData(reinterpret_cast<const uchar*>(encodedPicture.data()),
                                        static_cast<int>(encodedPicture.size()))
                           .convertToFormat(QImage::Format_ARGB32);
    std::map<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qAlpha(p) == 255) ++counts[p | 0xFF000000u];
        }
    }
    QRgb best = 0;
    int bestCount = 0;
    for (const auto& [rgb, n] : counts) {
        if (n > bestCount) best = rgb, bestCount = n;
    }
    return QColor::fromRgb(best);
}

bool HasColour(const QImage& shot, const QRect& area, const QColor& c, int tolerance) {
    const QRect r = area.intersected(shot.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (Near(shot.pixel(x, y), c.rgb(), tolerance)) return true;
        }
    }
    return false;
}

QColor PixelAt(const QImage& shot, QPoint at) { return QColor::fromRgb(shot.pixel(at)); }

}  // namespace mm::ui::qt::test
