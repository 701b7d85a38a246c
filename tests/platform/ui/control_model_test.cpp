#include "platform/ui/control_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

namespace mm::ui {
namespace {

TEST(ControlModel, PropertiesOfDefinedControlsAndDefaultsOfUnknownOnes) {
    ControlModel m;
    m.define("标签_下载路径", Kind::Label, "当前下载路径：");
    m.define("播放栏_进度", Kind::Slider);
    EXPECT_EQ(m.text("标签_下载路径"), "当前下载路径：");
    EXPECT_TRUE(m.visible("标签_下载路径"));
    EXPECT_EQ(m.selection("播放栏_进度"), -1);

    m.setText("标签_下载路径", "/home/u/MorvaneMusic/");
    m.setMaximum("播放栏_进度", 5000);
    m.setPosition("播放栏_进度", 1200);
    m.setDisabled("播放栏_进度", true);
    EXPECT_EQ(m.text("标签_下载路径"), "/home/u/MorvaneMusic/");
    EXPECT_EQ(m.maximum("播放栏_进度"), 5000);
    EXPECT_EQ(m.position("播放栏_进度"), 1200);
    EXPECT_TRUE(m.disabled("播放栏_进度"));

    // A typo in a name must neither crash nor create a control.
    m.setText("标签_下载路经", "x");
    m.setText("标签_下载路经", "y");
    m.setVisible("nothing", true);
    EXPECT_FALSE(m.exists("标签_下载路经"));
    EXPECT_EQ(m.text("标签_下载路经"), "");
    EXPECT_FALSE(m.visible("nothing"));
    EXPECT_EQ(m.selection("nothing"), -1);
    EXPECT_EQ(m.position("nothing"), 0);
    auto unknown = m.unknownWrites();
    EXPECT_EQ(unknown["标签_下载路经"], 2);
    EXPECT_EQ(unknown["nothing"], 1);

    EXPECT_EQ(m.names(), (std::vector<std::string>{"标签_下载路径", "播放栏_进度"}));
    EXPECT_EQ(m.kind("播放栏_进度"), Kind::Slider);
    EXPECT_FALSE(m.kind("nothing").has_value());
}

TEST(ControlModel, ObserversHearChangesButNotRepeatedValues) {
    ControlModel m;
    m.define("a", Kind::EditBox);
    std::vector<Change> seen;
    int id = m.subscribe([&](const Change& c) { seen.push_back(c); });
    m.setText("a", "1");
    m.setText("a", "1");  // same value: nothing to redraw
    m.setChecked("a", true);
    m.setText("missing", "x");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].control, "a");
    EXPECT_EQ(seen[0].what, Change::What::Property);
    m.unsubscribe(id);
    m.setText("a", "2");
    EXPECT_EQ(seen.size(), 2u);
}

