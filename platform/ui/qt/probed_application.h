#pragma once
// The window's QApplication, timing every event it delivers on the GUI thread
// (paints, input, queued calls, timers) in the UI thread's stall probe.
#include <QApplication>

#include "platform/ui/stall_probe.h"

namespace mm::ui::qt {

class ProbedApplication : public QApplication {
public:
    ProbedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    // Events are timed from here on; nullptr stops it. Set on the GUI thread.
    void setProbe(StallProbe* probe) { probe_ = probe; }
    bool notify(QObject* receiver, QEvent* e) override;

private:
    StallProbe* probe_ = nullptr;
};

// The depth of event loops running on the calling thread (1 inside exec()).
int EventLoopLevel();

}  // namespace mm::ui::qt
