#include "platform/ui/events.h"

#include <array>

namespace mm::ui {

namespace {
struct TypeName {
    EventType type;
    const char* name;
};
constexpr std::array<TypeName, 19> kTypeNames{{
    {EventType::Click, "Click"},
    {EventType::TextChanged, "TextChanged"},
    {EventType::KeyUp, "KeyUp"},
    {EventType::FocusIn, "FocusIn"},
    {EventType::FocusOut, "FocusOut"},
    {EventType::MouseEnter, "MouseEnter"},
    {EventType::MouseLeave, "MouseLeave"},
    {EventType::RowRightClick, "RowRightClick"},
    {EventType::RowDoubleClick, "RowDoubleClick"},
    {EventType::ScrolledPastEnd, "ScrolledPastEnd"},
    {EventType::MenuChoice, "MenuChoice"},
    {EventType::MenuAboutToShow, "MenuAboutToShow"},
    {EventType::ComboChanged, "ComboChanged"},
    {EventType::SliderChanged, "SliderChanged"},
    {EventType::SliderMoved, "SliderMoved"},
    {EventType::TimerTick, "TimerTick"},
    {EventType::ActivationChanged, "ActivationChanged"},
    {EventType::WindowClose, "WindowClose"},
    {EventType::Shortcut, "Shortcut"},
}};
}  // namespace

const char* eventTypeName(EventType t) {
    for (const TypeName& n : kTypeNames) {
        if (n.type == t) return n.name;
    }
    return "?";
}

bool eventTypeFromName(const std::string& name, EventType& out) {
    for (const TypeName& n : kTypeNames) {
        if (name == n.name) {
            out = n.type;
            return true;
        }
    }
    return false;
}

void EventDispatcher::on(const std::string& control, EventType type, Handler h) {
    std::lock_guard lk(mu_);
    if (h) {
        handlers_[{control, type}] = std::move(h);
    } else {
        handlers_.erase({control, type});
    }
}

void EventDispatcher::fire(Event e) {
    ui_.post([this, e = std::move(e)] { dispatch(e); });
}

void EventDispatcher::dispatch(const Event& e) {
    // Handlers touch the program's state without locks of their own: they must
    // all run on the one UI thread.
    if (!ui_.isCurrent()) {
        fire(e);
        return;
    }
    Handler h;
    {
        std::lock_guard lk(mu_);
        auto it = handlers_.find({e.control, e.type});
        if (it == handlers_.end()) return;
        h = it->second;
    }
    StallProbe::Scope timing(ui_.stallProbe(), StallProbe::Kind::kHandler, eventTypeName(e.type), e.control);
    h(e);
}

}  // namespace mm::ui
