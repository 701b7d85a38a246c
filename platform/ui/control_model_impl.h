#pragma once
// Private state of ControlModel, shared by the files that implement it.
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/control_model.h"

namespace mm::ui {

struct Row {
    std::vector<Cell> cells;
    int progress = -1;
};

struct ControlState {
    Kind kind = Kind::Label;
    std::string text;
    bool visible = true;
    bool disabled = false;
    bool checked = false;
    std::string picture;
    int selection = -1;
    int position = 0;
    int maximum = 0;
    int angle = 0;
    int interval = 0;
    std::string toolTip;
    // list boxes
    std::vector<std::string> columns;
    int rowHeight = 0;
    std::vector<Row> rows;
    // combo boxes
    std::vector<ComboItem> comboItems;
};

struct MenuState {
    std::vector<MenuItem> items;  // siblings keep their order; the view groups them by parentId
    bool poppedUp = false;
};

// One subscriber. `calls` counts the deliveries in flight so that unsubscribe()
// can wait for them: after it returns, the observer is never running.
struct ObserverEntry {
    int id = 0;
    ControlModel::Observer fn;
    bool removed = false;
    int calls = 0;
};

struct ControlModel::Impl {
    mutable std::mutex mu;
    std::condition_variable observerDone;

    std::map<std::string, ControlState> controls;
    std::vector<std::string> order;
    std::map<std::string, std::string> images;
    std::map<std::string, MenuState> menus;

    std::vector<MessageBoxRequest> boxes;
    MessageBoxPresenter presenter;
    QuestionPresenter questionPresenter;
    std::deque<std::string> answers;
    Tip tip;
    std::vector<std::pair<std::string, std::vector<std::int64_t>>> animations;

    std::vector<std::shared_ptr<ObserverEntry>> observers;
    int nextObserverId = 1;

    // Writes aimed at names that were never defined: counted, reported once each.
    std::map<std::string, int> unknownWrites;

    // All below: call with `mu` held.
    ControlState* find(const std::string& name) {
        auto it = controls.find(name);
        return it == controls.end() ? nullptr : &it->second;
    }
    const ControlState* find(const std::string& name) const {
        auto it = controls.find(name);
        return it == controls.end() ? nullptr : &it->second;
    }
    ControlState* findForWrite(const std::string& name, const char* op) {
        ControlState* c = find(name);
        if (!c) noteUnknown(name, op);
        return c;
    }
    MenuState* findMenuForWrite(const std::string& menu, const char* op) {
        auto it = menus.find(menu);
        if (it == menus.end()) {
            noteUnknown(menu, op);
            return nullptr;
        }
        return &it->second;
    }
    Row* findRow(ControlState& c, int row) {
        if (row < 0 || row >= static_cast<int>(c.rows.size())) return nullptr;
        return &c.rows[static_cast<size_t>(row)];
    }
    void noteUnknown(const std::string& name, const char* op);
};

// Property access shared by every kind of control.
template <class T>
void ControlModel::writeField(const std::string& name, const char* op, T ControlState::*field,
                              const T& value) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(name, op);
        if (!c || c->*field == value) return;  // an unchanged value is not news to the view
        c->*field = value;
    }
    notify({Change::What::Property, name});
}

template <class T>
T ControlModel::readField(const std::string& name, T ControlState::*field, T fallback) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(name);
    return c ? c->*field : fallback;
}

}  // namespace mm::ui
