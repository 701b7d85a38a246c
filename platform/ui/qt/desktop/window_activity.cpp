#include "platform/ui/qt/desktop/window_activity.h"

#include <QEvent>
#include <QWidget>

namespace mm::ui::qt::desktop {

WindowActivity::WindowActivity(QWidget* window)
    : QObject(window), active_(std::make_shared<std::atomic<bool>>(window->isActiveWindow())) {
    window->installEventFilter(this);
}

std::function<bool()> WindowActivity::probe() const {
    return [active = active_] { return active->load(); };
}

bool WindowActivity::eventFilter(QObject* obj, QEvent* e) {
    if (e->type() == QEvent::WindowActivate) active_->store(true);
    else if (e->type() == QEvent::WindowDeactivate || e->type() == QEvent::Hide) active_->store(false);
    else if (e->type() == QEvent::ActivationChange) active_->store(static_cast<QWidget*>(obj)->isActiveWindow());
    return QObject::eventFilter(obj, e);
}

}  // namespace mm::ui::qt::desktop
