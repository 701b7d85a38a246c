#include "platform/ui/qt/menu_presenter.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "platform/ui/qt/skin.h"

namespace mm::ui::qt {

namespace {

constexpr const char* kTextColor = "mmTextColor";
constexpr const char* kDisabledColor = "mmDisabledTextColor";
constexpr int kIconBox = 36;

}  // namespace

// ---- SkinnedMenu

void SkinnedMenu::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillRect(rect(), Qt::white);
    p.setPen(skin::kBorder);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    for (QAction* a : actions()) {
        if (!a->isVisible()) continue;
        const QRect r = actionGeometry(a);
        if (a->isSeparator()) {
            p.setPen(skin::kBorder);
            p.drawLine(r.left() + 10, r.center().y(), r.right() - 10, r.center().y());
            continue;
        }
        const bool enabled = a->isEnabled();
        if (enabled && a == activeAction()) {
            QPainterPath hl;
            hl.addRoundedRect(QRectF(r.adjusted(4, 1, -4, -1)), 6, 6);
            p.fillPath(hl, skin::kSelection);
        }
        const QPixmap icon = a->icon().pixmap(QSize(kIconBox, 20));
        if (!icon.isNull()) {
            const QSize s = icon.deviceIndependentSize().toSize();
            if (!enabled) p.setOpacity(0.45);
            p.drawPixmap(r.left() + 12 + (kIconBox - s.width()) / 2, r.center().y() - s.height() / 2 + 1,
                         icon);
            p.setOpacity(1);
        }
        QColor color = enabled ? skin::kText : skin::kDisabledText;
        const uint own = a->property(enabled ? kTextColor : kDisabledColor).toUInt();
        if (own != 0) color = QColor::fromRgba(own);
        if (enabled && a == activeAction() && own == 0) color = skin::kAccent;
        p.setPen(color);
        const QRect textRect(r.left() + 12 + kIconBox + 8, r.top(), r.width() - kIconBox - 48, r.height());
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(a->text(), Qt::ElideRight, textRect.width()));
        if (a->menu()) {
            const QPointF c(r.right() - 14, r.center().y());
            p.setPen(QPen(enabled ? skin::kTextSecondary : skin::kDisabledText, 1.5));
            p.drawPolyline(QPolygonF({c + QPointF(-2.5, -4.5), c + QPointF(2, 0), c + QPointF(-2.5, 4.5)}));
        }
    }
}

void SkinnedMenu::mouseReleaseEvent(QMouseEvent* e) {
    QAction* a = actionAt(e->position().toPoint());
    // An item with a submenu is still a choice of its own when clicked.
    if (e->button() == Qt::LeftButton && a && a->menu() && a->isEnabled()) {
        a->menu()->hide();
        emit parentItemChosen(a);
        return;
    }
    QMenu::mouseReleaseEvent(e);
}

// ---- MenuPresenter

MenuPresenter::MenuPresenter(ControlModel& model, EventDispatcher& events, ImageCache& images, QWidget* owner)
    : QObject(owner), model_(model), events_(events), images_(images), owner_(owner) {}

MenuPresenter::~MenuPresenter() {
    for (auto& [name, menu] : open_) delete menu.data();
}

QMenu* MenuPresenter::openMenu(const std::string& menu) const {
    auto it = open_.find(menu);
    return it == open_.end() ? nullptr : it->second.data();
}

void MenuPresenter::onPopUpChanged(const std::string& menu) {
    const bool wanted = model_.isMenuPoppedUp(menu);
    QMenu* shown = openMenu(menu);
    if (wanted && !shown) {
        open(menu);
    } else if (!wanted && shown) {
        shown->close();
    }
}

void MenuPresenter::onItemsChanged(const std::string& menu) {
    auto it = actions_.find(menu);
    if (it == actions_.end()) return;
    for (auto& [id, action] : it->second) {
        if (!action) continue;
        if (auto item = model_.menuItem(menu, id)) applyItem(action, *item);
    }
}

void MenuPresenter::applyItem(QAction* a, const MenuItem& item) {
    a->setText(QString::fromStdString(item.text));
    a->setEnabled(!item.disabled);
    a->setProperty(kTextColor, item.textColor);
    a->setProperty(kDisabledColor, item.disabledTextColor);
    QPixmap icon = images_.named(item.icon);
    a->setIcon(icon.isNull() ? QIcon() : QIcon(ImageCache::fitted(icon, QSize(kIconBox, 20))));
}

void MenuPresenter::fill(const std::string& menu, QMenu* target, int parentId, QMenu* top) {
    const std::vector<MenuItem> items = model_.menuItems(menu);
    int width = 0;
    for (const MenuItem& item : items) {
        if (item.parentId != parentId) continue;
        width = std::max(width, item.width);
        const bool hasChildren =
            std::any_of(items.begin(), items.end(), [&](const MenuItem& i) { return i.parentId == item.id; });
        QAction* a = nullptr;
        if (hasChildren) {
            auto* sub = new SkinnedMenu(target);
            a = sub->menuAction();
            target->addAction(a);
            const int id = item.id;
            connect(sub, &QMenu::aboutToShow, this,
                    [this, menu, id, sub] { submenuAboutToShow(menu, id, sub); });
            connect(sub, &SkinnedMenu::parentItemChosen, top,
                    [top](QAction* chosen) { emit top->triggered(chosen); });
            fill(menu, sub, item.id, top);
        } else {
            a = target->addAction(QString());
        }
        a->setData(item.id);
        applyItem(a, item);
        actions_[menu][item.id] = a;
    }
    if (width > 0) target->setMinimumWidth(width + 40);
}

void MenuPresenter::submenuAboutToShow(const std::string& menu, int parentId, QMenu* sub) {
    // The program rewrites the submenu's entries in answer; run it now, on this
    // (the UI) thread, so the submenu opens with the new entries.
    Event e{menu, EventType::MenuAboutToShow, parentId, {}};
    if (events_.uiThread().isCurrent()) {
        events_.dispatch(e);
    } else {
        events_.fire(e);
    }
    for (QAction* a : sub->actions()) {
        const int id = a->data().toInt();
        if (auto item = model_.menuItem(menu, id)) applyItem(a, *item);
    }
}

void MenuPresenter::open(const std::string& menu) {
    auto* m = new SkinnedMenu(owner_);
    m->setAttribute(Qt::WA_DeleteOnClose);
    actions_[menu].clear();
    fill(menu, m, 0, m);
    open_[menu] = m;
    connect(m, &QMenu::triggered, this, [this, menu, m](QAction* a) {
        events_.fire(Event{menu, EventType::MenuChoice, a->data().toInt(), {}});
        m->close();
    });
    connect(m, &SkinnedMenu::parentItemChosen, m, [m](QAction* a) { emit m->triggered(a); });
    connect(m, &QMenu::aboutToHide, this, [this, menu, m] {
        auto it = open_.find(menu);
        if (it != open_.end() && it->second == m) {
            open_.erase(it);
            actions_.erase(menu);
        }
        m->deleteLater();
        model_.setMenuClosed(menu);
    });
    const QPoint at = anchor_.value_or(QCursor::pos());
    anchor_.reset();
    m->popup(at);
}

}  // namespace mm::ui::qt
