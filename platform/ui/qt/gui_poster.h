#pragma once
// Hands functions from any thread to the thread of a QObject, safely against
// that object going away: once close() ran, posts are refused, and a function
// still queued when the object dies is destroyed without running.
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

namespace mm::ui::qt {

class GuiPoster {
public:
    explicit GuiPoster(QObject* context) : s_(std::make_shared<State>()) { s_->context = context; }

    // False when closed: the function was dropped.
    bool post(std::function<void()> fn) const {
        std::lock_guard lk(s_->mu);
        if (!s_->context) return false;
        // Posting only queues an event; it never waits, so holding the lock is harmless.
        QMetaObject::invokeMethod(s_->context, std::move(fn), Qt::QueuedConnection);
        return true;
    }

    // Call on the context's thread before the context is destroyed.
    void close() const {
        std::lock_guard lk(s_->mu);
        s_->context = nullptr;
    }

private:
    struct State {
        std::mutex mu;
        QObject* context = nullptr;
    };
    std::shared_ptr<State> s_;
};

}  // namespace mm::ui::qt
