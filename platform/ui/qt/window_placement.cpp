#include "platform/ui/qt/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace mm::ui::qt {

void PlaceWindow(QWidget& window, const Placement& p) {
    if (p.hasSize) window.resize(window.minimumSize().expandedTo(p.size));
    if (p.hasPosition && QGuiApplication::screenAt(p.position + QPoint(40, 10)) != nullptr)
        window.move(p.position);
    if (p.maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

Placement ReadPlacement(const QWidget& window) {
    Placement p;
    p.maximized = window.isMaximized();
    const QRect normal = p.maximized ? window.normalGeometry() : window.geometry();
    p.hasSize = normal.isValid();
    p.size = normal.size();
    p.hasPosition = true;
    p.position = p.maximized ? normal.topLeft() : window.pos();
    return p;
}

}  // namespace mm::ui::qt
