// The download history in the real Qt window (offscreen) over the running
// program: the listed history with every kind of status, the download list's
// menu with its new entries, the "已下载" mark on a result row, the question
// before a download again, and the new settings, saved as screenshots.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <cstdio>
#include <fstream>

#include "app/control_names.h"
#include "app/images.h"
#include "democatalogue/song_table.h"
#include "download/duplicates.h"
#include "download/list_commands.h"
#include "library/history_store.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/message_box.h"
#include "platform/ui/qt/skin.h"
#include "tests/download/download_flow_helpers.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {
namespace {

using democat::Tier;
using library::DownloadRecord;
using library::DownloadState;

QString ShotPath(const char* name) {
    QDir().mkpath(MM_SCREENSHOT_DIR);
    return QString(MM_SCREENSHOT_DIR) + "/history-" + name + ".png";
}

class HistoryWindowTest : public DownloadFlowTest {
protected:
    static void SetUpTestSuite() {
        if (qApp) return;
        static int argc = 1;
        static char name[] = "history_window_test";
        static char* argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        ui::qt::skin::Apply(*app);
    }

    void SetUp() override {
        ctx->dataDir = tempDir + "/data";
        view = std::make_unique<ui::qt::MainWindowView>(model, events);
        view->resize(1040, 680);
        // No dialog may stop the run: boxes are logged by the model and the
        // question's request kept, to be drawn by itself below.
        model.setMessageBoxPresenter([](const ui::MessageBoxRequest&) {});
        model.setQuestionPresenter([this](const ui::MessageBoxRequest& q) {
            std::lock_guard lk(questionMu);
            question = q;
            return q.defaultChoice;
        });
        view->show();
        ASSERT_TRUE(PumpUntil([&] { return view->isVisible(); }));
    }
    void TearDown() override { view.reset(); }

    // Window plus any open menu painted where it stands.
    void Save(const char* name, QMenu* menu = nullptr) {
        view->flushChanges();
        Pump(150);
        QPixmap shot = view->grab();
        if (menu && menu->isVisible()) {
            QPainter p(&shot);
            p.drawPixmap(view->mapFromGlobal(menu->pos()), menu->grab());
        }
        const QString path = ShotPath(name);
        ASSERT_TRUE(shot.save(path));
        ASSERT_FALSE(QImage(path).isNull());
        std::printf("screenshot: %s\n", qPrintable(path));
    }

    // An earlier run's history: one record of each kind.
    void WriteHistory() {
        auto store = library::HistoryStore::Start(library::HistoryStore::PathIn(tempDir + "/data"));
        const auto* morning = democat::FindSong(2);
        auto add = [&](const std::string& name, const std::string& album, int tier, DownloadState state,
                       const std::string& text, const std::string& icon, const std::string& path = {},
                       const std::string& mid = {}) {
            DownloadRecord r;
            r.id = store->NewId();
            r.rowText = name + "\r\n[" + album + "]";
            r.badge = app::TierBadge(tier);
            r.tier = tier;
            r.mid = mid;
            r.state = state;
            r.statusText = text;
            r.statusIcon = icon;
            r.path = path;
            store->Insert(r);
        };
        std::filesystem::create_directories(saveDir);
        const std::string kept = saveDir + "Morning Light - Nora Vale .mp3";
        std::ofstream(kept) << "ID3";
        add("Morning Light - Nora Vale ", "First Steps", 1, DownloadState::kDone, "下载完成", app::kImgStatusDone,
            kept, morning->Mid(Tier::kHigh));
        add("晴天里的风 - 林小雨 ", "夏日信笺", 2, DownloadState::kDone, "下载完成", app::kImgStatusDone,
            saveDir + "晴天里的风 - 林小雨 .flac");
        add("CAPS TYPE - Upper Case ", "Caps", 1, DownloadState::kFailed, "下载失败", app::kImgStatusFailed);
        add("Sixty Seconds - Timer ", "Clocks", 0, DownloadState::kCancelled, "", "");
        add("空地址 - 测试歌手 ", "测试", 2, DownloadState::kPaused, "", "");
        add("AC-DC- Live- - X ", "Rock Test", 1, DownloadState::kRunning, "正在下载", app::kImgStatusDownloading);
    }

