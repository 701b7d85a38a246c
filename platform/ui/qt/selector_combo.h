#pragma once
// A combo box that looks like a selector in the skin: a drop-down chevron at
// its right end (the style sheet draws the rounded box, not the arrow) and a
// popup list in the skin's colours.
#include <QComboBox>

namespace mm::ui::qt {

class SelectorCombo : public QComboBox {
    Q_OBJECT
public:
    explicit SelectorCombo(QWidget* parent = nullptr);

    // Where the chevron is drawn, in the combo's coordinates.
    QRect arrowRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace mm::ui::qt
