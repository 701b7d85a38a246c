#include "platform/ui/qt/desktop/mpris_service.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "platform/ui/qt/desktop/desktop_ids.h"
#include "platform/ui/qt/desktop/mpris_adaptors.h"

namespace mm::ui::qt::desktop {
namespace {

using player::MediaSnapshot;
using player::PlaybackStatus;

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString StatusText(PlaybackStatus s) {
    switch (s) {
        case PlaybackStatus::kPlaying: return QStringLiteral("Playing");
        case PlaybackStatus::kPaused: return QStringLiteral("Paused");
        case PlaybackStatus::kStopped: break;
    }
    return QStringLiteral("Stopped");
}

QString CoverExtension(const std::string& bytes) {
    return bytes.size() > 3 && static_cast<unsigned char>(bytes[0]) == 0x89 && bytes[1] == 'P' ? QStringLiteral("png")
                                                                                              : QStringLiteral("jpg");
}

}  // namespace

MprisService::MprisService(std::shared_ptr<player::MediaRemote> remote, QWidget* window, QObject* parent)
    : QObject(parent), remote_(std::move(remote)), window_(window) {
    new MprisRootAdaptor(this);
    player_ = new MprisPlayerAdaptor(this);
    // Changes come from any thread; one comparison on the GUI thread answers a burst of them.
    link_->service = this;
    remote_->Watch([link = link_] {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || link->queued.exchange(true)) return;
        QMetaObject::invokeMethod(
            app,
            [link] {
                link->queued = false;
                if (link->service) link->service->compareAndAnnounce();
            },
            Qt::QueuedConnection);
    });
}

MprisService::~MprisService() {
    link_->service = nullptr;
    remote_->Watch(nullptr);
    if (registered_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(serviceName_);
        bus.unregisterObject(kMprisPath);
    }
    if (!coverPath_.isEmpty()) QFile::remove(coverPath_);
}

bool MprisService::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(kMprisPath, this, QDBusConnection::ExportAdaptors)) return false;
    serviceName_ = kMprisService;
    if (!bus.registerService(serviceName_)) {
        // Another copy plays under the plain name.
        serviceName_ = kMprisService + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        if (!bus.registerService(serviceName_)) {
            bus.unregisterObject(kMprisPath);
            return false;
        }
    }
    registered_ = true;
    last_ = remote_->Snapshot();
    lastMetadata_ = metadataOf(last_);
    announced_ = true;
    return true;
}

QString MprisService::trackPath(const MediaSnapshot& s) const {
    if (s.serial == 0) return kNoTrack;
    return kAppObjectPath + QStringLiteral("/track/") + QString::number(s.serial);
}

QString MprisService::coverFile(const MediaSnapshot& s) {
    if (s.cover.empty() || s.serial == 0) return {};
    if (s.serial == coverSerial_) return coverPath_;
    if (!coverPath_.isEmpty()) QFile::remove(coverPath_);
    coverSerial_ = s.serial;
    coverPath_.clear();
    // A new name for every track, so that the desktop never shows a picture it cached for another.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::tempPath();
    const QString path = dir + QStringLiteral("/morvane-music-cover-%1-%2.%3")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(s.serial)
                                   .arg(CoverExtension(s.cover));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    const bool whole = f.write(s.cover.data(), static_cast<qint64>(s.cover.size())) ==
                       static_cast<qint64>(s.cover.size());
    f.close();
    if (!whole) {
        QFile::remove(path);
        return {};
    }
    coverPath_ = path;
    return coverPath_;
}

QVariantMap MprisService::metadataOf(const MediaSnapshot& s) {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackPath(s))));
    if (s.serial == 0) return m;
    m.insert(QStringLiteral("xesam:title"), Q(s.title));
    if (!s.singer.empty()) m.insert(QStringLiteral("xesam:artist"), QStringList{Q(s.singer)});
    if (!s.album.empty()) m.insert(QStringLiteral("xesam:album"), Q(s.album));
    if (s.lengthUs > 0) m.insert(QStringLiteral("mpris:length"), qlonglong(s.lengthUs));
    const QString cover = coverFile(s);
    if (!cover.isEmpty()) m.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(cover).toString());
    return m;
}

QVariantMap MprisService::changedProperties(const MediaSnapshot& s) {
    QVariantMap changed;
    if (!announced_ || s.status != last_.status) changed.insert(QStringLiteral("PlaybackStatus"), StatusText(s.status));
    if (!announced_ || s.volume != last_.volume) changed.insert(QStringLiteral("Volume"), s.volume / 100.0);
    const QVariantMap metadata = metadataOf(s);
    if (!announced_ || metadata != lastMetadata_) {
        changed.insert(QStringLiteral("Metadata"), metadata);
        lastMetadata_ = metadata;
    }
    const struct {
        const char* name;
        bool now, before;
    } flags[] = {{"CanGoNext", s.canGoNext, last_.canGoNext},
                 {"CanGoPrevious", s.canGoPrevious, last_.canGoPrevious},
                 {"CanPlay", s.canPlay, last_.canPlay},
                 {"CanPause", s.canPause, last_.canPause},
                 {"CanSeek", s.canSeek, last_.canSeek}};
    for (const auto& f : flags) {
        if (!announced_ || f.now != f.before) changed.insert(QString::fromLatin1(f.name), f.now);
    }
    last_ = s;
    announced_ = true;
    return changed;
}

void MprisService::compareAndAnnounce() {
    if (!registered_) return;
    const QVariantMap changed = changedProperties(remote_->Snapshot());
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kMprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::announceSeek() {
    // The command runs on the UI thread; in the window that is this thread,
    // and a queued call comes after it.
    QTimer::singleShot(0, this, [this] { emit player_->Seeked(remote_->Snapshot().positionUs); });
}

void MprisService::raise() {
    if (!window_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MprisService::quit() {
    if (window_) window_->close();
}

}  // namespace mm::ui::qt::desktop
