#include "platform/ui/qt/qt_ui_thread.h"

#include <QThread>

namespace mm::ui::qt {

QtUiThread::QtUiThread() : context_(std::make_unique<QObject>()), poster_(context_.get()) {}

QtUiThread::~QtUiThread() {
    poster_.close();
}

void QtUiThread::post(std::function<void()> fn) {
    poster_.post(std::move(fn));
}

bool QtUiThread::isCurrent() const {
    return QThread::currentThread() == context_->thread();
}

}  // namespace mm::ui::qt
