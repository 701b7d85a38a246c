#pragma once
// The desktop bus of the shell helpers (support/desktop_bus.h) over Qt D-Bus:
// the file manager's ShowItems and desktop notifications. Safe to call from
// any thread; every call has a bound, so a silent peer never holds a worker.
#include "support/desktop_bus.h"

namespace mm::ui::qt::desktop {

class SessionDesktopBus : public support::DesktopBus {
public:
    // True when the process has a session bus to talk to.
    static bool Available();

    bool ShowItems(const std::vector<std::string>& uris) override;
    bool Notify(const std::string& summary, const std::string& body) override;
};

}  // namespace mm::ui::qt::desktop
