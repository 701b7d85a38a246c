// Pictures of the window: the three pages, the tier panel, the playlist panel
// and an open menu, saved as PNG for a person to look at. Each is checked for
// what it must show: the controls of the page at their places, the selected
// row's highlight, the badges and status icons of the rows.
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <cstdio>

#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/skin.h"
#include "resources/resources.h"
#include "picture_checks.h"
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

    // Saves the picture and reads it back as a person would see it.
    QImage save(const QString& name) {
        pump(60);
        const QString path = screenshotPath(name);
        EXPECT_TRUE(SaveScreenshot(path, view.get()));
        QImage img(path);
        EXPECT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), view->size() * img.devicePixelRatio());
        std::printf("screenshot: %s\n", qPrintable(path));
        return img;
    }
    // The control is drawn at its place in the picture.
    void expectShown(const QImage& shot, const std::string& name) {
        EXPECT_GT(ShownShare(shot, view.get(), view->controlWidget(name)), 0.9) << name;
    }
    void expectHidden(const QImage& shot, const std::string& name) {
        EXPECT_LT(ShownShare(shot, view.get(), view->controlWidget(name)), 0.5) << name;
    }
    QRect cellIn(const QImage& shot, const std::string& list, int row, int column) {
        return CellIn(shot, view.get(), widget<ListBoxView>(list), row, column);
    }
    // The picture named by a cell's icon appears in that cell.
    void expectIconIn(const QImage& shot, const std::string& list, int row, int column, const std::string& icon) {
        EXPECT_TRUE(HasColour(shot, cellIn(shot, list, row, column), MainColour(mm::Resource(icon + ".png")), 10))
            << list << " row " << row << " column " << column << ": " << icon;
    }
};

TEST_F(ScreenshotsTest, SearchPage) {
    model.setSelection("列表框_搜索", 1);
    const QImage shot = save("1-search-page");
    expectShown(shot, "编辑框_搜索歌曲名");
    expectHidden(shot, "列表框_下载");
    // The selected row, and only it, has the selection's background.
    for (int row : {0, 1, 2}) {
        const QRect cell = cellIn(shot, "列表框_搜索", row, 0);
        const QColor left = PixelAt(shot, QPoint(cell.left() + 2, cell.center().y()));
        EXPECT_EQ(left == skin::kSelection, row == 1) << "row " << row << ": " << qPrintable(left.name());
    }
    const char* badges[] = {"badge_lossless", "badge_high", "badge_standard"};
    for (int row = 0; row < 6; ++row) expectIconIn(shot, "列表框_搜索", row, 1, badges[row % 3]);
}

TEST_F(ScreenshotsTest, SearchPageLoading) {
    model.deleteRow("列表框_搜索", -1);
    model.setVisible("图片框_加载动画", true);
    model.setVisible("标签EX4", true);
    const QImage shot = save("2-search-loading");
    EXPECT_TRUE(HasColour(shot, RectIn(shot, view.get(), view->controlWidget("图片框_加载动画")),
                          MainColour(mm::Resource("loading.png")), 10));
    EXPECT_EQ(widget<ListBoxView>("列表框_搜索")->model()->rowCount(), 0);
}

TEST_F(ScreenshotsTest, DownloadPage) {
    model.setSelection("选择夹EX1", 1);
    model.setVisible("图片框_加入下载列表动画", true);
    const QImage shot = save("3-download-page");
    expectHidden(shot, "编辑框_搜索歌曲名");
    const char* icons[] = {"status_done",   "status_downloading",  "status_downloading",   "status_failed",
                           "status_parse_failed", "status_done_nocover", "status_connect_failed"};
    for (int row = 0; row < 7; ++row) expectIconIn(shot, "列表框_下载", row, 1, icons[row]);
}

TEST_F(ScreenshotsTest, SettingsPage) {
    model.setSelection("选择夹EX1", 2);
    const QImage shot = save("4-settings-page");
    for (const char* c : {"标签_下载路径", "按钮EX1", "单选框_命名1", "选择框_嵌入封面"}) expectShown(shot, c);
    expectHidden(shot, "编辑框_搜索歌曲名");
}

TEST_F(ScreenshotsTest, TierPanel) {
    model.setText("标签_歌曲名", "晴天");
    model.setText("标签_艺术家", "周杰伦 ");
    model.setText("按钮_下载_标准音质", "标准音质 128K - 3.88MB");
    model.setText("按钮_下载_高品音质", "高品音质 320K - 9.7MB");
    model.setText("按钮_下载_无损音质", "无资源");
    model.setDisabled("按钮_下载_无损音质", true);
    model.setVisible("窗口_下载选择", true);
    const QImage shot = save("5-tier-panel");
    expectShown(shot, "窗口_下载选择");
}

TEST_F(ScreenshotsTest, PlaylistPanel) {
    model.setPicture("图片框_歌单类型图片", std::string(mm::Resource("logo_netease.png")));
    model.setText("编辑框_歌单_链接", "请输入网易分享的链接。");
    model.setVisible("窗口_歌单解析", true);
    const QImage shot = save("6-playlist-panel");
    expectShown(shot, "窗口_歌单解析");
    EXPECT_TRUE(HasColour(shot, RectIn(shot, view.get(), view->controlWidget("图片框_歌单类型图片")),
                          MainColour(mm::Resource("logo_netease.png")), 10));
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
    // The open menu is in the picture where it opened, and so are the first
    // entries of its submenu (the rest of which the menu may cover).
    const QImage img(path);
    EXPECT_GT(SameShare(img, view->mapFromGlobal(menu->pos()), menu->grab().toImage()), 0.9);
    QMenu* sub = menu->actions()[1]->menu();
    ASSERT_TRUE(sub->isVisible());
    const QRect first = sub->actionGeometry(sub->actions()[0]);
    EXPECT_GT(SameShare(img, view->mapFromGlobal(sub->pos()), sub->grab().toImage(),
                        QRect(first.topLeft(), QSize(first.width() / 2, first.height()))),
              0.9);
    std::printf("screenshot: %s\n", qPrintable(path));
}

}  // namespace
}  // namespace mm::ui::qt::test
