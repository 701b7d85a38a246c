#include "view_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <thread>

#include "app/controls.h"
#include "platform/ui/qt/skin.h"
#include "resources/resources.h"

namespace mm::ui::qt::test {

void ViewFixture::SetUpTestSuite() {
    if (qApp) return;
    static int argc = 1;
    static char name[] = "qtview_test";
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);
    skin::Apply(*app);
}

void ViewFixture::SetUp() {
    ui = std::make_unique<QtUiThread>();
    events = std::make_unique<EventDispatcher>(*ui);
    mm::app::DefineMainWindowControls(model);
    for (std::string_view file : mm::ResourceNames()) {
        std::string name(file.substr(0, file.size() - 4));  // without ".png"
        model.registerImage(name, std::string(mm::Resource(file)));
    }
    view = std::make_unique<MainWindowView>(model, *events);
    view->show();
    ASSERT_TRUE(waitUntil([&] { return view->isVisible(); }));
    pump(20);
}

void ViewFixture::TearDown() {
    view.reset();
    events.reset();
    ui.reset();
}

bool ViewFixture::waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void ViewFixture::pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

void ViewFixture::record(const std::string& control, EventType type) {
    events->on(control, type, [this](const Event& e) { log.push_back(e); });
}

std::vector<Event> ViewFixture::recorded(const std::string& control, EventType type) const {
    std::vector<Event> out;
    for (const Event& e : log) {
        if (e.control == control && e.type == type) out.push_back(e);
    }
    return out;
}

void ViewFixture::fromWorker(const std::function<void()>& fn) {
    std::thread worker(fn);
    worker.join();
}

void ViewFixture::fillSearchRows(int n) {
    const char* titles[] = {"晴天", "Yellow", "稻香", "夜曲", "Shape of You", "告白气球", "七里香", "Numb"};
    const char* singers[] = {"周杰伦 ",     "Coldplay ", "周杰伦 ", "周杰伦 ",
                             "Ed Sheeran ", "周杰伦 ",   "周杰伦 ", "Linkin Park "};
    const char* albums[] = {"叶惠美",     "Parachutes",       "魔杰座", "十一月的萧邦",
                            "÷ (Deluxe)", "周杰伦的床边故事", "七里香", "Meteora"};
    const char* badges[] = {"badge_lossless", "badge_high", "badge_standard"};
    const std::string list = "列表框_搜索";
    for (int i = 0; i < n; ++i) {
        const int r = model.insertRow(list, -1);
        const std::string number = (i + 1 <= 9 ? "0" : "") + std::to_string(i + 1);
        model.setCellText(list, r, 0, number);
        model.setCellText(list, r, 1, titles[i % 8]);
        model.setCellIcon(list, r, 1, badges[i % 3]);
        model.setCellText(list, r, 2, singers[i % 8]);
        model.setCellText(list, r, 3, albums[i % 8]);
        model.setCellText(list, r, 4,
                          "0" + std::to_string(3 + i % 3) + ":" + std::to_string(10 + i * 7 % 50));
    }
}

void ViewFixture::fillDownloadRows() {
    const std::string list = "列表框_下载";
    const struct {
        const char* name;
        const char* badge;
        const char* status;
        const char* icon;
        int progress;
    } rows[] = {
        {"晴天 - 周杰伦 \r\n[叶惠美]", "badge_lossless", "下载完成", "status_done", -1},
        {"Yellow - Coldplay \r\n[Parachutes]", "badge_high", "正在下载", "status_downloading", 42},
        {"稻香 - 周杰伦 \r\n[魔杰座]", "badge_standard", "正在下载", "status_downloading", 7},
        {"夜曲 - 周杰伦 \r\n[十一月的萧邦]", "badge_high", "下载失败", "status_failed", -1},
        {"Numb - Linkin Park \r\n[Meteora]", "badge_standard", "解析失败", "status_parse_failed", -1},
        {"七里香 - 周杰伦 \r\n[七里香]", "badge_lossless", "完成,写入封面失败.", "status_done_nocover", -1},
        {"告白气球 - 周杰伦 \r\n[周杰伦的床边故事]", "badge_standard", "连接失败", "status_connect_failed",
         -1},
    };
    for (const auto& row : rows) {
        const int r = model.insertRow(list, -1);
        model.setCellText(list, r, 0, row.name);
        model.setCellIcon(list, r, 0, row.badge);
        model.setCellText(list, r, 1, row.status);
        model.setCellIcon(list, r, 1, row.icon);
        model.setRowProgress(list, r, row.progress);
    }
    model.setText("标签_下载列表歌曲", "7");
}

void ViewFixture::defineTrackMenu() {
    const std::string m = "track_menu";
    model.defineMenu(m);
    auto item = [&](int pos, int id, int parent, const char* icon, const char* text, int w,
                    bool disabled = false, std::uint32_t color = 0, std::uint32_t disabledColor = 0) {
        model.insertMenuItem(m, pos, MenuItem{id, parent, icon, text, w, 40, disabled, color, disabledColor});
    };
    item(1, 6, 0, "menu_preview", "试听", 140);
    item(2, 1, 0, "menu_download", "下载 - 单曲", 140);
    item(1, 5001, 1, "badge_standard", "标准音质", 80, false, 0, 0xFF808080);
    item(2, 5002, 1, "badge_high", "高品音质", 80, false, 0, 0xFF808080);
    item(3, 5003, 1, "badge_lossless", "无损音质", 80, false, 0, 0xFF808080);
    item(3, 2, 0, "menu_download_all", "下载 - 歌单全部歌曲", 140, true, 0, 0xFF808080);
    item(4, 7, 0, "menu_source", "搜索 - 更换音源 [New] ", 140, false, 0xFFFF0000);
    item(1, 101, 7, "logo_qq", "QQ音乐", 140);
    item(2, 102, 7, "logo_netease", "网易云音乐", 140);
    item(5, 3, 0, "menu_search_song", "搜索 - 歌曲", 140);
    item(6, 4, 0, "menu_search_singer", "搜索 - 歌手", 140);
    item(7, 5, 0, "menu_search_album", "搜索 - 专辑", 140);
}

QString ViewFixture::screenshotPath(const QString& name) {
    QDir().mkpath(MM_SCREENSHOT_DIR);
    return QStringLiteral(MM_SCREENSHOT_DIR) + "/" + name + ".png";
}

}  // namespace mm::ui::qt::test
