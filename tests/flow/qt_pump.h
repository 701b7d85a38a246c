#pragma once
// Keeping the Qt event loop running in GUI tests that drive the real window.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace mm::test {

// Processes Qt events for `ms` milliseconds.
inline void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// Processes Qt events until pred holds; false after `ms` milliseconds.
inline bool PumpUntil(const std::function<bool()>& pred, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        Pump(5);
    }
    return true;
}

}  // namespace mm::test
