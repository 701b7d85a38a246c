#pragma once
// The UI thread without a window: a plain thread running a queue of tasks, with
// the timers of the control model ticking on it. Used by tests and automation.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"

namespace mm::ui {

class HeadlessUiThread : public UiThread {
  public:
    HeadlessUiThread();
    ~HeadlessUiThread() override;  // stops the thread
    HeadlessUiThread(const HeadlessUiThread&) = delete;
    HeadlessUiThread& operator=(const HeadlessUiThread&) = delete;

    // Timer controls of `model` tick through `events` on this thread. Call before
    // Start(); both must outlive the thread.
    void AttachTimers(ControlModel& model, EventDispatcher& events);
    // Automatic ticking (on by default). Off, timers tick only through Tick().
    void SetAutoTimers(bool on);

    void Start();
    // Drops the tasks not yet started, lets the running one finish and joins.
    // Called from a task, it only asks the loop to end after that task.
    void Stop();
    bool IsRunning() const;

    // Tasks posted before Start() run once it is called; after Stop() they are dropped.
    void post(std::function<void()> fn) override;
    bool isCurrent() const override;

    // Runs fn on this thread and waits for it (inline when already on it).
    // False when the thread dropped it (stopped) instead of running it.
    bool RunOnUiThreadAndWait(std::function<void()> fn);
    // True once no task is queued or running; false after the time-out. On the
    // UI thread itself, runs the queued tasks first.
    bool WaitIdle(std::chrono::milliseconds timeout);
    // On this thread: runs the tasks queued now (keeps events flowing while a
    // handler waits). Elsewhere: does nothing.
    void RunPending();
    // Fires one tick of the named timer on this thread.
    void Tick(const std::string& timer);

  private:
    using Clock = std::chrono::steady_clock;
    void Loop();
    bool RunOne(std::unique_lock<std::mutex>& lk);
    Clock::time_point TickDueTimers();

    mutable std::mutex mu_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    int running_ = 0;
    bool started_ = false;
    bool stopping_ = false;
    bool timersChanged_ = false;
    std::thread thread_;
    std::thread::id id_;

    ControlModel* model_ = nullptr;
    EventDispatcher* events_ = nullptr;
    int subscription_ = 0;
    bool autoTimers_ = true;
    std::map<std::string, Clock::time_point> lastTick_;  // loop thread only
};

// Runs fn on `ui` and waits for it (inline when already there). False when the
// thread dropped the task without running it.
bool RunAndWait(UiThread& ui, std::function<void()> fn);

}  // namespace mm::ui
