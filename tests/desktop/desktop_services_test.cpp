// The program's desktop services on a private session bus (run under
// dbus-run-session): playerctl drives the preview through MPRIS and reads
// back what the player bar shows; a stand-in notification server and file
// manager receive the download-all summary and the file to show; a second
// launch of the real program hands a share link to this one.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "download/download_rows.h"
#include "download/failure_text.h"
#include "platform/ui/qt/desktop/mpris_service.h"
#include "platform/ui/qt/desktop/running_copy.h"
#include "platform/ui/qt/desktop/session_bus.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/skin.h"
#include "player/audio/audio_engine.h"
#include "player/media_remote.h"
#include "playlist/shared_link_launch.h"
#include "resources/resources.h"
#include "search/track_menu.h"
#include "support/desktop_bus.h"
#include "support/shell.h"
#include "tests/flow/flow_fixture.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {
namespace {

using namespace std::chrono_literals;
using ui::EventType;
namespace desktop = ui::qt::desktop;

// Records PropertiesChanged of the MPRIS player from a connection of its own,
// as a desktop shell would see them.
class PropertiesWatch : public QObject {
    Q_OBJECT
public:
    PropertiesWatch() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watch"))) {
        bus_.connect(QString(), QStringLiteral("/org/mpris/MediaPlayer2"),
                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), this,
                     SLOT(changed(QString, QVariantMap, QStringList)));
    }
    ~PropertiesWatch() override { QDBusConnection::disconnectFromBus(QStringLiteral("watch")); }
    std::vector<QVariantMap> seen;

public slots:
    void changed(const QString& iface, const QVariantMap& props, const QStringList&) {
        if (iface == QStringLiteral("org.mpris.MediaPlayer2.Player")) seen.push_back(props);
    }

private:
    QDBusConnection bus_;
};

class DesktopServices : public FlowFixture {
protected:
    static void SetUpTestSuite() {
        if (qApp) return;
        static int argc = 1;
        static char name[] = "desktop_services_test";
        static char* argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        ui::qt::skin::Apply(*app);
    }
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        view = std::make_unique<ui::qt::MainWindowView>(model, events);
        model.setMessageBoxPresenter([](const ui::MessageBoxRequest&) {});
        view->resize(1040, 680);
        view->show();
        ASSERT_TRUE(PumpUntil([&] { return view->isVisible(); }));
        support::SetDesktopBus(std::make_shared<desktop::SessionDesktopBus>());
    }
    void TearDown() override {
        support::SetDesktopBus(nullptr);
        mpris.reset();
        if (fake) {
            fake->kill();
            fake->waitForFinished(3000);
        }
        view.reset();
    }

    bool PumpUntilIdle() {
        return PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(100)); }, 60000);
    }

    void StartMpris() {
        ASSERT_NE(ctx->media, nullptr);
        mpris = std::make_unique<desktop::MprisService>(ctx->media, view.get());
        ASSERT_TRUE(mpris->registerOnSessionBus());
        ASSERT_EQ(mpris->serviceName().toStdString(), "org.mpris.MediaPlayer2.morvane_music");
    }

    // Runs a program to its end while this thread keeps serving the bus.
    std::string Run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(program, args);
        EXPECT_TRUE(PumpUntil([&] { return p.state() == QProcess::NotRunning; }, 20000)) << program.toStdString();
        if (exitCode) *exitCode = p.exitCode();
        return p.readAllStandardOutput().trimmed().toStdString();
    }
    std::string Playerctl(const QStringList& args) {
        return Run(QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), QStringLiteral("morvane_music")} + args);
    }

    // The stand-in notification server and file manager, and what they were told.
    void StartFakeDesktop() {
        fake = std::make_unique<QProcess>();
        fake->start(QStringLiteral(MM_FAKE_DESKTOP), {});
        ASSERT_TRUE(PumpUntil([&] { return Lines().size() == 1; }, 10000)) << "fake desktop did not start";
        ASSERT_EQ(Lines()[0], "ready");
    }
    std::vector<std::string> Lines() {
        fakeOut += fake->readAllStandardOutput().toStdString();
        std::vector<std::string> lines;
        size_t from = 0;
        for (size_t nl; (nl = fakeOut.find('\n', from)) != std::string::npos; from = nl + 1) {
            lines.push_back(fakeOut.substr(from, nl - from));
        }
        return lines;
    }
    // Waits for the line that starts with `prefix`; "" when none came.
    std::string AwaitLine(const std::string& prefix) {
        std::string found;
        PumpUntil(
            [&] {
                for (const auto& l : Lines()) {
                    if (l.rfind(prefix, 0) == 0) found = l;
                }
                return !found.empty();
            },
            15000);
        return found;
    }
    // The notifications that came before a marker sent now: what the program sent so far.
    std::vector<std::string> NotificationsSoFar() {
        const std::string marker = "marker " + std::to_string(++markers);
        std::thread([marker] { support::Notify("test", marker); }).join();
        EXPECT_FALSE(AwaitLine("Notify\tMorvaneMusic\ttest\t" + marker).empty());
        std::vector<std::string> out;
        for (const auto& l : Lines()) {
            if (l.rfind("Notify\t", 0) == 0 && l.find("\ttest\tmarker ") == std::string::npos) out.push_back(l);
        }
        return out;
    }

    int PlayingSeconds() const {
        const std::string t = model.text(app::kPlayerTime);
        return std::stoi(t.substr(0, t.find(':'))) * 60 + std::stoi(t.substr(t.find(':') + 1));
    }

    std::unique_ptr<ui::qt::MainWindowView> view;
    std::unique_ptr<desktop::MprisService> mpris;
    std::unique_ptr<QProcess> fake;
    std::string fakeOut;
    int markers = 0;
};

