#include "platform/ui/qt/control_binder.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/picture_box.h"

namespace mm::ui::qt {

namespace {

// The program's texts use Windows line breaks; widgets use "\n".
QString toWidgetText(const std::string& s) {
    QString t = QString::fromStdString(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

std::string toModelText(const QString& s, bool multiline) {
    QString t = s;
    if (multiline) t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return t.toStdString();
}

class ApplyScope {
public:
    explicit ApplyScope(int& depth) : depth_(depth) { ++depth_; }
    ~ApplyScope() { --depth_; }
    ApplyScope(const ApplyScope&) = delete;
    ApplyScope& operator=(const ApplyScope&) = delete;

private:
    int& depth_;
};

}  // namespace

int VirtualKeyCode(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        default:
            return 0;
    }
}

ControlBinder::ControlBinder(ControlModel& model, EventDispatcher& events, ImageCache& images,
                             QObject* parent)
    : QObject(parent), model_(model), events_(events), images_(images) {}

void ControlBinder::fire(const std::string& control, EventType type, int arg, std::string text) {
    events_.fire(Event{control, type, arg, std::move(text)});
}

void ControlBinder::add(const std::string& name, QWidget* w, std::function<void()> apply,
                        bool followsVisibility) {
    entries_[name] = Entry{w, std::move(apply), followsVisibility, {}, w};
}

void ControlBinder::watchPointer(const std::string& name, QWidget* w) {
    names_[w] = name;
    w->installEventFilter(this);
}

QWidget* ControlBinder::widget(const std::string& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : it->second.widget;
}

ListBoxView* ControlBinder::list(const std::string& name) const {
    auto it = lists_.find(name);
    return it == lists_.end() ? nullptr : it->second;
}

std::vector<std::string> ControlBinder::boundNames() const {
    std::vector<std::string> out;
    for (const auto& [name, entry] : entries_) out.push_back(name);
    return out;
}

void ControlBinder::applyProperties(const std::string& name) {
    auto it = entries_.find(name);
    if (it == entries_.end() || !model_.exists(name)) return;
    ApplyScope scope(applying_);
    if (QWidget* w = it->second.widget; w && it->second.followsVisibility) {
        const bool visible = model_.visible(name);
        if (!visible && !w->isHidden() && it->second.beforeHide) it->second.beforeHide();
        if (w->isHidden() == visible) w->setVisible(visible);
        w->setEnabled(!model_.disabled(name));
    }
    // An empty hint leaves the one the view gave the widget.
    if (QWidget* t = it->second.tipTarget) {
        const QString tip = toWidgetText(model_.toolTip(name));
        if (!tip.isEmpty() && t->toolTip() != tip) t->setToolTip(tip);
    }
    if (it->second.apply) it->second.apply();
}

void ControlBinder::applyAll() {
    for (const auto& [name, combo] : combos_) rebuildCombo(name);
    for (const auto& [name, entry] : entries_) applyProperties(name);
}

// ---- texts, buttons and pictures

void ControlBinder::bindLabel(const std::string& name, QLabel* w) {
    add(name, w, [this, name, w] {
        const QString t = toWidgetText(model_.text(name));
        if (w->text() != t) w->setText(t);
    });
}

void ControlBinder::bindButton(const std::string& name, QPushButton* w) {
    add(name, w, [this, name, w] {
        const QString t = toWidgetText(model_.text(name));
        if (w->text() != t) w->setText(t);
        const std::string bytes = model_.picture(name);
        std::string& last = pictureBytes_[name];
        if (!bytes.empty() && bytes != last) {
            last = bytes;
            const QPixmap pm = ImageCache::fromBytes(bytes);
            w->setIcon(QIcon(pm));
            if (!pm.isNull()) w->setIconSize(pm.deviceIndependentSize().toSize());
        }
    });
    connect(w, &QPushButton::clicked, this, [this, name] { fire(name, EventType::Click); });
    watchPointer(name, w);
}

void ControlBinder::bindToolEntry(const std::string& name, QToolButton* w, int page) {
    toolEntries_.emplace_back(w, page);
    add(name, w, [this, name, w] {
        const QString t = toWidgetText(model_.text(name));
        if (w->text() != t) w->setText(t);
    });
    connect(w, &QToolButton::clicked, this, [this, name] { fire(name, EventType::Click); });
}

void ControlBinder::bindCheckBox(const std::string& name, QAbstractButton* w) {
    add(name, w, [this, name, w] {
        w->setText(toWidgetText(model_.text(name)));
        w->setChecked(model_.checked(name));
    });
    connect(w, &QAbstractButton::clicked, this, [this, name](bool on) {
        if (applying_) return;
        model_.setChecked(name, on);
        fire(name, EventType::Click);
    });
}

void ControlBinder::bindRadio(const std::string& name, QAbstractButton* w, int group) {
    // Exclusivity is kept in the model, so that the model can also hold "none checked".
    w->setAutoExclusive(false);
    radioGroups_[group].push_back(name);
    add(name, w, [this, name, w] {
        w->setText(toWidgetText(model_.text(name)));
        w->setChecked(model_.checked(name));
    });
    connect(w, &QAbstractButton::clicked, this, [this, name, group] {
        if (applying_) return;
        for (const std::string& other : radioGroups_[group]) model_.setChecked(other, other == name);
        fire(name, EventType::Click);
    });
}

void ControlBinder::bindPicture(const std::string& name, PictureBox* w) {
    add(name, w, [this, name, w] {
        w->setImageBytes(model_.picture(name));
        w->setAngle(model_.angle(name));
    });
    connect(w, &PictureBox::clicked, this, [this, name] { fire(name, EventType::Click); });
    connect(w, &PictureBox::entered, this, [this, name] { fire(name, EventType::MouseEnter); });
    connect(w, &PictureBox::left, this, [this, name] { fire(name, EventType::MouseLeave); });
}

// ---- edit boxes

void ControlBinder::bindLineEdit(const std::string& name, QLineEdit* w) {
    add(name, w, [this, name, w] {
        const QString t = toWidgetText(model_.text(name));
        if (w->text() != t) w->setText(t);
    });
    connect(w, &QLineEdit::textEdited, this, [this, name](const QString& t) {
        const std::string text = toModelText(t, false);
        model_.setText(name, text);
        fire(name, EventType::TextChanged, 0, text);
    });
    watchPointer(name, w);
}

void ControlBinder::bindTextEdit(const std::string& name, QPlainTextEdit* w) {
    add(name, w, [this, name, w] {
        const QString t = toWidgetText(model_.text(name));
        // A prompt the program writes stays readable as the placeholder once
        // gaining the focus has cleared the box.
        if (!t.isEmpty() && !w->hasFocus()) w->setPlaceholderText(t);
        if (w->toPlainText() != t) w->setPlainText(t);
    });
    connect(w, &QPlainTextEdit::textChanged, this, [this, name, w] {
        if (applying_) return;
        const std::string text = toModelText(w->toPlainText(), true);
        model_.setText(name, text);
        fire(name, EventType::TextChanged, 0, text);
    });
    watchPointer(name, w);
}

// ---- combo boxes and sliders

void ControlBinder::bindCombo(const std::string& name, QComboBox* w) {
    combos_[name] = w;
    add(name, w, [this, name, w] {
        w->setPlaceholderText(toWidgetText(model_.text(name)));
        const int sel = model_.selection(name);
        if (w->currentIndex() != sel) w->setCurrentIndex(sel < w->count() ? sel : -1);
    });
    connect(w, &QComboBox::activated, this, [this, name](int index) {
        model_.setSelection(name, index);
        fire(name, EventType::ComboChanged, index);
    });
    watchPointer(name, w);
}

void ControlBinder::rebuildCombo(const std::string& name) {
    auto it = combos_.find(name);
    if (it == combos_.end()) return;
    QComboBox* w = it->second;
    ApplyScope scope(applying_);
    w->clear();
    const int n = model_.comboCount(name);
    for (int i = 0; i < n; ++i) {
        const std::optional<ComboItem> item = model_.comboItem(name, i);
        if (!item) continue;
        const QPixmap icon = images_.named(item->icon);
        w->addItem(icon.isNull() ? QIcon() : QIcon(icon), QString::fromStdString(item->text), item->value);
        if (item->color != 0)
            w->setItemData(w->count() - 1, QColor::fromRgba(item->color), Qt::ForegroundRole);
    }
    const int sel = model_.selection(name);
    w->setCurrentIndex(sel < w->count() ? sel : -1);
}

void ControlBinder::bindSlider(const std::string& name, QSlider* w) {
    add(name, w, [this, name, w] {
        w->setMaximum(std::max(0, model_.maximum(name)));
        // The user's drag wins over the program's ticks until the slider is let go.
        if (!w->isSliderDown()) w->setValue(model_.position(name));
    });
    connect(w, &QSlider::valueChanged, this, [this, name](int v) {
        if (applying_) return;
        model_.setPosition(name, v);
        fire(name, EventType::SliderChanged, v);
    });
    // A slider that reports its value only when let go tells where the
    // handle is while it is dragged.
    if (!w->hasTracking()) {
        connect(w, &QSlider::sliderMoved, this, [this, name](int v) {
            if (!applying_) fire(name, EventType::SliderMoved, v);
        });
    }
}

// ---- pages, lists and panels

void ControlBinder::bindTabs(const std::string& name, QStackedWidget* w) {
    add(name, w, [this, name, w] {
        const int page = model_.selection(name);
        if (page >= 0 && page < w->count()) w->setCurrentIndex(page);
        for (auto& [entry, entryPage] : toolEntries_) {
            const bool current = entryPage == w->currentIndex();
            if (entry->property("current").toBool() == current) continue;
            entry->setProperty("current", current);
            entry->style()->unpolish(entry);
            entry->style()->polish(entry);
        }
    });
}

void ControlBinder::bindList(const std::string& name, ListBoxView* w) {
    lists_[name] = w;
    add(name, w, [this, name, w] {
        w->applyRowHeight(model_.rowHeight(name));
        w->selectModelRow(model_.selection(name));
    });
    // The rows have tool tips of their own: the list's hint is its header's.
    entries_[name].tipTarget = w->horizontalHeader();
    connect(w, &ListBoxView::rowRightClicked, this,
            [this, name](int row, QPoint) { fire(name, EventType::RowRightClick, row); });
    connect(w, &ListBoxView::rowDoubleClicked, this,
            [this, name](int row) { fire(name, EventType::RowDoubleClick, row); });
    connect(w, &ListBoxView::scrolledPastEnd, this, [this, name] { fire(name, EventType::ScrolledPastEnd); });
    connect(w, &ListBoxView::rowSelected, this, [this, name](int row) {
        if (!applying_) model_.setSelection(name, row);
    });
}

void ControlBinder::syncListRows(const std::string& name) {
    if (ListBoxView* w = list(name)) {
        ApplyScope scope(applying_);
        w->listModel()->syncColumns();
        w->listModel()->syncRows();
        w->applyRowHeight(model_.rowHeight(name));
        w->selectModelRow(model_.selection(name));
    }
}

void ControlBinder::syncListCell(const std::string& name, int row, int col) {
    if (ListBoxView* w = list(name)) w->listModel()->syncCell(row, col);
}

void ControlBinder::imageChanged(const std::string& name) {
    images_.invalidate(name);
    for (auto& [list, view] : lists_) view->listModel()->refreshIcons();
    for (auto& [combo, w] : combos_) rebuildCombo(combo);
}

void ControlBinder::bindWindow(const std::string& name, QWidget* w) {
    add(
        name, w,
        [this, name, w] {
            const QString title = toWidgetText(model_.text(name));
            if (!title.isEmpty() && w->windowTitle() != title) w->setWindowTitle(title);
        },
        false);
    entries_[name].tipTarget = nullptr;  // a hint over the whole window would cover every control's
}

void ControlBinder::bindPanel(const std::string& name, QWidget* w, std::function<void()> onShown,
                              std::function<void()> onHiding) {
    add(name, w, [w, onShown = std::move(onShown)] {
        if (w->isVisible()) {
            if (onShown) onShown();
            w->raise();
        }
    });
    entries_[name].beforeHide = std::move(onHiding);
    // A panel's hint is its close button's.
    entries_[name].tipTarget = w->findChild<QPushButton*>(QStringLiteral("closeButton"));
}

void ControlBinder::bindListNotice(const std::string& name, ListBoxView* list) {
    add(
        name, list,
        [this, name, list] {
            list->setNotice(model_.visible(name) ? toWidgetText(model_.text(name)) : QString());
        },
        false);
    entries_[name].tipTarget = nullptr;  // the list's own hint stays
}

// ---- raw events: keys, focus and the pointer

bool ControlBinder::eventFilter(QObject* obj, QEvent* e) {
    auto it = names_.find(obj);
    if (it == names_.end()) return false;
    const std::string& name = it->second;
    switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            std::vector<int>& keys = pressed_[obj];
            if (!k->isAutoRepeat() && std::find(keys.begin(), keys.end(), k->key()) == keys.end())
                keys.push_back(k->key());
            break;
        }
        case QEvent::KeyRelease: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->isAutoRepeat()) break;
            std::vector<int>& keys = pressed_[obj];
            auto at = std::find(keys.begin(), keys.end(), k->key());
            if (at == keys.end()) break;  // pressed elsewhere: not this control's key
            keys.erase(at);
            const int code = VirtualKeyCode(k->key());
            if (code != 0) fire(name, EventType::KeyUp, code);
            break;
        }
        case QEvent::FocusIn:
            fire(name, EventType::FocusIn);
            break;
        case QEvent::FocusOut:
            pressed_.erase(obj);
            fire(name, EventType::FocusOut);
            break;
        case QEvent::Enter:
            fire(name, EventType::MouseEnter);
            break;
        case QEvent::Leave:
            fire(name, EventType::MouseLeave);
            break;
        default:
            break;
    }
    return false;
}

}  // namespace mm::ui::qt
