#include "platform/ui/qt/desktop/running_copy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QWidget>

#include "platform/ui/qt/desktop/desktop_ids.h"

namespace mm::ui::qt::desktop {
namespace {

const QString kApplicationInterface = QStringLiteral("org.freedesktop.Application");
constexpr int kHandOverTimeoutMs = 5000;

// What the launcher gave this launch to pass on, so that the running copy
// may take the focus (Wayland's activation token, X11's startup id).
QVariantMap PlatformData() {
    QVariantMap data;
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty()) data.insert(QStringLiteral("activation-token"), QString::fromUtf8(token));
    const QByteArray startup = qgetenv("DESKTOP_STARTUP_ID");
    if (!startup.isEmpty()) data.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startup));
    return data;
}

}  // namespace

RunningCopy::RunningCopy() { new ApplicationAdaptor(this); }

RunningCopy::~RunningCopy() {
    if (!claimed_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(kAppId);
    bus.unregisterObject(kAppObjectPath);
}

RunningCopy::Start RunningCopy::claimOrHandOver(const std::vector<std::string>& args) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Start::kAlone;
    // The object first, so that a launch that finds the name finds the object behind it.
    if (!bus.registerObject(kAppObjectPath, this, QDBusConnection::ExportAdaptors)) return Start::kAlone;
    if (bus.registerService(kAppId)) {
        claimed_ = true;
        return Start::kFirst;
    }
    bus.unregisterObject(kAppObjectPath);
    return handOver(args) ? Start::kHandedOver : Start::kAlone;
}

bool RunningCopy::handOver(const std::vector<std::string>& args) {
    QDBusMessage call;
    if (args.empty()) {
        call = QDBusMessage::createMethodCall(kAppId, kAppObjectPath, kApplicationInterface, QStringLiteral("Activate"));
        call << PlatformData();
    } else {
        QStringList list;
        for (const auto& a : args) list << QString::fromStdString(a);
        call = QDBusMessage::createMethodCall(kAppId, kAppObjectPath, kApplicationInterface, QStringLiteral("Open"));
        call << list << PlatformData();
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kHandOverTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void RunningCopy::setWindow(QWidget* window) {
    window_ = window;
    deliver();
}

void RunningCopy::setArgumentsHandler(ArgumentsHandler handler) {
    handler_ = std::move(handler);
    deliver();
}

void RunningCopy::activated(const QVariantMap& platformData) {
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    // Qt's Wayland platform takes the token from the environment when it activates a window.
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    raisePending_ = true;
    deliver();
}

void RunningCopy::opened(const QStringList& args, const QVariantMap& platformData) {
    std::vector<std::string> list;
    for (const QString& a : args) list.push_back(a.toStdString());
    waiting_.push_back(std::move(list));
    activated(platformData);
}

void RunningCopy::deliver() {
    if (window_ && raisePending_) {
        raisePending_ = false;
        if (window_->isMinimized()) window_->showNormal();
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    if (!handler_) return;
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (const auto& args : waiting) handler_(args);
}

ApplicationAdaptor::ApplicationAdaptor(RunningCopy* copy) : QDBusAbstractAdaptor(copy), copy_(copy) {}

void ApplicationAdaptor::Activate(const QVariantMap& platform_data) { copy_->activated(platform_data); }

void ApplicationAdaptor::Open(const QStringList& uris, const QVariantMap& platform_data) {
    copy_->opened(uris, platform_data);
}

void ApplicationAdaptor::ActivateAction(const QString&, const QVariantList&, const QVariantMap& platform_data) {
    // The program offers no actions of its own; being asked still brings it up.
    copy_->activated(platform_data);
}

}  // namespace mm::ui::qt::desktop
