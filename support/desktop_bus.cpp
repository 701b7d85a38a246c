#include "support/desktop_bus.h"

#include <mutex>

namespace mm::support {
namespace {

std::mutex g_bus_mu;
std::shared_ptr<DesktopBus> g_bus;

}  // namespace

void SetDesktopBus(std::shared_ptr<DesktopBus> bus) {
    std::lock_guard lk(g_bus_mu);
    g_bus = std::move(bus);
}

std::shared_ptr<DesktopBus> CurrentDesktopBus() {
    std::lock_guard lk(g_bus_mu);
    return g_bus;
}

bool Notify(const std::string& summary, const std::string& body) {
    auto bus = CurrentDesktopBus();
    return bus && bus->Notify(summary, body);
}

}  // namespace mm::support
