#include "platform/ui/qt/qt_ui_thread.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include "platform/ui/qt/probed_application.h"

namespace mm::ui::qt {

QtUiThread::QtUiThread() : context_(std::make_unique<QObject>()), poster_(context_.get()) {
    // While the event loop waits for something to do, nothing is stalled.
    if (auto* loop = QAbstractEventDispatcher::instance(context_->thread())) {
        StallProbe* probe = &stallProbe();
        QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, context_.get(), [probe] { probe->Yield(); });
        QObject::connect(loop, &QAbstractEventDispatcher::awake, context_.get(), [probe] { probe->Resume(); });
    }
}

QtUiThread::~QtUiThread() {
    poster_.close();
}

void QtUiThread::post(std::function<void()> fn) {
    StallProbe* probe = &stallProbe();
    poster_.post([probe, fn = std::move(fn)] {
        StallProbe::Scope timing(*probe, StallProbe::Kind::kQueuedCall, "queued call", {}, EventLoopLevel());
        fn();
    });
}

bool QtUiThread::isCurrent() const {
    return QThread::currentThread() == context_->thread();
}

}  // namespace mm::ui::qt
