// The real window over the running program: a search of the demo catalogue,
// the track menu with its tier submenu, and the tier panel, saved as PNG and
// checked for what they must show.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QThread>
#include <cstdio>

#include "app/control_names.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/skin.h"
#include "search/track_menu.h"
#include "tests/flow/qt_pump.h"
#include "tests/platform/ui/qt/picture_checks.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using ui::EventType;

QString ShotPath(const char* name) {
    QDir().mkpath(MM_SCREENSHOT_DIR);
    return QString(MM_SCREENSHOT_DIR) + "/search-" + name + ".png";
}

class SearchScreenshots : public SearchFlow {
  protected:
    static void SetUpTestSuite() {
        if (qApp) return;
        static int argc = 1;
        static char name[] = "search_screenshots";
        static char* argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        ui::qt::skin::Apply(*app);
    }
    void SetUp() override {
        view = std::make_unique<ui::qt::MainWindowView>(model, events);
        view->resize(1040, 680);
        view->show();
        ASSERT_TRUE(PumpUntil([&] { return view->isVisible(); }));
    }
    void TearDown() override { view.reset(); }

    // Window plus any open menus painted where they stand; the saved picture.
    QImage Save(const char* name, const std::vector<QMenu*>& menus = {}) {
        view->flushChanges();
        Pump(100);
        QPixmap shot = view->grab();
        QPainter p(&shot);
        for (QMenu* m : menus) {
            if (m && m->isVisible()) p.drawPixmap(view->mapFromGlobal(m->pos()), m->grab());
        }
        p.end();
        const QString path = ShotPath(name);
        EXPECT_TRUE(shot.save(path));
        QImage img(path);
        EXPECT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), view->size() * img.devicePixelRatio());
        std::printf("screenshot: %s\n", qPrintable(path));
        return img;
    }
    // The part of the picture where a widget lies shows that widget.
    void ExpectShown(const QImage& shot, QWidget* w, const char* what) {
        EXPECT_GT(ui::qt::test::ShownShare(shot, view.get(), w), 0.9) << what;
    }

    std::unique_ptr<ui::qt::MainWindowView> view;
};

TEST_F(SearchScreenshots, ResultsTrackMenuAndTierPanel) {
    StartProgram();
    Search("demo");
    ASSERT_EQ(model.rowCount(app::kResultList), 20);
    const QImage results = Save("1-results");
    // Each visible row's title cell shows the badge of its best tier.
    auto* list = qobject_cast<QAbstractItemView*>(view->controlWidget(app::kResultList));
    ASSERT_NE(list, nullptr);
    int badges = 0;
    for (int row = 0; row < 6; ++row) {
        const std::string icon = model.cellIcon(app::kResultList, row, 1);
        if (icon.empty()) continue;
        const QRect cell = ui::qt::test::CellIn(results, view.get(), list, row, 1);
        EXPECT_TRUE(ui::qt::test::HasColour(results, cell, ui::qt::test::MainColour(model.image(icon)), 10))
            << "row " << row << ": " << icon;
        ++badges;
    }
    EXPECT_GT(badges, 0);

    Fire(app::kResultList, EventType::RowRightClick, 2);
    Fire(app::kTrackMenu, EventType::MenuAboutToShow, search::kMenuDownloadOne);
    ASSERT_TRUE(PumpUntil(
        [&] { return view->openMenu(app::kTrackMenu) && view->openMenu(app::kTrackMenu)->isVisible(); }));
    QMenu* menu = view->openMenu(app::kTrackMenu);
    QMenu* tiers = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->menu() && a->data().toInt() == search::kMenuDownloadOne) {
            tiers = a->menu();
            menu->setActiveAction(a);
            tiers->popup(menu->pos() + menu->actionGeometry(a).topRight());
        }
    }
    Pump(150);
    // Song 3 has no lossless tier: the submenu says so.
    EXPECT_EQ(model.menuItem(app::kTrackMenu, search::kMenuTierLossless)->text, "无资源");
    const QImage menus = Save("2-track-menu", {menu, tiers});
    // The menu where it opened, and the first entries of its tier submenu.
    ASSERT_TRUE(tiers && tiers->isVisible());
    EXPECT_GT(ui::qt::test::SameShare(menus, view->mapFromGlobal(menu->pos()), menu->grab().toImage()), 0.9);
    const QRect first = tiers->actionGeometry(tiers->actions()[0]);
    EXPECT_GT(ui::qt::test::SameShare(menus, view->mapFromGlobal(tiers->pos()), tiers->grab().toImage(),
                                      QRect(first.topLeft(), QSize(first.width() / 2, first.height()))),
              0.9);
    menu->close();
    model.setMenuClosed(app::kTrackMenu);

    Menu(app::kTrackMenu, search::kMenuDownloadOne);
    ASSERT_TRUE(model.visible(app::kTierPanel));
    ASSERT_TRUE(PumpUntil([&] {
        QWidget* panel = view->controlWidget(app::kTierPanel);
        return panel && panel->isVisible();
    }));
    const QImage panel = Save("3-tier-panel");
    ExpectShown(panel, view->controlWidget(app::kTierPanel), "tier panel");
}

}  // namespace
}  // namespace mm::test
