#include "platform/ui/qt/main_window_view.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QCloseEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <set>
#include <tuple>

#include "platform/ui/qt/control_binder.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/menu_presenter.h"
#include "platform/ui/qt/message_box.h"
#include "platform/ui/qt/picture_box.h"
#include "platform/ui/qt/probed_application.h"
#include "platform/ui/qt/skin.h"
#include "platform/ui/qt/tip_popup.h"

namespace mm::ui::qt {

namespace {
constexpr const char* kMainWindow = "窗口EX1";
constexpr int kFadeMs = 180;
// Closing never waits longer than this for the fade.
constexpr int kCloseLimitMs = 600;
}  // namespace

MainWindowView::MainWindowView(ControlModel& model, EventDispatcher& events, QWidget* parent)
    : QWidget(parent),
      model_(model),
      events_(events),
      images_(model),
      binder_(new ControlBinder(model, events, images_, this)),
      menus_(new MenuPresenter(model, events, images_, this)),
      boxes_(new MessageBoxHost(model, this)),
      tip_(new TipPopup(this)),
      poster_(this) {
    // The look is part of the view: apply it when the application has not.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) skin::EnsureApplied(*app);
    skin::ApplyTo(*this);
    current_ = this;
    setWindowTitle(QStringLiteral("MorvaneMusic"));
    buildLayout();
    binder_->bindWindow(kMainWindow, this);
    connect(binder_->list("列表框_搜索"), &ListBoxView::rowRightClicked, this,
            [this](int, QPoint at) { menus_->setAnchor(at); });
    connect(binder_->list("列表框_下载"), &ListBoxView::rowRightClicked, this,
            [this](int, QPoint at) { menus_->setAnchor(at); });
    qApp->installEventFilter(this);

    subscription_ = model_.subscribe([this](const Change& c) { onChange(c); });
    binder_->applyAll();
    for (const char* list : {"列表框_搜索", "列表框_下载"}) binder_->syncListRows(list);
    for (const auto& [name, interval] : model_.timers()) applyTimer(name);
    animationsSeen_ = model_.animations().size();
}

MainWindowView* MainWindowView::current_ = nullptr;

MainWindowView::~MainWindowView() {
    if (current_ == this) current_ = nullptr;
    qApp->removeEventFilter(this);
    // unsubscribe waits for deliveries in flight, so none reaches a dead view.
    model_.unsubscribe(subscription_);
    poster_.close();
}

QWidget* MainWindowView::controlWidget(const std::string& name) const {
    return binder_->widget(name);
}

QMenu* MainWindowView::openMenu(const std::string& menu) const {
    return menus_->openMenu(menu);
}

QWidget* MainWindowView::tipWidget() const {
    return tip_;
}

// ---- following the model

void MainWindowView::onChange(const Change& c) {
    std::lock_guard lk(inboxMu_);
    const bool first = inbox_.empty();
    inbox_.push_back(c);
    // One queued flush per batch: a burst of writes from workers costs one pass.
    if (first) poster_.post([this] { flushChanges(); });
}

void MainWindowView::flushChanges() {
    // The handlers' thread times this pass when the view runs on that thread,
    // as in the program's window. A view driven from another thread (a test's
    // headless UI thread) leaves that thread's probe alone: it is not shared.
    std::optional<StallProbe::Scope> timing;
    if (events_.uiThread().isCurrent()) {
        timing.emplace(events_.uiThread().stallProbe(), StallProbe::Kind::kQueuedCall, "apply model changes",
                       std::string_view{}, EventLoopLevel());
    }
    std::vector<Change> batch;
    {
        std::lock_guard lk(inboxMu_);
        batch.swap(inbox_);
    }
    if (batch.empty()) return;
    std::set<std::string> images, combos, rowLists, properties, menus;
    std::set<std::tuple<std::string, int, int>> cells;  // a busy row's many writes, applied once
    std::vector<std::string> popUps;
    bool tip = false, animation = false;
    for (const Change& c : batch) {
        switch (c.what) {
            case Change::What::Property:
                properties.insert(c.control);
                break;
            case Change::What::Rows:
                rowLists.insert(c.control);
                break;
            case Change::What::Cell:
                cells.emplace(c.control, c.row, c.col);
                break;
            case Change::What::Combo:
                combos.insert(c.control);
                break;
            case Change::What::Menu:
                menus.insert(c.control);
                break;
            case Change::What::MenuPopUp:
                if (popUps.empty() || popUps.back() != c.control) popUps.push_back(c.control);
                break;
            case Change::What::Tip:
                tip = true;
                break;
            case Change::What::Animation:
                animation = true;
                break;
            case Change::What::Image:
                images.insert(c.control);
                break;
        }
    }
    for (const std::string& name : images) binder_->imageChanged(name);
    for (const std::string& name : combos) binder_->rebuildCombo(name);
    for (const std::string& name : rowLists) binder_->syncListRows(name);
    for (const auto& [list, row, col] : cells) {
        if (!rowLists.count(list)) binder_->syncListCell(list, row, col);
    }
    for (const std::string& name : properties) {
        binder_->applyProperties(name);
        if (model_.kind(name) == Kind::Timer) applyTimer(name);
    }
    if (!properties.empty()) placeOverlays();
    for (const std::string& menu : menus) menus_->onItemsChanged(menu);
    for (const std::string& menu : popUps) menus_->onPopUpChanged(menu);
    if (tip) applyTip();
    if (animation) applyAnimations();
    applyPendingFocus();
}

void MainWindowView::applyTip() {
    const Tip t = model_.tip();
    if (!t.shown) {
        tip_->hide();
        return;
    }
    QString text = QString::fromStdString(t.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int displayMs =
        t.args.empty() ? 3000 : static_cast<int>(std::clamp<std::int64_t>(t.args[0], 0, 60000));
    tip_->showTip(text, images_.named(t.picture), displayMs, QCursor::pos());
}

void MainWindowView::applyTimer(const std::string& name) {
    const int interval = model_.interval(name);
    QTimer*& timer = timers_[name];
    if (!timer) {
        timer = new QTimer(this);
        // Ticks on time, so that how late one comes says how busy this thread was.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, name, timer] {
            auto& started = timerStarts_[name];
            const auto now = StallProbe::Clock::now();
            if (events_.uiThread().isCurrent()) {
                events_.uiThread().stallProbe().TimerFired(started + std::chrono::milliseconds(timer->interval()));
            }
            started = now;
            binder_->fire(name, EventType::TimerTick);
        });
    }
    if (interval <= 0) {
        timer->stop();
    } else if (!timer->isActive() || timer->interval() != interval) {
        timer->start(interval);
        timerStarts_[name] = StallProbe::Clock::now();
    }
}

