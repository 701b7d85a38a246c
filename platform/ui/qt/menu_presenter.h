#pragma once
// The model's menus as pop-up menus: built from the menu's items when the
// program pops one up, kept in step while open, and reporting choices, the
// opening of submenus and their own closing back to the model.
#include <QMenu>
#include <QPointer>
#include <map>
#include <optional>
#include <string>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/qt/image_cache.h"

namespace mm::ui::qt {

// A QMenu drawn by hand so that items can carry their own text colours and
// wide badge icons; clicking an item that has a submenu chooses that item too.
class SkinnedMenu : public QMenu {
    Q_OBJECT
public:
    using QMenu::QMenu;

signals:
    void parentItemChosen(QAction* action);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class MenuPresenter : public QObject {
    Q_OBJECT
public:
    MenuPresenter(ControlModel& model, EventDispatcher& events, ImageCache& images, QWidget* owner);
    ~MenuPresenter() override;

    // The model popped a menu up or closed it.
    void onPopUpChanged(const std::string& menu);
    // The model's items of a menu changed.
    void onItemsChanged(const std::string& menu);
    // Where the next menu opens (the last right-click); otherwise at the cursor.
    void setAnchor(QPoint globalPos) { anchor_ = globalPos; }

    // The open menu of that name, or nullptr.
    QMenu* openMenu(const std::string& menu) const;

private:
    void open(const std::string& menu);
    void fill(const std::string& menu, QMenu* target, int parentId, QMenu* top);
    void applyItem(QAction* a, const MenuItem& item);
    void submenuAboutToShow(const std::string& menu, int parentId, QMenu* sub);

    ControlModel& model_;
    EventDispatcher& events_;
    ImageCache& images_;
    QWidget* owner_;
    std::map<std::string, QPointer<SkinnedMenu>> open_;
    std::map<std::string, std::map<int, QPointer<QAction>>> actions_;
    std::optional<QPoint> anchor_;
};

}  // namespace mm::ui::qt
