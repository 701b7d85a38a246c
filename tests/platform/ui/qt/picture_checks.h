#pragma once
// Checks of what a screenshot shows, for the tests that save pictures of the
// window: a saved PNG of the right size proves nothing, these look inside it.
#include <QColor>
#include <QImage>
#include <QRect>
#include <string_view>

class QAbstractItemView;
class QWidget;

namespace mm::ui::qt::test {

// Where `w` lies in a picture of `root` (device pixels of the picture).
QRect RectIn(const QImage& shot, const QWidget* root, const QWidget* w);

// Where a cell of a list view lies in a picture of `root`.
QRect CellIn(const QImage& shot, const QWidget* root, const QAbstractItemView* list, int row, int column);

// The share of `w`'s own rendering (QWidget::grab) that the picture holds at
// `w`'s place, 0 to 1: near 1 when the picture shows it, low when something
// else is drawn there (another page, nothing yet).
double ShownShare(const QImage& shot, const QWidget* root, QWidget* w);

// The share of the opaque pixels of `own` within `part` (own's coordinates;
// empty: all of it) that the picture holds when `own` is placed at `at`.
double SameShare(const QImage& shot, QPoint at, const QImage& own, QRect part = {});

// The commonest fully opaque colour of an encoded picture (a badge, an icon).
QColor MainColour(std::string_view encodedPicture);

// True when some pixel of `area` is within `tolerance` of `c` on every channel.
bool HasColour(const QImage& shot, const QRect& area, const QColor& c, int tolerance = 6);

// The colour of one pixel (device pixels).
QColor PixelAt(const QImage& shot, QPoint at);

}  // namespace mm::ui::qt::test
