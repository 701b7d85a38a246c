#include "platform/ui/qt/seek_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace mm::ui::qt {

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    // valueChanged only when the handle is let go, not for every pixel of a drag.
    setTracking(false);
}

int SeekSlider::valueAt(const QPoint& pos) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int length = handle.width();
    const int first = groove.left();
    const int span = groove.right() - length + 1 - first;
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pos.x() - length / 2 - first, span,
                                           opt.upsideDown);
}

QRect SeekSlider::handleRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

void SeekSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && maximum() > minimum()) {
        const QPoint at = e->position().toPoint();
        if (!handleRect().contains(at)) {
            // Jump there; the press then holds the handle, so a drag can go on from it.
            setValue(valueAt(at));
        }
    }
    QSlider::mousePressEvent(e);
}

}  // namespace mm::ui::qt