    std::unique_ptr<ui::qt::MainWindowView> view;
    std::mutex questionMu;
    std::optional<ui::MessageBoxRequest> question;
};

TEST_F(HistoryWindowTest, HistoryMenuMarksQuestionAndSettings) {
    WriteHistory();
    StartProgram();
    auto* list = qobject_cast<QTableView*>(view->controlWidget(app::kDownloadList));
    ASSERT_TRUE(list);
    ASSERT_TRUE(PumpUntil([&] { return list->model()->rowCount() == 6; }));
    EXPECT_EQ(Column(app::kDownloadList, 1),
              (std::vector<std::string>{"已中断", "已暂停", "已取消", "下载失败", "文件已丢失", "下载完成"}));
    // The widget shows the statuses and their pictures.
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(list->model()->index(r, 1).data().toString().toStdString(), Status(r));
        EXPECT_FALSE(list->model()->index(r, 1).data(Qt::DecorationRole).value<QPixmap>().isNull()) << r;
    }

    // The download page with the menu of the failed row.
    model.setSelection(app::kTabs, 1);
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 3);
    ASSERT_TRUE(PumpUntil(
        [&] { return view->openMenu(app::kDownloadMenu) && view->openMenu(app::kDownloadMenu)->isVisible(); }));
    QMenu* menu = view->openMenu(app::kDownloadMenu);
    std::vector<std::string> texts;
    for (QAction* a : menu->actions()) {
        texts.push_back(a->text().toStdString());
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"播放", "打开目录", "重试", "全部重试", "暂停", "继续", "取消"}));
    auto enabled = [&](int id) {
        for (QAction* a : menu->actions()) {
            if (a->data().toInt() == id) return a->isEnabled();
        }
        return false;
    };
    EXPECT_TRUE(enabled(download::kMenuRetry));
    EXPECT_TRUE(enabled(download::kMenuRetryAll));
    EXPECT_FALSE(enabled(download::kMenuPause));
    EXPECT_FALSE(enabled(download::kMenuContinue));
    Save("1-download-menu", menu);
    menu->close();
    model.setMenuClosed(app::kDownloadMenu);

    // The result list with the mark.
    model.setSelection(app::kTabs, 0);
    Search("Morning");
    const int row = ResultRow("Morning Light");
    ASSERT_GE(row, 0);
    ASSERT_EQ(model.cellText(app::kResultList, row, download::kMarkColumn), download::kMarkDownloaded);
    auto* results = qobject_cast<QTableView*>(view->controlWidget(app::kResultList));
    ASSERT_TRUE(PumpUntil([&] {
        return results->model()->index(row, download::kMarkColumn).data().toString() == QStringLiteral("已下载");
    }));
    Save("2-marks");

    // Downloading it again asks; the question as the window shows it.
    QueueFromTierWindow(row, 1);
    ASSERT_TRUE(WaitIdle());
    std::optional<ui::MessageBoxRequest> q;
    {
        std::lock_guard lk(questionMu);
        q = question;
    }
    ASSERT_TRUE(q);
    ui::qt::MessageBoxDialog dialog(*q, view.get());
    dialog.show();
    Pump(100);
    std::vector<std::string> buttons;
    for (auto* b : dialog.findChildren<QPushButton*>()) buttons.push_back(b->text().toStdString());
    EXPECT_EQ(buttons, (std::vector<std::string>{"重新下载", "跳过"}));
    ASSERT_TRUE(dialog.grab().save(ShotPath("3-question")));
    std::printf("screenshot: %s\n", qPrintable(ShotPath("3-question")));
    dialog.close();

    // The new settings: simultaneous downloads, and skipping in the playlist panel.
    model.setSelection(app::kTabs, 2);
    auto* combo = qobject_cast<QComboBox*>(view->controlWidget(app::kParallelCombo));
    ASSERT_TRUE(combo);
    ASSERT_TRUE(PumpUntil([&] { return combo->count() == 10 && combo->currentText() == "10"; }));
    Save("4-settings");
    model.setSelection(app::kTabs, 0);
    Click(app::kImportQQ);
    ASSERT_TRUE(PumpUntil([&] {
        QWidget* panel = view->controlWidget(app::kPlaylistPanel);
        return panel && panel->isVisible();
    }));
    EXPECT_TRUE(view->controlWidget(app::kCheckSkipDownloaded)->isVisible());
    Save("5-playlist-panel");
}

}  // namespace
}  // namespace mm::test
