#include "platform/ui/headless_ui_thread.h"

#include <algorithm>

namespace mm::ui {

namespace {

struct Completion {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    bool ran = false;
};

// Owned by the posted task: it is destroyed when the task has run or when the
// queue threw the task away, and either way the waiter wakes up.
struct CompletionSignal {
    explicit CompletionSignal(std::shared_ptr<Completion> c) : c(std::move(c)) {}
    ~CompletionSignal() {
        {
            std::lock_guard lk(c->mu);
            c->done = true;
        }
        c->cv.notify_all();
    }
    std::shared_ptr<Completion> c;
};

}  // namespace

bool RunAndWait(UiThread& ui, std::function<void()> fn) {
    if (ui.isCurrent()) {
        fn();
        return true;
    }
    auto c = std::make_shared<Completion>();
    {
        auto signal = std::make_shared<CompletionSignal>(c);
        ui.post([signal, fn = std::move(fn)] {
            fn();
            std::lock_guard lk(signal->c->mu);
            signal->c->ran = true;
        });
    }
    std::unique_lock lk(c->mu);
    c->cv.wait(lk, [&] { return c->done; });
    return c->ran;
}

HeadlessUiThread::HeadlessUiThread() = default;

HeadlessUiThread::~HeadlessUiThread() {
    Stop();
    if (thread_.joinable()) thread_.detach();  // destroyed by its own task: nothing left to join
    if (model_ && subscription_) model_->unsubscribe(subscription_);
}

void HeadlessUiThread::AttachTimers(ControlModel& model, EventDispatcher& events) {
    std::lock_guard lk(mu_);
    model_ = &model;
    events_ = &events;
}

void HeadlessUiThread::SetAutoTimers(bool on) {
    {
        std::lock_guard lk(mu_);
        autoTimers_ = on;
        timersChanged_ = true;
    }
    wake_.notify_all();
}

void HeadlessUiThread::Start() {
    ControlModel* model;
    {
        std::lock_guard lk(mu_);
        if (started_ || stopping_) return;
        started_ = true;
        thread_ = std::thread([this] { Loop(); });
        id_ = thread_.get_id();
        model = model_;
    }
    if (model) {
        // A timer whose interval changes must be rescheduled without waiting for
        // the old deadline.
        subscription_ = model->subscribe([this, model](const Change& c) {
            if (c.what != Change::What::Property || model->kind(c.control) != Kind::Timer) return;
            {
                std::lock_guard lk(mu_);
                timersChanged_ = true;
            }
            wake_.notify_all();
        });
    }
}

void HeadlessUiThread::Stop() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lk(mu_);
        stopping_ = true;
        dropped.swap(queue_);
    }
    wake_.notify_all();
    dropped.clear();  // outside the lock: a dropped task's captures may wake waiters
    if (isCurrent()) return;
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lk(mu_);
        dropped.swap(queue_);
    }
    dropped.clear();
    idle_.notify_all();
}

bool HeadlessUiThread::IsRunning() const {
    std::lock_guard lk(mu_);
    return started_ && !stopping_;
}

void HeadlessUiThread::post(std::function<void()> fn) {
    {
        std::lock_guard lk(mu_);
        if (!stopping_) {
            queue_.push_back(std::move(fn));
            fn = nullptr;
        }
    }
    wake_.notify_all();
    // A task posted after Stop() is destroyed here, outside the lock.
}

bool HeadlessUiThread::isCurrent() const {
    std::lock_guard lk(mu_);
    return started_ && std::this_thread::get_id() == id_;
}

bool HeadlessUiThread::RunOnUiThreadAndWait(std::function<void()> fn) {
    return RunAndWait(*this, std::move(fn));
}

bool HeadlessUiThread::WaitIdle(std::chrono::milliseconds timeout) {
    if (isCurrent()) {
        RunPending();
        std::lock_guard lk(mu_);
        return queue_.empty();
    }
    std::unique_lock lk(mu_);
    return idle_.wait_for(lk, timeout, [&] { return queue_.empty() && running_ == 0; });
}

void HeadlessUiThread::RunPending() {
    if (!isCurrent()) return;
    // The task that pumps is not stalling the thread while the queue is served.
    StallProbe::YieldScope pumping(stallProbe());
    std::unique_lock lk(mu_);
    // Only what is queued now: a task that posts itself again must not spin here forever.
    size_t n = queue_.size();
    while (n-- > 0 && !stopping_ && RunOne(lk)) {
    }
}

void HeadlessUiThread::Tick(const std::string& timer) {
    post([this, timer] {
        EventDispatcher* events;
        {
            std::lock_guard lk(mu_);
            events = events_;
        }
        if (events) events->dispatch(Event{timer, EventType::TimerTick, 0, {}});
    });
}

bool HeadlessUiThread::RunOne(std::unique_lock<std::mutex>& lk) {
    if (queue_.empty()) return false;
    std::function<void()> fn = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lk.unlock();
    {
        StallProbe::Scope timing(stallProbe(), StallProbe::Kind::kQueuedCall, "queued call");
        fn();
        fn = nullptr;
    }
    lk.lock();
    --running_;
    if (queue_.empty() && running_ == 0) idle_.notify_all();
    return true;
}

void HeadlessUiThread::Loop() {
    std::unique_lock lk(mu_);
    while (!stopping_) {
        Clock::time_point due = Clock::time_point::max();
        if (model_ && events_ && autoTimers_) {
            ++running_;  // a tick is work in progress for WaitIdle
            lk.unlock();
            due = TickDueTimers();
            lk.lock();
            --running_;
            if (queue_.empty() && running_ == 0) idle_.notify_all();
        } else {
            lastTick_.clear();
        }
        if (stopping_) break;
        if (RunOne(lk)) continue;
        auto woken = [&] { return stopping_ || !queue_.empty() || timersChanged_; };
        if (due == Clock::time_point::max()) {
            wake_.wait(lk, woken);
        } else {
            wake_.wait_until(lk, due, woken);
        }
        timersChanged_ = false;
    }
}

// Runs on the loop thread without our lock. Returns when the next timer is due.
HeadlessUiThread::Clock::time_point HeadlessUiThread::TickDueTimers() {
    Clock::time_point due = Clock::time_point::max();
    for (const auto& [name, ms] : model_->timers()) {
        if (ms <= 0) {
            lastTick_.erase(name);
            continue;
        }
        const Clock::time_point now = Clock::now();
        auto [it, added] = lastTick_.try_emplace(name, now);
        const auto period = std::chrono::milliseconds(ms);
        if (it->second + period <= now) {
            stallProbe().TimerFired(it->second + period);
            // A late tick is not made up for: the next one comes a full interval later.
            it->second = now;
            StallProbe::Scope timing(stallProbe(), StallProbe::Kind::kTimerTick, "timer", name);
            events_->dispatch(Event{name, EventType::TimerTick, 0, {}});
        }
        due = std::min(due, it->second + period);
    }
    return due;
}

}  // namespace mm::ui