TEST_F(DesktopServices, PlayerctlDrivesThePreviewAndReadsWhatTheBarShows) {
    StartProgram();
    StartMpris();
    PropertiesWatch watch;
    Search("demo");
    ASSERT_GE(model.rowCount(app::kResultList), 20);
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), "Stopped");

    // The first row with its own cover and a next row, previewed from the list.
    int row = -1;
    for (int r = 0; r + 1 < 20 && row < 0; ++r) {
        const auto& t = ctx->searchResults[size_t(r)];
        if (!t.coverUrl.empty() && !t.album.empty() && !t.singer.empty()) row = r;
    }
    ASSERT_GE(row, 0);
    ASSERT_TRUE(PumpUntil([&] { return !ctx->searchResults[size_t(row)].cover.empty(); })) << "cover";
    const search::TrackRecord track = ctx->searchResults[size_t(row)];
    Fire(app::kResultList, EventType::RowDoubleClick, row);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_EQ(model.text(app::kPlayerTitle), track.title + " - " + track.singer);
    const int total = PlayingSeconds();
    ASSERT_GT(total, 20);

    // What playerctl reads is what the bar shows.
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), "Playing");
    EXPECT_EQ(model.picture(app::kPlayerPlay), std::string(Resource("pause.png")));
    const std::string meta = Playerctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                                        QStringLiteral("{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}|"
                                                       "{{mpris:artUrl}}|{{mpris:trackid}}")});
    QStringList f = QString::fromStdString(meta).split(QLatin1Char('|'));
    ASSERT_EQ(f.size(), 6) << meta;
    EXPECT_EQ(f[0].toStdString(), track.title);
    EXPECT_EQ(f[1].toStdString(), track.singer);
    EXPECT_EQ(f[2].toStdString(), track.album);
    EXPECT_EQ(f[3].toLongLong() / 1000000, total) << "whole seconds as the bar counts them";
    const QUrl art(f[4]);
    ASSERT_TRUE(art.isLocalFile()) << meta;
    QFile cover(art.toLocalFile());
    ASSERT_TRUE(cover.open(QIODevice::ReadOnly));
    EXPECT_EQ(cover.readAll().toStdString(), track.cover) << "the track's own cover, whole";
    // playerctl quotes object paths.
    const std::string firstTrackId = f[5].remove(QLatin1Char('\'')).toStdString();
    EXPECT_EQ(firstTrackId.rfind("/net/morvane/MorvaneMusic/track/", 0), 0u) << firstTrackId;

    // Play-pause from the desktop is the bar's play button.
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(PumpUntil([&] { return model.picture(app::kPlayerPlay) == std::string(Resource("play.png")); }));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), "Paused");
    EXPECT_FALSE(ctx->media->Snapshot().canSeek) << "the bar's slider does not seek while paused";
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(PumpUntil([&] { return model.picture(app::kPlayerPlay) == std::string(Resource("pause.png")); }));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), "Playing");
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& p : watch.seen) {
            if (p.value(QStringLiteral("PlaybackStatus")).toString() == QStringLiteral("Paused")) return true;
        }
        return false;
    })) << "PropertiesChanged told the pause";

    // SetPosition moves the bar's slider as a drag would, and the engine with it.
    Playerctl({QStringLiteral("position"), QStringLiteral("10")});
    ASSERT_TRUE(PumpUntil([&] { return std::abs(std::stod(Playerctl({QStringLiteral("position")})) - 10.0) < 0.05; }))
        << Playerctl({QStringLiteral("position")});
    const double bytesPerSecond = double(model.maximum(app::kPlayerProgress)) / (f[3].toDouble() / 1e6);
    EXPECT_NEAR(model.position(app::kPlayerProgress), 10 * bytesPerSecond, 4);
    Fire(app::kTimerPlay, EventType::TimerTick);
    EXPECT_EQ(PlayingSeconds(), total - 10) << model.text(app::kPlayerTime);

    // Volume from the desktop is the bar's volume slider.
    Playerctl({QStringLiteral("volume"), QStringLiteral("0.35")});
    ASSERT_TRUE(PumpUntil([&] { return model.position(app::kPlayerVolume) == 35; }));
    EXPECT_EQ(Playerctl({QStringLiteral("volume")}), "0.350000");

    // Next is the bar's next button: the next row plays, selected in the list.
    const search::TrackRecord next = ctx->searchResults[size_t(row + 1)];
    Playerctl({QStringLiteral("next")});
    ASSERT_TRUE(PumpUntil([&] { return model.text(app::kPlayerTitle) == next.title + " - " + next.singer; }))
        << model.text(app::kPlayerTitle);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(model.selection(app::kResultList), row + 1);
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:title")}), next.title);
    EXPECT_NE(Playerctl({QStringLiteral("metadata"), QStringLiteral("mpris:trackid")}), "'" + firstTrackId + "'");
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), "Playing");
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& p : watch.seen) {
            const QVariantMap m = qdbus_cast<QVariantMap>(p.value(QStringLiteral("Metadata")));
            if (m.value(QStringLiteral("xesam:title")).toString().toStdString() == next.title) return true;
        }
        return false;
    })) << "PropertiesChanged told the new track";

    // Stop ends playing as a finished track does; Play starts the row again.
    Playerctl({QStringLiteral("stop")});
    ASSERT_TRUE(PumpUntil([&] { return Playerctl({QStringLiteral("status")}) == "Stopped"; }));
    EXPECT_EQ(model.picture(app::kPlayerPlay), std::string(Resource("play.png")));
    EXPECT_EQ(model.maximum(app::kPlayerProgress), 0);
    Playerctl({QStringLiteral("play")});
    ASSERT_TRUE(PumpUntil([&] { return Playerctl({QStringLiteral("status")}) == "Playing"; }));
    EXPECT_EQ(model.text(app::kPlayerTitle), next.title + " - " + next.singer);
    ASSERT_TRUE(PumpUntilIdle());
}

