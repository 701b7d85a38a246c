#pragma once
// The UI thread of the windowed program: Qt's GUI thread. Construct it on that
// thread, after the QApplication.
#include <QObject>
#include <memory>

#include "platform/ui/events.h"
#include "platform/ui/qt/gui_poster.h"

namespace mm::ui::qt {

class QtUiThread : public mm::ui::UiThread {
public:
    QtUiThread();
    ~QtUiThread() override;
    QtUiThread(const QtUiThread&) = delete;
    QtUiThread& operator=(const QtUiThread&) = delete;

    // Queues fn to the GUI thread; dropped once this object is gone.
    void post(std::function<void()> fn) override;
    bool isCurrent() const override;

private:
    std::unique_ptr<QObject> context_;
    GuiPoster poster_;
};

}  // namespace mm::ui::qt
