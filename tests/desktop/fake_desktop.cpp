// A stand-in for the desktop's services on a private session bus: a
// notification server and a file manager that write every call they get as
// one line on standard output ("Notify\tapp\tsummary\tbody",
// "ShowItems\turi..."), then "ready" once both names are taken.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace {

void Line(const QStringList& fields) {
    std::printf("%s\n", fields.join(QLatin1Char('\t')).toUtf8().constData());
    std::fflush(stdout);
}

class Notifications : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit Notifications(QObject* parent) : QDBusAbstractAdaptor(parent) {}

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        Line({QStringLiteral("Notify"), app, summary, body});
        return ++last_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint last_ = 0;
};

class FileManager : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FileManager(QObject* parent) : QDBusAbstractAdaptor(parent) {}

public slots:
    void ShowItems(const QStringList& uris, const QString&) { Line(QStringList{QStringLiteral("ShowItems")} + uris); }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject notifications, files;
    new Notifications(&notifications);
    new FileManager(&files);
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                            QDBusConnection::ExportAdaptors) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &files,
                            QDBusConnection::ExportAdaptors) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications")) ||
        !bus.registerService(QStringLiteral("org.freedesktop.FileManager1"))) {
        std::fprintf(stderr, "fake_desktop: no session bus, or the names are taken\n");
        return 1;
    }
    Line({QStringLiteral("ready")});
    return app.exec();
}

#include "fake_desktop.moc"
