#include "platform/ui/control_model.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/control_model_impl.h"

namespace mm::ui {

namespace {

// The deliveries the current thread is making, so that an observer that
// unsubscribes itself does not wait for its own call to end.
thread_local std::vector<const ObserverEntry*> tlDelivering;

int ownCalls(const ObserverEntry* e) {
    return static_cast<int>(std::count(tlDelivering.begin(), tlDelivering.end(), e));
}

}  // namespace

const char* kindName(Kind k) {
    switch (k) {
        case Kind::Window:
            return "Window";
        case Kind::Tab:
            return "Tab";
        case Kind::ToolEntry:
            return "ToolEntry";
        case Kind::Label:
            return "Label";
        case Kind::Button:
            return "Button";
        case Kind::RadioButton:
            return "RadioButton";
        case Kind::CheckBox:
            return "CheckBox";
        case Kind::ComboBox:
            return "ComboBox";
        case Kind::PictureBox:
            return "PictureBox";
        case Kind::ListBox:
            return "ListBox";
        case Kind::EditBox:
            return "EditBox";
        case Kind::Slider:
            return "Slider";
        case Kind::Timer:
            return "Timer";
    }
    return "?";
}

void ControlModel::Impl::noteUnknown(const std::string& name, const char* op) {
    if (++unknownWrites[name] == 1) {
        std::fprintf(stderr, "mm_ui: %s on undefined name \"%s\" ignored\n", op, name.c_str());
    }
}

ControlModel::ControlModel() : d(std::make_unique<Impl>()) {}
ControlModel::~ControlModel() = default;

// ---- controls

void ControlModel::define(const std::string& name, Kind kind, const std::string& caption) {
    {
        std::lock_guard lk(d->mu);
        auto [it, added] = d->controls.try_emplace(name);
        if (added) d->order.push_back(name);
        it->second = ControlState{};
        it->second.kind = kind;
        it->second.text = caption;
    }
    notify({Change::What::Property, name});
}

bool ControlModel::exists(const std::string& name) const {
    std::lock_guard lk(d->mu);
    return d->find(name) != nullptr;
}

std::optional<Kind> ControlModel::kind(const std::string& name) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(name);
    if (!c) return std::nullopt;
    return c->kind;
}

std::vector<std::string> ControlModel::names() const {
    std::lock_guard lk(d->mu);
    return d->order;
}

std::string ControlModel::text(const std::string& name) const {
    return readField(name, &ControlState::text, std::string());
}
void ControlModel::setText(const std::string& name, const std::string& text) {
    writeField(name, "setText", &ControlState::text, text);
}
bool ControlModel::visible(const std::string& name) const {
    return readField(name, &ControlState::visible, false);
}
void ControlModel::setVisible(const std::string& name, bool on) {
    writeField(name, "setVisible", &ControlState::visible, on);
}
bool ControlModel::disabled(const std::string& name) const {
    return readField(name, &ControlState::disabled, false);
}
void ControlModel::setDisabled(const std::string& name, bool on) {
    writeField(name, "setDisabled", &ControlState::disabled, on);
}
bool ControlModel::checked(const std::string& name) const {
    return readField(name, &ControlState::checked, false);
}
void ControlModel::setChecked(const std::string& name, bool on) {
    writeField(name, "setChecked", &ControlState::checked, on);
}
std::string ControlModel::picture(const std::string& name) const {
    return readField(name, &ControlState::picture, std::string());
}
void ControlModel::setPicture(const std::string& name, const std::string& bytes) {
    writeField(name, "setPicture", &ControlState::picture, bytes);
}
int ControlModel::selection(const std::string& name) const {
    return readField(name, &ControlState::selection, -1);
}
void ControlModel::setSelection(const std::string& name, int index) {
    writeField(name, "setSelection", &ControlState::selection, index < 0 ? -1 : index);
}
int ControlModel::position(const std::string& name) const {
    return readField(name, &ControlState::position, 0);
}
void ControlModel::setPosition(const std::string& name, int pos) {
    writeField(name, "setPosition", &ControlState::position, pos);
}
int ControlModel::maximum(const std::string& name) const {
    return readField(name, &ControlState::maximum, 0);
}
void ControlModel::setMaximum(const std::string& name, int max) {
    writeField(name, "setMaximum", &ControlState::maximum, max);
}
int ControlModel::angle(const std::string& name) const {
    return readField(name, &ControlState::angle, 0);
}
void ControlModel::setAngle(const std::string& name, int degrees) {
    writeField(name, "setAngle", &ControlState::angle, degrees);
}
std::string ControlModel::toolTip(const std::string& name) const {
    return readField(name, &ControlState::toolTip, std::string());
}
void ControlModel::setToolTip(const std::string& name, const std::string& text) {
    writeField(name, "setToolTip", &ControlState::toolTip, text);
}
int ControlModel::interval(const std::string& name) const {
    return readField(name, &ControlState::interval, 0);
}
void ControlModel::setInterval(const std::string& name, int ms) {
    writeField(name, "setInterval", &ControlState::interval, ms < 0 ? 0 : ms);
}

// ---- images

void ControlModel::registerImage(const std::string& name, const std::string& bytes) {
    {
        std::lock_guard lk(d->mu);
        d->images[name] = bytes;
    }
    notify({Change::What::Image, name});
}

std::string ControlModel::image(const std::string& name) const {
    std::lock_guard lk(d->mu);
    auto it = d->images.find(name);
    return it == d->images.end() ? std::string() : it->second;
}

