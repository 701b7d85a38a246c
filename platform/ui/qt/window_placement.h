#pragma once
// Where the main window stands and how large it is, read when it closes and
// put back at the next start, within what the screens of that start allow.
#include <QPoint>
#include <QSize>

class QWidget;

namespace mm::ui::qt {

struct Placement {
    bool hasPosition = false;
    QPoint position;  // of the frame's top-left corner
    bool hasSize = false;
    QSize size;  // of the window's inside
    bool maximized = false;
};

// Before the window is shown: never below its minimum size, and a position
// only where the title bar lands on a screen (a screen of the last run may be gone).
void PlaceWindow(QWidget& window, const Placement& p);
// A maximised window is read with the size and place it comes back to.
Placement ReadPlacement(const QWidget& window);

}  // namespace mm::ui::qt
