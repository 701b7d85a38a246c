#pragma once
// The names the program goes by on the desktop: its application id (the
// .desktop file, the AppStream id and the icon are named after it) and its
// names on the session bus.
#include <QString>

namespace mm::ui::qt::desktop {

inline const QString kAppId = QStringLiteral("net.morvane.MorvaneMusic");
inline const QString kAppName = QStringLiteral("MorvaneMusic");
// org.freedesktop.Application of the running copy.
inline const QString kAppObjectPath = QStringLiteral("/net/morvane/MorvaneMusic");
inline const QString kMprisService = QStringLiteral("org.mpris.MediaPlayer2.morvane_music");
inline const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");

}  // namespace mm::ui::qt::desktop
