#pragma once
// The model's tip: a small note with an optional picture next to the cursor,
// hiding itself after its display time.
#include <QFrame>
#include <QTimer>

class QLabel;

namespace mm::ui::qt {

class TipPopup : public QFrame {
    Q_OBJECT
public:
    explicit TipPopup(QWidget* parent = nullptr);
    // displayMs <= 0 keeps it until hidden.
    void showTip(const QString& text, const QPixmap& picture, int displayMs, QPoint near);

private:
    QLabel* picture_;
    QLabel* text_;
    QTimer timer_;
};

}  // namespace mm::ui::qt