// ---- window animations and closing

void MainWindowView::fade(double from, double to, int ms) {
    if (!fader_) fader_ = new QPropertyAnimation(this, "windowOpacity", this);
    fader_->stop();
    fader_->setStartValue(from);
    fader_->setEndValue(to);
    fader_->setDuration(ms);
    fader_->start();
}

void MainWindowView::showAnimated() {
    setWindowOpacity(0.0);
    show();
    fade(0.0, 1.0, kFadeMs);
}

void MainWindowView::applyAnimations() {
    const std::size_t n = model_.animations().size();
    const bool fresh = n > animationsSeen_;
    animationsSeen_ = n;
    // The closing fade is already running; an opening one only makes sense on screen.
    if (fresh && !closing_ && isVisible() && !(fader_ && fader_->state() == QAbstractAnimation::Running))
        fade(0.3, 1.0, kFadeMs);
}

void MainWindowView::closeEvent(QCloseEvent* e) {
    if (closeConfirmed_) {
        e->accept();
        return;
    }
    e->ignore();
    if (closing_) return;
    closing_ = true;
    binder_->fire(kMainWindow, EventType::WindowClose, 0);
    fade(windowOpacity(), 0.0, kFadeMs);
    connect(fader_, &QPropertyAnimation::finished, this, &MainWindowView::finishClose, Qt::UniqueConnection);
    QTimer::singleShot(kCloseLimitMs, this, &MainWindowView::finishClose);
}

void MainWindowView::finishClose() {
    if (closeConfirmed_) return;
    closeConfirmed_ = true;
    tip_->hide();
    close();
}

// ---- overlays and clicks outside the panels

