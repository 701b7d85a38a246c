#pragma once
// The preview player on the session bus as an MPRIS media player
// (org.mpris.MediaPlayer2.morvane_music): the desktop's media keys and
// controls drive it through the player bar's own handlers (player::MediaRemote),
// and PropertiesChanged tells them whatever the bar changed.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <memory>

#include "player/media_remote.h"

class QWidget;

namespace mm::ui::qt::desktop {

class MprisPlayerAdaptor;

class MprisService : public QObject {
    Q_OBJECT
public:
    // Construct on the GUI thread. `window` is raised and closed for the
    // desktop.
    MprisService(std::shared_ptr<player::MediaRemote> remote, QWidget* window, QObject* parent = nullptr);
    ~MprisService() override;

    // Registers the object and takes the service name (or, while another
    // copy holds it, a name of this process's own). False without a session bus.
    bool registerOnSessionBus();
    QString serviceName() const { return serviceName_; }

    // What the adaptors show and do.
    player::MediaSnapshot snapshot() const { return remote_->Snapshot(); }
    player::MediaRemote& remote() { return *remote_; }
    QVariantMap metadataOf(const player::MediaSnapshot& s);
    QString trackPath(const player::MediaSnapshot& s) const;
    void raise();
    void quit();
    // After a seek asked for on the bus: the Seeked signal once the player moved.
    void announceSeek();

private:
    void compareAndAnnounce();
    QString coverFile(const player::MediaSnapshot& s);
    QVariantMap changedProperties(const player::MediaSnapshot& s);

    std::shared_ptr<player::MediaRemote> remote_;
    QPointer<QWidget> window_;
    MprisPlayerAdaptor* player_ = nullptr;
    QString serviceName_;
    bool registered_ = false;
    // What other threads hold of this object: they only queue a look at the
    // bar to the GUI thread, which finds the service there, or finds it gone.
    struct Link {
        MprisService* service = nullptr;  // GUI thread only
        std::atomic<bool> queued{false};
    };
    std::shared_ptr<Link> link_ = std::make_shared<Link>();

    // What the desktop was last told.
    bool announced_ = false;
    player::MediaSnapshot last_;
    QVariantMap lastMetadata_;
    // The cover of the track on air as a file, by serial.
    std::uint64_t coverSerial_ = ~std::uint64_t{0};
    QString coverPath_;
};

}  // namespace mm::ui::qt::desktop
