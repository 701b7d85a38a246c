#include "platform/ui/qt/desktop/mpris_adaptors.h"

#include <cmath>

#include "platform/ui/qt/desktop/desktop_ids.h"
#include "platform/ui/qt/desktop/mpris_service.h"

namespace mm::ui::qt::desktop {

using player::PlaybackStatus;

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisRootAdaptor::identity() const { return kAppName; }
QString MprisRootAdaptor::desktopEntry() const { return kAppId; }
void MprisRootAdaptor::Raise() { service_->raise(); }
void MprisRootAdaptor::Quit() { service_->quit(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    switch (service_->snapshot().status) {
        case PlaybackStatus::kPlaying: return QStringLiteral("Playing");
        case PlaybackStatus::kPaused: return QStringLiteral("Paused");
        case PlaybackStatus::kStopped: break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayerAdaptor::metadata() const { return service_->metadataOf(service_->snapshot()); }
double MprisPlayerAdaptor::volume() const { return service_->snapshot().volume / 100.0; }
void MprisPlayerAdaptor::setVolume(double v) {
    if (std::isfinite(v)) service_->remote().SetVolume(static_cast<int>(std::lround(v * 100)));
}
qlonglong MprisPlayerAdaptor::position() const { return service_->snapshot().positionUs; }
bool MprisPlayerAdaptor::canGoNext() const { return service_->snapshot().canGoNext; }
bool MprisPlayerAdaptor::canGoPrevious() const { return service_->snapshot().canGoPrevious; }
bool MprisPlayerAdaptor::canPlay() const { return service_->snapshot().canPlay; }
bool MprisPlayerAdaptor::canPause() const { return service_->snapshot().canPause; }
bool MprisPlayerAdaptor::canSeek() const { return service_->snapshot().canSeek; }

void MprisPlayerAdaptor::Next() { service_->remote().Next(); }
void MprisPlayerAdaptor::Previous() { service_->remote().Previous(); }
void MprisPlayerAdaptor::Pause() { service_->remote().Pause(); }
void MprisPlayerAdaptor::PlayPause() { service_->remote().PlayPause(); }
void MprisPlayerAdaptor::Stop() { service_->remote().Stop(); }
void MprisPlayerAdaptor::Play() { service_->remote().Play(); }

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    service_->remote().SeekUs(Offset);
    service_->announceSeek();
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    // A position meant for another track, or outside this one, is ignored.
    const player::MediaSnapshot s = service_->snapshot();
    if (TrackId.path() != service_->trackPath(s) || Position < 0 || Position > s.lengthUs) return;
    service_->remote().SetPositionUs(Position);
    service_->announceSeek();
}

void MprisPlayerAdaptor::OpenUri(const QString&) {}  // previews come from the list only

}  // namespace mm::ui::qt::desktop