void ControlModel::destroyImage(const std::string& name) {
    {
        std::lock_guard lk(d->mu);
        if (d->images.erase(name) == 0) return;
    }
    notify({Change::What::Image, name});
}

std::vector<std::string> ControlModel::imageNames() const {
    std::lock_guard lk(d->mu);
    std::vector<std::string> out;
    out.reserve(d->images.size());
    for (const auto& [name, bytes] : d->images) out.push_back(name);
    return out;
}

// ---- message boxes

void ControlModel::messageBox(const MessageBoxRequest& req) {
    MessageBoxPresenter presenter;
    {
        std::lock_guard lk(d->mu);
        d->boxes.push_back(req);
        presenter = d->presenter;
    }
    // The presenter blocks until the box is dismissed: never under our lock.
    if (presenter) presenter(req);
}

void ControlModel::setMessageBoxPresenter(MessageBoxPresenter p) {
    std::lock_guard lk(d->mu);
    d->presenter = std::move(p);
}

int ControlModel::ask(const MessageBoxRequest& req) {
    const int count = static_cast<int>(req.moreButtons.size()) + 1;
    auto clamp = [count](int i) { return i < 0 || i >= count ? 0 : i; };
    QuestionPresenter question;
    MessageBoxPresenter presenter;
    int answer = clamp(req.defaultChoice);
    {
        std::lock_guard lk(d->mu);
        d->boxes.push_back(req);
        question = d->questionPresenter;
        presenter = d->presenter;
        if (!question) {
            const std::vector<std::string> buttons = req.buttons();
            for (auto it = d->answers.begin(); it != d->answers.end(); ++it) {
                auto b = std::find(buttons.begin(), buttons.end(), *it);
                if (b == buttons.end()) continue;
                answer = static_cast<int>(b - buttons.begin());
                d->answers.erase(it);
                break;
            }
        }
    }
    // Presenters block until the box is dismissed: never under our lock.
    if (question) return clamp(question(req));
    if (presenter) presenter(req);
    return answer;
}

void ControlModel::setQuestionPresenter(QuestionPresenter p) {
    std::lock_guard lk(d->mu);
    d->questionPresenter = std::move(p);
}

void ControlModel::queueAnswer(const std::string& button) {
    std::lock_guard lk(d->mu);
    d->answers.push_back(button);
}

std::vector<MessageBoxRequest> ControlModel::messageBoxLog() const {
    std::lock_guard lk(d->mu);
    return d->boxes;
}

// ---- tips and animations

void ControlModel::showTip(const std::string& text, const std::string& picture,
                           std::vector<std::int64_t> args) {
    {
        std::lock_guard lk(d->mu);
        d->tip = Tip{true, text, picture, std::move(args)};
    }
    notify({Change::What::Tip, {}});
}

void ControlModel::closeTip() {
    {
        std::lock_guard lk(d->mu);
        if (!d->tip.shown) return;
        d->tip = Tip{};
    }
    notify({Change::What::Tip, {}});
}

Tip ControlModel::tip() const {
    std::lock_guard lk(d->mu);
    return d->tip;
}

void ControlModel::playWindowAnimation(const std::string& window, std::vector<std::int64_t> args) {
    {
        std::lock_guard lk(d->mu);
        d->animations.emplace_back(window, std::move(args));
    }
    notify({Change::What::Animation, window});
}

std::vector<std::pair<std::string, std::vector<std::int64_t>>> ControlModel::animations() const {
    std::lock_guard lk(d->mu);
    return d->animations;
}

// ---- diagnostics

std::map<std::string, int> ControlModel::unknownWrites() const {
    std::lock_guard lk(d->mu);
    return d->unknownWrites;
}

std::vector<std::pair<std::string, int>> ControlModel::timers() const {
    std::lock_guard lk(d->mu);
    std::vector<std::pair<std::string, int>> out;
    for (const std::string& name : d->order) {
        const ControlState* c = d->find(name);
        if (c && c->kind == Kind::Timer) out.emplace_back(name, c->interval);
    }
    return out;
}

// ---- observation

int ControlModel::subscribe(Observer o) {
    std::lock_guard lk(d->mu);
    auto e = std::make_shared<ObserverEntry>();
    e->id = d->nextObserverId++;
    e->fn = std::move(o);
    d->observers.push_back(e);
    return e->id;
}

void ControlModel::unsubscribe(int id) {
    std::unique_lock lk(d->mu);
    auto it =
        std::find_if(d->observers.begin(), d->observers.end(), [id](const auto& e) { return e->id == id; });
    if (it == d->observers.end()) return;
    std::shared_ptr<ObserverEntry> e = *it;
    d->observers.erase(it);
    e->removed = true;
    // Whoever unsubscribes may free what the observer uses: wait for calls in flight.
    const int own = ownCalls(e.get());
    d->observerDone.wait(lk, [&] { return e->calls <= own; });
}

void ControlModel::notify(const Change& c) {
    std::vector<std::shared_ptr<ObserverEntry>> targets;
    {
        std::lock_guard lk(d->mu);
        targets = d->observers;
    }
    for (const auto& e : targets) {
        {
            std::lock_guard lk(d->mu);
            if (e->removed) continue;
            ++e->calls;
        }
        tlDelivering.push_back(e.get());
        e->fn(c);
        tlDelivering.pop_back();
        {
            std::lock_guard lk(d->mu);
            --e->calls;
        }
        d->observerDone.notify_all();
    }
}

}  // namespace mm::ui
