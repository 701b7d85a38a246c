#include "platform/ui/qt/selector_combo.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "platform/ui/qt/skin.h"

namespace mm::ui::qt {

SelectorCombo::SelectorCombo(QWidget* parent) : QComboBox(parent) {
    // The styled delegate draws the items as the style sheet says (height,
    // hover, the chosen one); the default menu-like one would not.
    setItemDelegate(new QStyledItemDelegate(this));
    view()->setObjectName("selectorPopup");
    setMaxVisibleItems(12);
}

QRect SelectorCombo::arrowRect() const {
    return QRect(width() - 30, 0, 18, height());
}

void SelectorCombo::paintEvent(QPaintEvent* e) {
    QComboBox::paintEvent(e);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = !isEnabled() ? skin::kDisabledText
                          : (underMouse() || hasFocus()) ? skin::kAccent
                                                         : skin::kTextSecondary;
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c = QRectF(arrowRect()).center();
    p.drawPolyline(QPolygonF({c + QPointF(-4.5, -2.0), c + QPointF(0, 2.5), c + QPointF(4.5, -2.0)}));
}

}  // namespace mm::ui::qt