TEST_F(DesktopServices, DownloadAllEndsWithOneNotificationOfItsCounts) {
    StartFakeDesktop();
    StartProgram();
    Search("demo");
    const int rows = model.rowCount(app::kResultList);
    ASSERT_GE(rows, 20);
    OnUi([&] { ctx->actions.downloadAll(); });
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_EQ(model.rowCount(app::kDownloadList), rows);
    int done = 0, failed = 0;
    for (const auto& status : Column(app::kDownloadList, 1)) {
        (download::FileKeptStatus(status) ? done : failed)++;
    }
    ASSERT_GT(done, 0);
    ASSERT_GT(failed, 0) << "the demo catalogue's song without an address fails";
    const std::string expected = "Notify\tMorvaneMusic\t全部下载已结束\t" + std::to_string(done) + " 首下载完成，" +
                                 std::to_string(failed) + " 首失败";
    EXPECT_EQ(AwaitLine("Notify\tMorvaneMusic\t全部下载已结束"), expected);
    EXPECT_EQ(NotificationsSoFar(), std::vector<std::string>{expected}) << "the failed rows of the run add nothing";

    // The file manager shows a downloaded file, selected.
    int doneRow = -1;
    for (int r = 0; r < rows && doneRow < 0; ++r) {
        if (model.cellText(app::kDownloadList, r, 1) == download::kStatusDone) doneRow = r;
    }
    ASSERT_GE(doneRow, 0);
    const std::string file = download::RememberedFile(*ctx, doneRow);
    ASSERT_FALSE(file.empty());
    OnUi([&] { ctx->actions.openFolder(doneRow); });
    EXPECT_EQ(AwaitLine("ShowItems"), "ShowItems\t" + support::FileUri(file));
}

