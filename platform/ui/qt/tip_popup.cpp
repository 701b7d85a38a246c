#include "platform/ui/qt/tip_popup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

#include "platform/ui/qt/image_cache.h"

namespace mm::ui::qt {

TipPopup::TipPopup(QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint),
      picture_(new QLabel(this)),
      text_(new QLabel(this)) {
    setObjectName("tip");
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 14, 10);
    row->setSpacing(10);
    row->addWidget(picture_, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &QWidget::hide);
}

void TipPopup::showTip(const QString& text, const QPixmap& picture, int displayMs, QPoint near) {
    text_->setText(text);
    picture_->setPixmap(ImageCache::fitted(picture, QSize(40, 40)));
    picture_->setVisible(!picture.isNull());
    adjustSize();
    QPoint at = near + QPoint(14, 18);
    if (const QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        at.setX(std::min(at.x(), avail.right() - width()));
        at.setY(std::min(at.y(), avail.bottom() - height()));
    }
    move(at);
    show();
    raise();
    if (displayMs > 0) {
        timer_.start(displayMs);
    } else {
        timer_.stop();
    }
}

}  // namespace mm::ui::qt
