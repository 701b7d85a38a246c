#pragma once
// The message pump of the headless UI thread.
#include "app/message_pump.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::app {

class HeadlessPump : public MessagePump {
public:
    explicit HeadlessPump(ui::HeadlessUiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override { ui_.RunPending(); }

private:
    ui::HeadlessUiThread& ui_;
};

}  // namespace mm::app
