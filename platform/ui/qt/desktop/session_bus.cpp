#include "platform/ui/qt/desktop/session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/ui/qt/desktop/desktop_ids.h"

namespace mm::ui::qt::desktop {
namespace {

constexpr int kShowItemsTimeoutMs = 3000;
constexpr int kNotifyTimeoutMs = 2000;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

bool SessionDesktopBus::Available() { return QDBusConnection::sessionBus().isConnected(); }

bool SessionDesktopBus::ShowItems(const std::vector<std::string>& uris) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QStringList list;
    for (const auto& u : uris) list << Q(u);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << list << QString();  // no startup id
    return bus.call(call, QDBus::Block, kShowItemsTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool SessionDesktopBus::Notify(const std::string& summary, const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kAppId);
    call << kAppName << 0u << kAppId << Q(summary) << Q(body) << QStringList() << hints << -1;
    return bus.call(call, QDBus::Block, kNotifyTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

}  // namespace mm::ui::qt::desktop