bool MainWindowView::eventFilter(QObject* obj, QEvent* e) {
    if (e->type() == QEvent::KeyPress && obj->isWidgetType()) {
        if (handleShortcut(static_cast<QWidget*>(obj), static_cast<QKeyEvent*>(e))) return true;
    } else if (e->type() == QEvent::Show && obj->isWidgetType()) {
        for (auto& [name, panel] : panels_) {
            if (obj == panel) panelShown(panel);
        }
    }
    if ((obj == content_ || obj == searchList_) && e->type() == QEvent::Resize) {
        QTimer::singleShot(0, this, &MainWindowView::placeOverlays);
    } else if (e->type() == QEvent::MouseButtonPress && obj->isWidgetType()) {
        auto* target = static_cast<QWidget*>(obj);
        const auto* me = static_cast<QMouseEvent*>(e);
        // A press elsewhere in this window takes the activation from an open panel.
        if (target->window() == this) {
            for (auto& [name, panel] : panels_) {
                if (!panel->isVisible() || panel == target || panel->isAncestorOf(target)) continue;
                ulong& last = lastPress_[panel];
                if (last == me->timestamp()) continue;  // the same press seen again by a parent
                last = me->timestamp();
                binder_->fire(name, EventType::ActivationChanged, 0);
            }
        }
    }
    return QWidget::eventFilter(obj, e);
}

}  // namespace mm::ui::qt

namespace mm::ui::qt {

// ---- keyboard

namespace {

// Widgets that use the space bar themselves: text fields type it, buttons and
// clickable pictures are pressed with it, combo boxes open with it.
bool TakesSpace(const QWidget* w) {
    if (!w) return false;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
        qobject_cast<const QTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
        qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w))
        return true;
    const auto* picture = qobject_cast<const PictureBox*>(w);
    return picture && picture->focusPolicy() != Qt::NoFocus;
}

}  // namespace

bool MainWindowView::handleShortcut(QWidget* receiver, QKeyEvent* k) {
    if (receiver->window() != this) return false;  // message boxes, menus, dialogs keep their keys
    // A key travels up from the focus widget to its parents: answer it once, where it starts.
    QWidget* focus = QApplication::focusWidget();
    if (focus ? receiver != focus : receiver != this) return false;
    const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
    std::string keys;
    if (mods == Qt::ControlModifier) {
        switch (k->key()) {
            case Qt::Key_F: keys = "Ctrl+F"; break;
            case Qt::Key_D: keys = "Ctrl+D"; break;
            case Qt::Key_1: keys = "Ctrl+1"; break;
            case Qt::Key_2: keys = "Ctrl+2"; break;
            case Qt::Key_3: keys = "Ctrl+3"; break;
            default: break;
        }
    } else if (mods == Qt::NoModifier) {
        const bool panelOpen =
            std::any_of(panels_.begin(), panels_.end(), [](const auto& p) { return p.second->isVisible(); });
        if (k->key() == Qt::Key_Escape && panelOpen) keys = "Escape";
        if (k->key() == Qt::Key_Space && !TakesSpace(focus)) keys = "Space";
    }
    if (keys.empty()) return false;
    if (!k->isAutoRepeat()) {
        binder_->fire(kMainWindow, EventType::Shortcut, 0, keys);
        if (keys == "Ctrl+F") focusSoon(searchBox_);
    }
    return true;
}

void MainWindowView::focusSoon(QWidget* w) {
    if (!w || !w->isEnabled()) return;  // a busy search box is not waited for
    pendingFocus_ = w;
    applyPendingFocus();
}

void MainWindowView::applyPendingFocus() {
    QWidget* w = pendingFocus_;
    if (!w || !w->isVisible()) return;
    pendingFocus_ = nullptr;
    if (!w->isEnabled()) return;
    w->setFocus(Qt::ShortcutFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
}

void MainWindowView::panelShown(QWidget* panel) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !panel->isAncestorOf(focus)) returnFocus_[panel] = focus;
    // Once the same pass has enabled or disabled the panel's buttons.
    QTimer::singleShot(0, panel, [this, panel] {
        if (!panel->isVisible()) return;
        for (QWidget* target : panelFocus_[panel]) {
            if (target->isVisible() && target->isEnabled()) {
                target->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
    });
}

void MainWindowView::panelHiding(QWidget* panel) {
    QPointer<QWidget> back = returnFocus_[panel];
    returnFocus_.erase(panel);
    QWidget* focus = QApplication::focusWidget();
    // Someone clicked elsewhere to close it: the focus stays where the click put it.
    if (focus && !panel->isAncestorOf(focus)) return;
    QWidget* target = back;
    if (!target || !target->isVisible() || !target->isEnabled() || target->focusPolicy() == Qt::NoFocus)
        target = searchList_ && searchList_->isVisible() ? searchList_ : nullptr;
    if (target) target->setFocus(Qt::OtherFocusReason);
}

}  // namespace mm::ui::qt