TEST_F(DesktopServices, SingleFailuresAreToldOnlyBehindOtherWindowsAndOnlyWhenWanted) {
    StartFakeDesktop();
    StartProgram();
    Search("demo");
    // The demo catalogue's song "空地址" has no address: its download fails.
    int bad = -1;
    for (int r = 0; r < model.rowCount(app::kResultList) && bad < 0; ++r) {
        if (ctx->searchResults[size_t(r)].title == "空地址") bad = r;
    }
    ASSERT_GE(bad, 0);
    const std::string title = ctx->searchResults[size_t(bad)].title;
    std::atomic<bool> active{true};
    ctx->shell.windowActive = [&] { return active.load(); };

    OnUi([&] { ctx->actions.downloadAtTier(0, bad + 1); });
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), download::kStatusNoAddress);
    EXPECT_TRUE(NotificationsSoFar().empty()) << "the user sees the row in the active window";

    active = false;
    OnUi([&] { ctx->actions.downloadAtTier(0, bad + 1); });
    ASSERT_TRUE(PumpUntilIdle());
    std::vector<std::string> told = NotificationsSoFar();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("Notify\tMorvaneMusic\t下载失败\t", 0), 0u) << told[0];
    EXPECT_NE(told[0].find(title), std::string::npos) << told[0];
    EXPECT_NE(told[0].find(download::kStatusNoAddress), std::string::npos) << told[0];

    // The settings page's check box turns them off, and is remembered.
    model.setChecked(app::kCheckDesktopNotices, false);  // as the view does before the click
    Click(app::kCheckDesktopNotices);
    OnUi([&] { ctx->actions.downloadAtTier(0, bad + 1); });
    OnUi([&] { ctx->actions.downloadAll(); });
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(NotificationsSoFar().size(), 1u) << "nothing more while the box is unchecked";
    std::ifstream ini(configPath);
    std::string text((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(text.find("[桌面]\n下载通知=0"), std::string::npos) << text;
}

TEST_F(DesktopServices, WithoutANotificationServiceNothingHappens) {
    StartProgram();
    Search("demo");
    ctx->shell.windowActive = [] { return false; };
    EXPECT_FALSE(support::Notify("x", "y"));
    OnUi([&] { ctx->actions.downloadAll(); });
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_GT(model.rowCount(app::kDownloadList), 0);
    EXPECT_TRUE(MessageBoxes().empty() || MessageBoxes().back().title != "code:0");
}

TEST_F(DesktopServices, SecondLaunchHandsItsShareLinkToTheRunningCopy) {
    StartProgram();
    desktop::RunningCopy copy;
    ASSERT_EQ(copy.claimOrHandOver({}), desktop::RunningCopy::Start::kFirst);
    copy.setWindow(view.get());
    app::AppContext* c = ctx.get();
    copy.setArgumentsHandler([this, c](const std::vector<std::string>& args) {
        OnUi([c, args] {
            for (const auto& a : args) playlist::OpenSharedText(*c, a);
        });
    });
    model.setSelection(app::kTabs, 2);

    const std::string link = "分享歌单 " + catalogue.BaseUrl() + "/share/wy/s/7045 来自网易云音乐";
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(MM_PROGRAM),
                 {QStringLiteral("--no-sound"), QStringLiteral("--config"), QString::fromStdString(configPath),
                  QString::fromStdString(link)});
    ASSERT_TRUE(PumpUntil([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_NE(second.readAllStandardError().indexOf("handed over"), -1);

    // The panel opens on the search page, for NetEase, with the text as given.
    ASSERT_TRUE(PumpUntil([&] { return model.visible(app::kPlaylistPanel); }));
    EXPECT_EQ(model.selection(app::kTabs), 0);
    EXPECT_EQ(model.picture(app::kPlaylistLogo), model.image(app::kImgServiceNetEase));
    EXPECT_EQ(model.text(app::kPlaylistLink), link);
    view->flushChanges();
    Pump(100);
    EXPECT_EQ(model.text(app::kPlaylistLink), link) << "showing the panel leaves the link in place";
    const QString shot = QString(MM_SCREENSHOT_DIR) + "/desktop-share-link-handed-over.png";
    QDir().mkpath(MM_SCREENSHOT_DIR);
    EXPECT_TRUE(ui::qt::SaveScreenshot(shot, view.get()));

    // "导入" takes it from there: the playlist of 45 songs.
    Click(app::kPlaylistImport);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 45);
}

TEST_F(DesktopServices, SettingsPageShowsTheNotificationBox) {
    StartProgram();
    model.setSelection(app::kTabs, 2);
    view->flushChanges();
    Pump(150);
    QWidget* box = view->controlWidget(app::kCheckDesktopNotices);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    const QString shot = QString(MM_SCREENSHOT_DIR) + "/settings-desktop-notices.png";
    QDir().mkpath(MM_SCREENSHOT_DIR);
    EXPECT_TRUE(ui::qt::SaveScreenshot(shot, view.get()));
    std::printf("screenshot: %s\n", qPrintable(shot));
}

}  // namespace
}  // namespace mm::test

#include "desktop_services_test.moc"
