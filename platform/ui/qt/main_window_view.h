#pragma once
// The main window: a view of the control model. It builds its widgets from the
// window's design (by control name), follows every change of the model on the
// GUI thread, and reports the user's actions as events.
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/qt/gui_poster.h"
#include "platform/ui/qt/image_cache.h"

class QKeyEvent;
class QMenu;
class QPropertyAnimation;
class QStackedWidget;
class QTimer;

namespace mm::ui::qt {

class ControlBinder;
class MenuPresenter;
class MessageBoxHost;
class TipPopup;

class MainWindowView : public QWidget {
    Q_OBJECT
public:
    // Construct on the GUI thread. Installs the message box presenter.
    MainWindowView(ControlModel& model, EventDispatcher& events, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // Shows the window with its opening fade.
    void showAnimated();
    // The widget bound to a control name (for tests and tools), or nullptr.
    QWidget* controlWidget(const std::string& name) const;
    QMenu* openMenu(const std::string& menu) const;
    QWidget* tipWidget() const;
    // Applies the model changes queued so far, now.
    void flushChanges();
    // The last main window created and still alive, or nullptr.
    static MainWindowView* current() { return current_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    void buildLayout();
    QWidget* buildSidebar();
    QWidget* buildSearchPage();
    QWidget* buildDownloadPage();
    QWidget* buildSettingsPage();
    QWidget* buildPlayerBar();
    void buildTierPanel();
    void buildPlaylistPanel();
    void placeOverlays();
    void centerPanel(QWidget* panel);

    // Keyboard: the window's shortcuts, and the focus moving with the panels.
    bool handleShortcut(QWidget* receiver, QKeyEvent* k);
    void panelShown(QWidget* panel);
    void panelHiding(QWidget* panel);
    // Focuses the widget now, or as soon as the page holding it is shown.
    void focusSoon(QWidget* w);
    void applyPendingFocus();

    void onChange(const Change& c);  // any thread
    void applyTip();
    void applyAnimations();
    void applyTimer(const std::string& name);
    void fade(double from, double to, int ms);
    void finishClose();

    ControlModel& model_;
    EventDispatcher& events_;
    ImageCache images_;
    ControlBinder* binder_;
    MenuPresenter* menus_;
    MessageBoxHost* boxes_;
    TipPopup* tip_;
    QWidget* content_ = nullptr;
    QWidget* searchList_ = nullptr;
    QWidget* loading_ = nullptr;
    QWidget* loadingText_ = nullptr;
    QWidget* addedBadge_ = nullptr;
    QWidget* searchBox_ = nullptr;
    std::vector<std::pair<std::string, QWidget*>> panels_;
    // Per panel: the widgets that take the focus when it opens, first usable
    // one first; and where the focus was before it opened.
    std::map<QWidget*, std::vector<QWidget*>> panelFocus_;
    std::map<QWidget*, QPointer<QWidget>> returnFocus_;
    QPointer<QWidget> pendingFocus_;
    std::map<std::string, QTimer*> timers_;
    std::map<std::string, StallProbe::Clock::time_point> timerStarts_;  // last tick (or start) of each
    std::map<QWidget*, ulong> lastPress_;
    QPropertyAnimation* fader_ = nullptr;
    std::size_t animationsSeen_ = 0;
    bool closing_ = false;
    bool closeConfirmed_ = false;

    std::mutex inboxMu_;
    std::vector<Change> inbox_;
    GuiPoster poster_;
    int subscription_ = 0;
    static MainWindowView* current_;
};

}  // namespace mm::ui::qt
