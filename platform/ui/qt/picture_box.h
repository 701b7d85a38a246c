#pragma once
// A picture control: shows image bytes scaled to fit, turned by an angle,
// optionally clipped to a circle (the cover) or spinning by itself (the
// loading animation). Reports clicks and the mouse entering and leaving.
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <string>

namespace mm::ui::qt {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Returns false when the bytes are unchanged (nothing to do).
    bool setImageBytes(const std::string& bytes);
    const QPixmap& pixmap() const { return pixmap_; }
    void setAngle(int degrees);
    int angle() const { return angle_; }
    void setRound(bool on);
    void setSpinning(bool on);  // turns itself while visible
    // A clickable picture is a button too: reached by Tab, pressed with Space
    // or Enter, and marked with a ring while it has the focus.
    void setClickable(bool on);

    QSize sizeHint() const override;

signals:
    void clicked();
    void entered();
    void left();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    std::string bytes_;
    QPixmap pixmap_;
    int angle_ = 0;
    bool round_ = false;
    bool spinning_ = false;
    QTimer spin_;
};

}  // namespace mm::ui::qt
