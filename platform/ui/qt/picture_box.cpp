#include "platform/ui/qt/picture_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "platform/ui/qt/image_cache.h"
#include "platform/ui/qt/skin.h"

namespace mm::ui::qt {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    spin_.setInterval(40);
    connect(&spin_, &QTimer::timeout, this, [this] { setAngle((angle_ + 12) % 360); });
}

bool PictureBox::setImageBytes(const std::string& bytes) {
    if (bytes == bytes_) return false;
    bytes_ = bytes;
    pixmap_ = ImageCache::fromBytes(bytes_);
    update();
    return true;
}

void PictureBox::setAngle(int degrees) {
    if (degrees == angle_) return;
    angle_ = degrees;
    update();
}

void PictureBox::setRound(bool on) {
    round_ = on;
    update();
}

void PictureBox::setSpinning(bool on) {
    spinning_ = on;
    if (on && isVisible()) {
        spin_.start();
    } else {
        spin_.stop();
    }
}

void PictureBox::setClickable(bool on) {
    setCursor(on ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
}

QSize PictureBox::sizeHint() const {
    return pixmap_.isNull() ? QSize(32, 32) : pixmap_.size();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        p.setPen(QPen(skin::kFocus, 2));
        p.setBrush(skin::kSelection);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    if (pixmap_.isNull()) return;
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QSize target = pixmap_.size().scaled(size(), Qt::KeepAspectRatio);
    if (round_) target = QSize(qMin(width(), height()), qMin(width(), height()));
    const QRectF box(-target.width() / 2.0, -target.height() / 2.0, target.width(), target.height());
    p.translate(width() / 2.0, height() / 2.0);
    p.rotate(angle_);
    if (round_) {
        QPainterPath clip;
        clip.addEllipse(box);
        p.setClipPath(clip);
    }
    p.drawPixmap(box, pixmap_, QRectF(pixmap_.rect()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
    QWidget::mouseReleaseEvent(e);
}

void PictureBox::keyPressEvent(QKeyEvent* e) {
    const bool press = e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (press && focusPolicy() != Qt::NoFocus && e->modifiers() == Qt::NoModifier) {
        if (!e->isAutoRepeat()) emit clicked();
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void PictureBox::focusInEvent(QFocusEvent* e) {
    update();
    QWidget::focusInEvent(e);
}

void PictureBox::focusOutEvent(QFocusEvent* e) {
    update();
    QWidget::focusOutEvent(e);
}

void PictureBox::enterEvent(QEnterEvent*) {
    emit entered();
}

void PictureBox::leaveEvent(QEvent*) {
    emit left();
}

void PictureBox::showEvent(QShowEvent*) {
    if (spinning_) spin_.start();
}

void PictureBox::hideEvent(QHideEvent*) {
    spin_.stop();
}

}  // namespace mm::ui::qt
