#pragma once
// A one-line label that shortens a text too long for it with "…" at a
// character boundary, and shows the whole text as its tool tip then.
#include <QLabel>

namespace mm::ui::qt {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The text as drawn at the label's present width.
    QString shownText() const;
    bool isElided() const { return shownText() != text(); }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;
};

}  // namespace mm::ui::qt
