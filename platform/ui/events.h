#pragma once
// User events and the UI thread that runs their handlers.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/ui/stall_probe.h"

namespace mm::ui {

enum class EventType {
    Click,
    TextChanged,
    KeyUp,            // arg = key code (13 = Enter)
    FocusIn,
    FocusOut,
    MouseEnter,
    MouseLeave,
    RowRightClick,    // arg = 0-based row (negative: no row)
    RowDoubleClick,   // arg = 0-based row
    ScrolledPastEnd,  // the user scrolled down past the last row of a list
    MenuChoice,       // control = menu name, arg = item id
    MenuAboutToShow,  // control = menu name, arg = id of the submenu's parent item
    ComboChanged,     // arg = 0-based index
    SliderChanged,    // arg = position (set by the user: a click, or a drag let go)
    SliderMoved,      // arg = position of a handle the user is still dragging
    TimerTick,
    ActivationChanged,  // arg = 1 activated, 0 deactivated
    WindowClose,        // arg = 0
    Shortcut,           // control = the main window, text = the keys ("Ctrl+D", "Space", "Escape")
};

const char* eventTypeName(EventType t);
bool eventTypeFromName(const std::string& name, EventType& out);

struct Event {
    std::string control;
    EventType type = EventType::Click;
    int arg = 0;
    std::string text;
};

// The thread that runs every handler: Qt's GUI thread in the window, a plain
// event loop thread when headless.
class UiThread {
public:
    virtual ~UiThread() = default;
    virtual void post(std::function<void()> fn) = 0;
    virtual bool isCurrent() const = 0;
    // Times the work this thread runs (see stall_probe.h).
    StallProbe& stallProbe() { return probe_; }

private:
    StallProbe probe_;
};

// Handlers by control and event type. dispatch() runs on the UI thread.
class EventDispatcher {
public:
    using Handler = std::function<void(const Event&)>;
    explicit EventDispatcher(UiThread& ui) : ui_(ui) {}
    void on(const std::string& control, EventType type, Handler h);
    // Called from any thread (the view, automation): queues the event to the UI thread.
    void fire(Event e);
    // Runs the handler now; call on the UI thread only.
    void dispatch(const Event& e);
    UiThread& uiThread() { return ui_; }

private:
    UiThread& ui_;
    mutable std::mutex mu_;
    std::map<std::pair<std::string, EventType>, Handler> handlers_;
};

}  // namespace mm::ui
