#pragma once
// A position slider for playback. A click on the bar jumps to the clicked
// place at once (a plain QSlider steps a page towards it); a drag reports the
// new value once, when the handle is let go, and sliderMoved while it moves.
#include <QSlider>

namespace mm::ui::qt {

class SeekSlider : public QSlider {
    Q_OBJECT
public:
    explicit SeekSlider(QWidget* parent = nullptr);

    // The value under a point of the bar, as the handle's centre would stand there.
    int valueAt(const QPoint& pos) const;
    // Where the handle is drawn now.
    QRect handleRect() const;

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

}  // namespace mm::ui::qt
