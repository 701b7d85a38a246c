#pragma once
// Whether the main window is the active window, readable from any thread
// (workers ask it before they tell the desktop of a failed download).
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

class QWidget;

namespace mm::ui::qt::desktop {

class WindowActivity : public QObject {
    Q_OBJECT
public:
    // Watches `window` (GUI thread); lives as long as the window.
    explicit WindowActivity(QWidget* window);
    // The answer as a function for any thread; stays valid after the window is gone (then false).
    std::function<bool()> probe() const;

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    std::shared_ptr<std::atomic<bool>> active_;
};

}  // namespace mm::ui::qt::desktop
