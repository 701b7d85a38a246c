// Pictures of the window: the three pages, the tier panel, the playlist panel
// and an open menu, saved as PNG for a person to look at. Each must be a real
// picture of the window at its size.
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <cstdio>

#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/run_window.h"
#include "resources/resources.h"
#include "view_fixture.h"

namespace mm::ui::qt::test {
namespace {

class ScreenshotsTest : public ViewFixture {
  protected:
    void SetUp() override {
        ViewFixture::SetUp();
        view->resize(1040, 680);
        model.addComboItem("组合框_音源选择", ComboItem{"logo_qq", "QQ音乐", 0xFF9FA4B4, 20});
        model.addComboItem("组合框_音源选择", ComboItem{"logo_netease", "网易云音乐", 0xFF9FA4B4, 20});
        model.setSelection("组合框_音源选择", 0);
        for (const char* p : {"图片框_企鹅", "图片框_网易", "图片框_酷我", "图片框_酷狗"})
            model.setVisible(p, true);
        model.setText("编辑框_搜索歌曲名", "周杰伦");
        model.setText("标签_下载路径", "/home/user/MorvaneMusic/");
        model.setText("播放栏_歌曲名", "晴天 - 周杰伦");
        model.setText("播放栏_最长时间", "03:27");
        model.setMaximum("播放栏_进度", 1000);
        model.setPosition("播放栏_进度", 380);
        model.setPosition("播放栏_音乐音量", 70);
        model.setPicture("播放栏_播放", std::string(mm::Resource("pause.png")));
        for (const char* b : {"播放栏_品质_标准", "播放栏_品质_高品", "播放栏_品质_无损", "播放栏_下载"})
            model.setVisible(b, true);
        model.setAngle("图片框_音乐封面", 25);
        fillSearchRows(14);
        fillDownloadRows();
        ASSERT_TRUE(waitUntil([&] { return widget<ListBoxView>("列表框_下载")->model()->rowCount() == 7; }));
        pump(50);
    }

    void save(const QString& name) {
        pump(60);
        const QString path = screenshotPath(name);
        ASSERT_TRUE(SaveScreenshot(path, view.get()));
        const QImage img(path);
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), view->size() * img.devicePixelRatio());
        std::printf("screenshot: %s\n", qPrintable(path));
    }
};

TEST_F(ScreenshotsTest, SearchPage) {
    model.setSelection("列表框_搜索", 1);
    save("1-search-page");
}

TEST_F(ScreenshotsTest, SearchPageLoading) {
    model.deleteRow("列表框_搜索", -1);
    model.setVisible("图片框_加载动画", true);
    model.setVisible("标签EX4", true);
    save("2-search-loading");
}

TEST_F(ScreenshotsTest, DownloadPage) {
    model.setSelection("选择夹EX1", 1);
    model.setVisible("图片框_加入下载列表动画", true);
    save("3-download-page");
}

TEST_F(ScreenshotsTest, SettingsPage) {
    model.setSelection("选择夹EX1", 2);
    save("4-settings-page");
}

TEST_F(ScreenshotsTest, TierPanel) {
    model.setText("标签_歌曲名", "晴天");
    model.setText("标签_艺术家", "周杰伦 ");
    model.setText("按钮_下载_标准音质", "标准音质 128K - 3.88MB");
    model.setText("按钮_下载_高品音质", "高品音质 320K - 9.7MB");
    model.setText("按钮_下载_无损音质", "无资源");
    model.setDisabled("按钮_下载_无损音质", true);
    model.setVisible("窗口_下载选择", true);
    save("5-tier-panel");
}

TEST_F(ScreenshotsTest, PlaylistPanel) {
    model.setPicture("图片框_歌单类型图片", std::string(mm::Resource("logo_netease.png")));
    model.setText("编辑框_歌单_链接", "请输入网易分享的链接。");
    model.setVisible("窗口_歌单解析", true);
    save("6-playlist-panel");
}

TEST_F(ScreenshotsTest, TrackMenuOpen) {
    defineTrackMenu();
    auto* list = widget<ListBoxView>("列表框_搜索");
    const QPoint at = list->viewport()->mapToGlobal(list->visualRect(list->model()->index(2, 1)).center());
    record("列表框_搜索", EventType::RowRightClick);
    events->on("列表框_搜索", EventType::RowRightClick, [&](const Event&) { model.popUpMenu("track_menu"); });
    QContextMenuEvent e(QContextMenuEvent::Mouse, list->viewport()->mapFromGlobal(at), at);
    QCoreApplication::sendEvent(list->viewport(), &e);
    ASSERT_TRUE(
        waitUntil([&] { return view->openMenu("track_menu") && view->openMenu("track_menu")->isVisible(); }));
    QMenu* menu = view->openMenu("track_menu");
    // The menu opens where the row was clicked.
    EXPECT_LT((menu->pos() - at).manhattanLength(), 40);
    for (QAction* a : menu->actions()) {
        if (a->data().toInt() == 1) {
            menu->setActiveAction(a);
            a->menu()->popup(menu->pos() + menu->actionGeometry(a).topRight());
        }
    }
    pump(120);
    // Menus are windows of their own: paint them onto the window's picture.
    QPixmap shot = view->grab();
    QPainter p(&shot);
    for (QMenu* m : {menu, menu->actions()[1]->menu()}) {
        if (m->isVisible()) p.drawPixmap(view->mapFromGlobal(m->pos()), m->grab());
    }
    p.end();
    const QString path = screenshotPath("7-track-menu");
    ASSERT_TRUE(shot.save(path));
    std::printf("screenshot: %s\n", qPrintable(path));
}

}  // namespace
}  // namespace mm::ui::qt::test
