#pragma once
// The desktop's session bus as the shell helpers reach it. The Qt layer
// installs the real one at start-up; without it (no session bus, automation
// mode) showing a file falls back to opening its folder and notifications are
// left out.
#include <memory>
#include <string>
#include <vector>

namespace mm::support {

class DesktopBus {
public:
    virtual ~DesktopBus() = default;
    // org.freedesktop.FileManager1.ShowItems; true when a file manager answered.
    virtual bool ShowItems(const std::vector<std::string>& uris) = 0;
    // org.freedesktop.Notifications.Notify; true when a notification service took it.
    virtual bool Notify(const std::string& summary, const std::string& body) = 0;
};

// Installs the bus the helpers use (any thread); nullptr removes it.
void SetDesktopBus(std::shared_ptr<DesktopBus> bus);
std::shared_ptr<DesktopBus> CurrentDesktopBus();

// Shows a desktop notification. False, and nothing shown, without a bus or
// without a notification service on it.
bool Notify(const std::string& summary, const std::string& body);

}  // namespace mm::support