TEST(ControlModel, RowsInsertDeleteAndWritesToMissingRows) {
    ControlModel m;
    m.define("列表框_下载", Kind::ListBox);
    EXPECT_EQ(m.insertRow("列表框_下载", -1), 0);
    EXPECT_EQ(m.insertRow("列表框_下载", 99), 1);  // past the end appends
    EXPECT_TRUE(m.setCellText("列表框_下载", 0, 0, "first"));
    EXPECT_TRUE(m.setCellText("列表框_下载", 1, 0, "second"));
    EXPECT_EQ(m.insertRow("列表框_下载", 0), 0);  // before the first
    EXPECT_EQ(m.cellText("列表框_下载", 1, 0), "first");
    EXPECT_EQ(m.cellText("列表框_下载", 2, 0), "second");
    EXPECT_EQ(m.cellText("列表框_下载", 0, 0), "");

    EXPECT_TRUE(m.setCellIcon("列表框_下载", 2, 3, "下载完成"));
    EXPECT_EQ(m.cellIcon("列表框_下载", 2, 3), "下载完成");
    EXPECT_EQ(m.cellText("列表框_下载", 2, 3), "");
    EXPECT_EQ(m.rowProgress("列表框_下载", 2), -1);
    EXPECT_TRUE(m.setRowProgress("列表框_下载", 2, 140));
    EXPECT_EQ(m.rowProgress("列表框_下载", 2), 100);
    // A tip stays beside the cell's text and icon, and goes with an empty text.
    EXPECT_TRUE(m.setCellTip("列表框_下载", 2, 3, "磁盘已满"));
    EXPECT_EQ(m.cellTip("列表框_下载", 2, 3), "磁盘已满");
    EXPECT_EQ(m.cellIcon("列表框_下载", 2, 3), "下载完成");
    EXPECT_EQ(m.rowCells("列表框_下载", 2)[3].tip, "磁盘已满");
    EXPECT_TRUE(m.setCellTip("列表框_下载", 2, 3, ""));
    EXPECT_EQ(m.cellTip("列表框_下载", 2, 3), "");

    m.deleteRow("列表框_下载", 0);
    EXPECT_EQ(m.rowCount("列表框_下载"), 2);
    EXPECT_EQ(m.cellText("列表框_下载", 0, 0), "first");
    m.deleteRow("列表框_下载", 7);  // no such row: nothing happens
    EXPECT_EQ(m.rowCount("列表框_下载"), 2);

    // A worker finishing after the list was emptied must not resurrect rows.
    m.deleteRow("列表框_下载", -1);
    EXPECT_EQ(m.rowCount("列表框_下载"), 0);
    EXPECT_FALSE(m.setCellText("列表框_下载", 1, 0, "late"));
    EXPECT_FALSE(m.setCellIcon("列表框_下载", 0, 0, "x"));
    EXPECT_FALSE(m.setRowProgress("列表框_下载", 0, 50));
    EXPECT_FALSE(m.setCellTip("列表框_下载", 0, 1, "late"));
    EXPECT_EQ(m.rowCount("列表框_下载"), 0);

    m.insertRow("列表框_下载", -1);
    EXPECT_FALSE(m.setCellText("列表框_下载", 0, -1, "x"));
    EXPECT_FALSE(m.setCellText("列表框_下载", 0, 1 << 30, "x"));  // no huge allocation
    EXPECT_FALSE(m.setCellText("列表框_下载", -1, 0, "x"));
    EXPECT_EQ(m.insertRow("no list", 0), -1);
    EXPECT_EQ(m.rowCount("no list"), 0);
}

TEST(ControlModel, SelectionStaysWithItsRowAndGoesWithTheRows) {
    ControlModel m;
    m.define("列表框_搜索", Kind::ListBox);
    for (int i = 0; i < 5; ++i) m.insertRow("列表框_搜索", -1);
    m.setSelection("列表框_搜索", 2);
    m.insertRow("列表框_搜索", 0);  // a row before it
    EXPECT_EQ(m.selection("列表框_搜索"), 3);
    m.insertRow("列表框_搜索", -1);  // a row after it
    EXPECT_EQ(m.selection("列表框_搜索"), 3);
    m.deleteRow("列表框_搜索", 0);
    EXPECT_EQ(m.selection("列表框_搜索"), 2);
    m.deleteRow("列表框_搜索", 4);
    EXPECT_EQ(m.selection("列表框_搜索"), 2);
    m.deleteRow("列表框_搜索", 2);  // the selected row itself
    EXPECT_EQ(m.selection("列表框_搜索"), -1);
    m.setSelection("列表框_搜索", 1);
    // A list replaced by new rows starts without a selection.
    m.deleteRow("列表框_搜索", -1);
    for (int i = 0; i < 3; ++i) m.insertRow("列表框_搜索", -1);
    EXPECT_EQ(m.selection("列表框_搜索"), -1);
}

