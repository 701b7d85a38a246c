#pragma once
// One running copy per desktop session. The first copy takes the program's
// name on the session bus and answers org.freedesktop.Application there; a
// later launch finds the name taken, hands its arguments to the running copy
// (Open with them, or Activate without any) and ends. The running copy comes
// to the front and passes the arguments on.
#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace mm::ui::qt::desktop {

class RunningCopy : public QObject {
    Q_OBJECT
public:
    using ArgumentsHandler = std::function<void(const std::vector<std::string>& args)>;

    RunningCopy();
    ~RunningCopy() override;

    enum class Start {
        kFirst,       // this process is the running copy now
        kHandedOver,  // another copy took the arguments: end this one
        kAlone,       // no session bus, or a copy that does not answer: run anyway
    };
    // Claims the name, or hands the arguments over to the copy that holds it.
    Start claimOrHandOver(const std::vector<std::string>& args);

    // The window brought to the front, and what receives handed-over
    // arguments (on the GUI thread). Arguments that arrive before either is
    // set wait for them.
    void setWindow(QWidget* window);
    void setArgumentsHandler(ArgumentsHandler handler);

    // Called by the bus adaptor.
    void activated(const QVariantMap& platformData);
    void opened(const QStringList& args, const QVariantMap& platformData);

private:
    bool handOver(const std::vector<std::string>& args);
    void deliver();

    QWidget* window_ = nullptr;
    ArgumentsHandler handler_;
    bool claimed_ = false;
    bool raisePending_ = false;
    std::vector<std::vector<std::string>> waiting_;
};

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(RunningCopy* copy);

public slots:
    void Activate(const QVariantMap& platform_data);
    void Open(const QStringList& uris, const QVariantMap& platform_data);
    void ActivateAction(const QString& action_name, const QVariantList& parameter, const QVariantMap& platform_data);

private:
    RunningCopy* copy_;
};

}  // namespace mm::ui::qt::desktop
