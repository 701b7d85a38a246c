#pragma once
// Binds widgets to the model's controls by name: applies the model's state to
// a widget (re-reading every property of the control) and turns the user's
// actions on it into events. Model writes made by the user (text typed, box
// ticked, slider moved) go into the model before the event is fired, so the
// handlers read the new state.
#include <QObject>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/qt/image_cache.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QStackedWidget;
class QToolButton;
class QWidget;

namespace mm::ui::qt {

class ListBoxView;
class PictureBox;

class ControlBinder : public QObject {
    Q_OBJECT
public:
    ControlBinder(ControlModel& model, EventDispatcher& events, ImageCache& images,
                  QObject* parent = nullptr);

    void bindLabel(const std::string& name, QLabel* w);
    void bindButton(const std::string& name, QPushButton* w);
    void bindToolEntry(const std::string& name, QToolButton* w, int page);
    void bindCheckBox(const std::string& name, QAbstractButton* w);
    // Radio buttons of one group: a click checks it and unchecks the others.
    void bindRadio(const std::string& name, QAbstractButton* w, int group);
    void bindLineEdit(const std::string& name, QLineEdit* w);
    void bindTextEdit(const std::string& name, QPlainTextEdit* w);
    void bindCombo(const std::string& name, QComboBox* w);
    void bindSlider(const std::string& name, QSlider* w);
    void bindPicture(const std::string& name, PictureBox* w);
    void bindTabs(const std::string& name, QStackedWidget* w);
    void bindList(const std::string& name, ListBoxView* w);
    // The top-level window: its title follows the control's text; showing and
    // closing it stay with the window's own code.
    void bindWindow(const std::string& name, QWidget* w);
    // A child panel: shown and hidden by the model; `onShown` places it,
    // `onHiding` runs just before the model hides it.
    void bindPanel(const std::string& name, QWidget* w, std::function<void()> onShown,
                   std::function<void()> onHiding = {});
    // A label whose text is drawn as a list's quiet line (ListBoxView::setNotice)
    // while the label is visible.
    void bindListNotice(const std::string& name, ListBoxView* list);

    // Re-reads every property of the control and applies it.
    void applyProperties(const std::string& name);
    void applyAll();
    void rebuildCombo(const std::string& name);
    void syncListRows(const std::string& name);
    void syncListCell(const std::string& name, int row, int col);
    // A named image was replaced: icons showing it are redrawn.
    void imageChanged(const std::string& name);

    QWidget* widget(const std::string& name) const;
    ListBoxView* list(const std::string& name) const;
    std::vector<std::string> boundNames() const;

    void fire(const std::string& control, EventType type, int arg = 0, std::string text = {});

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    struct Entry {
        QWidget* widget = nullptr;
        std::function<void()> apply;
        bool followsVisibility = true;
        std::function<void()> beforeHide;
        QWidget* tipTarget = nullptr;  // where the model's tool tip is shown; none = nowhere
    };
    void add(const std::string& name, QWidget* w, std::function<void()> apply, bool followsVisibility = true);
    void watchPointer(const std::string& name, QWidget* w);

    ControlModel& model_;
    EventDispatcher& events_;
    ImageCache& images_;
    std::map<std::string, Entry> entries_;
    std::map<QObject*, std::string> names_;  // widgets whose raw events are watched
    // Keys pressed while the widget had the focus and not yet released: a
    // release counts only after its own press (the Enter that closed a message
    // box is released over the search box).
    std::map<QObject*, std::vector<int>> pressed_;
    std::map<std::string, ListBoxView*> lists_;
    std::map<std::string, QComboBox*> combos_;
    std::map<int, std::vector<std::string>> radioGroups_;
    std::map<std::string, std::string> pictureBytes_;  // last picture applied to a button
    std::vector<std::pair<QToolButton*, int>> toolEntries_;
    int applying_ = 0;  // > 0 while model state is written into widgets
};

// Windows virtual-key code of a Qt key (13 for Enter); 0 when it has none.
int VirtualKeyCode(int qtKey);

}  // namespace mm::ui::qt