TEST(ControlModel, CellTipsLiveWithTheirRow) {
    ControlModel m;
    m.define("列表框_搜索", Kind::ListBox);
    std::vector<Change> seen;
    m.subscribe([&](const Change& c) { seen.push_back(c); });
    m.insertRow("列表框_搜索", -1);
    EXPECT_TRUE(m.setCellTip("列表框_搜索", 0, 3, "一个非常非常长的专辑名字"));
    EXPECT_EQ(m.cellTip("列表框_搜索", 0, 3), "一个非常非常长的专辑名字");
    EXPECT_EQ(m.cellText("列表框_搜索", 0, 3), "") << "the text is not touched";
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().what, Change::What::Cell);
    EXPECT_EQ(seen.back().col, 3);
    EXPECT_EQ(m.rowCells("列表框_搜索", 0).at(3).tip, "一个非常非常长的专辑名字");
    EXPECT_FALSE(m.setCellTip("列表框_搜索", 5, 0, "x")) << "no such row";
    m.insertRow("列表框_搜索", 0);
    EXPECT_EQ(m.cellTip("列表框_搜索", 1, 3), "一个非常非常长的专辑名字");
    EXPECT_EQ(m.cellTip("列表框_搜索", 0, 3), "");
}

TEST(ControlModel, CombosClearTheirSelection) {
    ControlModel m;
    m.define("组合框_音源选择", Kind::ComboBox, "音源");
    m.addComboItem("组合框_音源选择", {"qq", "QQ音乐", 0, 1});
    m.addComboItem("组合框_音源选择", {"wy", "网易云", 0, 2});
    m.setSelection("组合框_音源选择", 1);
    EXPECT_EQ(m.comboCount("组合框_音源选择"), 2);
    EXPECT_EQ(m.comboItem("组合框_音源选择", 1)->text, "网易云");
    EXPECT_FALSE(m.comboItem("组合框_音源选择", 2).has_value());
    EXPECT_FALSE(m.comboItem("组合框_音源选择", -1).has_value());
    m.clearCombo("组合框_音源选择");
    EXPECT_EQ(m.comboCount("组合框_音源选择"), 0);
    EXPECT_EQ(m.selection("组合框_音源选择"), -1);
}

MenuItem item(int id, int parent, const std::string& text) {
    MenuItem i;
    i.id = id;
    i.parentId = parent;
    i.text = text;
    return i;
}

std::vector<int> ids(const std::vector<MenuItem>& items, int parent) {
    std::vector<int> out;
    for (const MenuItem& i : items) {
        if (i.parentId == parent) out.push_back(i.id);
    }
    return out;
}

TEST(ControlModel, MenuItemsTakeTheirPositionAmongSiblings) {
    ControlModel m;
    m.defineMenu("track");
    m.insertMenuItem("track", 1, item(1, 0, "下载 - 单曲"));
    m.insertMenuItem("track", 2, item(7, 0, "搜索 - 更换音源 [New] "));
    m.insertMenuItem("track", 2, item(4, 0, "播放"));  // pushes 7 down
    m.insertMenuItem("track", 1, item(5001, 1, "标准音质"));
    m.insertMenuItem("track", 9, item(5003, 1, "无损音质"));
    m.insertMenuItem("track", 2, item(5002, 1, "高品音质"));
    m.insertMenuItem("track", 1, item(101, 7, "source 1"));
    m.insertMenuItem("track", 2, item(102, 7, "source 2"));
    m.insertMenuItem("track", 0, item(3, 0, "last"));

    auto items = m.menuItems("track");
    EXPECT_EQ(ids(items, 0), (std::vector<int>{1, 4, 7, 3}));
    EXPECT_EQ(ids(items, 1), (std::vector<int>{5001, 5002, 5003}));
    EXPECT_EQ(ids(items, 7), (std::vector<int>{101, 102}));

    m.setMenuItemDisabled("track", 5002, true);
    m.setMenuItemText("track", 5002, "无资源");
    m.setMenuItemColors("track", 102, 0, 0xFF808080);
    EXPECT_TRUE(m.menuItem("track", 5002)->disabled);
    EXPECT_EQ(m.menuItem("track", 5002)->text, "无资源");
    EXPECT_EQ(m.menuItem("track", 102)->disabledTextColor, 0xFF808080u);
    EXPECT_FALSE(m.menuItem("track", 9999).has_value());

    // Re-inserting an id replaces the old item instead of duplicating it.
    m.insertMenuItem("track", 1, item(102, 7, "source 2 again"));
    EXPECT_EQ(ids(m.menuItems("track"), 7), (std::vector<int>{102, 101}));

    EXPECT_FALSE(m.isMenuPoppedUp("track"));
    m.popUpMenu("track");
    EXPECT_TRUE(m.isMenuPoppedUp("track"));
    m.closeMenu("track");
    EXPECT_FALSE(m.isMenuPoppedUp("track"));
    m.popUpMenu("track");
    m.setMenuClosed("track");
    EXPECT_FALSE(m.isMenuPoppedUp("track"));

    m.insertMenuItem("undefined", 1, item(1, 0, ""));
    m.popUpMenu("undefined");
    EXPECT_TRUE(m.menuItems("undefined").empty());
    EXPECT_FALSE(m.isMenuPoppedUp("undefined"));
}

