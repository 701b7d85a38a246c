#pragma once
// Message boxes of the control model as modal dialogs on the GUI thread.
#include <QDialog>
#include <memory>

#include "platform/ui/control_model.h"
#include "platform/ui/qt/gui_poster.h"

namespace mm::ui::qt {

// One heading, one text and its buttons (one, or a question's several); the
// window title is the request's title. Drawn in the skin: a white card with a
// frame and a shadow that set it apart from the page behind, moved by
// dragging the card.
class MessageBoxDialog : public QDialog {
    Q_OBJECT
public:
    MessageBoxDialog(const MessageBoxRequest& req, QWidget* parent);
    // Shows it modally; the index of the chosen button, or the request's
    // default when the box was closed without one.
    int choose();
    // The card inside the shadow's margin.
    QWidget* card() const { return card_; }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    int defaultChoice_ = 0;
    int chosen_ = -1;
    QWidget* card_ = nullptr;
    QPoint dragFrom_;
    bool dragging_ = false;
};

// Installs itself as the model's presenter. A worker that shows a box waits
// until the user dismissed it; on the GUI thread the box runs at once. When
// this object goes away, waiting workers are released and later boxes are
// only logged by the model.
class MessageBoxHost : public QObject {
    Q_OBJECT
public:
    MessageBoxHost(ControlModel& model, QWidget* owner);
    ~MessageBoxHost() override;

private:
    int present(const MessageBoxRequest& req);

    ControlModel& model_;
    QWidget* owner_;
    GuiPoster poster_;
};

}  // namespace mm::ui::qt
