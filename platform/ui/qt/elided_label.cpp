#include "platform/ui/qt/elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

namespace mm::ui::qt {

QString ElidedLabel::shownText() const {
    // Qt elides whole grapheme clusters: a character is never cut in two.
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const {
    // The label may get as narrow as the layout likes: the text shortens itself.
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")), QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOption opt;
    opt.initFrom(this);
    style()->drawItemText(&p, contentsRect(), int(alignment()) | Qt::TextSingleLine, opt.palette, isEnabled(),
                          shownText(), foregroundRole());
}

bool ElidedLabel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (isElided()) {
            QToolTip::showText(help->globalPos(), text(), this);
        } else if (!toolTip().isEmpty()) {
            QToolTip::showText(help->globalPos(), toolTip(), this);
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    return QLabel::event(e);
}

}  // namespace mm::ui::qt