TEST(ControlModel, ObserverMayReadAndWriteTheModelWithoutDeadlock) {
    ControlModel m;
    m.define("a", Kind::Label);
    m.define("b", Kind::Label);
    std::vector<std::string> seen;
    m.subscribe([&](const Change& c) {
        seen.push_back(c.control + "=" + m.text(c.control));
        if (c.control == "a") m.setText("b", "from observer");
    });
    m.setText("a", "1");
    EXPECT_EQ(seen, (std::vector<std::string>{"a=1", "b=from observer"}));
}

TEST(ControlModel, UnsubscribeWaitsForADeliveryInFlight) {
    ControlModel m;
    m.define("a", Kind::Label);
    std::mutex mu;
    std::condition_variable cv;
    bool inside = false, release = false;
    std::atomic<bool> finished{false};
    int id = m.subscribe([&](const Change&) {
        std::unique_lock lk(mu);
        inside = true;
        cv.notify_all();
        cv.wait(lk, [&] { return release; });
        finished = true;
    });
    std::thread writer([&] { m.setText("a", "x"); });
    {
        std::unique_lock lk(mu);
        cv.wait(lk, [&] { return inside; });
    }
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lk(mu);
        release = true;
        cv.notify_all();
    });
    m.unsubscribe(id);
    // Once unsubscribe returns, the observer's captures may be gone.
    EXPECT_TRUE(finished.load());
    writer.join();
    releaser.join();
}

TEST(ControlModel, ObserverMayUnsubscribeItself) {
    ControlModel m;
    m.define("a", Kind::Label);
    int calls = 0;
    int id = 0;
    id = m.subscribe([&](const Change&) {
        ++calls;
        m.unsubscribe(id);
    });
    m.setText("a", "1");
    m.setText("a", "2");
    EXPECT_EQ(calls, 1);
}

TEST(ControlModel, ImagesTipsAndAnimations) {
    ControlModel m;
    m.registerImage("下载完成", std::string("\x89PNG\0\1", 6));
    EXPECT_EQ(m.image("下载完成").size(), 6u);
    EXPECT_EQ(m.imageNames(), std::vector<std::string>{"下载完成"});
    m.destroyImage("下载完成");
    EXPECT_EQ(m.image("下载完成"), "");
    EXPECT_TRUE(m.imageNames().empty());

    m.showTip("下拉选择更多音源哦！", "", {3000, 10, 0xFFFFFFFF});
    EXPECT_TRUE(m.tip().shown);
    EXPECT_EQ(m.tip().args.size(), 3u);
    m.closeTip();
    EXPECT_FALSE(m.tip().shown);

    m.playWindowAnimation("窗口EX1", {1000, -14, 34, -300, 70, 1, 1, 0});
    ASSERT_EQ(m.animations().size(), 1u);
    EXPECT_EQ(m.animations()[0].second[1], -14);
}

}  // namespace
}  // namespace mm::ui
