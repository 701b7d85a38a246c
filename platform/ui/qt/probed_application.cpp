#include "platform/ui/qt/probed_application.h"

#include <QEvent>
#include <QMetaEnum>
#include <QThread>

namespace mm::ui::qt {

int EventLoopLevel() {
    return static_cast<int>(QThread::currentThread()->loopLevel());
}

bool ProbedApplication::notify(QObject* receiver, QEvent* e) {
    // Other threads (D-Bus) deliver events too; only the GUI thread's count.
    if (!probe_ || !receiver || !e || QThread::currentThread() != thread()) return QApplication::notify(receiver, e);
    const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(e->type());
    StallProbe::Scope timing(*probe_, StallProbe::Kind::kViewEvent, receiver->metaObject()->className(),
                             type ? type : "", EventLoopLevel());
    return QApplication::notify(receiver, e);
}

}  // namespace mm::ui::qt
