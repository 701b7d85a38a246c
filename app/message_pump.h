#pragma once
// Lets code that waits on the UI thread keep that thread's event queue running.

namespace mm::app {

class MessagePump {
public:
    virtual ~MessagePump() = default;
    // True when called on the thread whose events must keep flowing.
    virtual bool OnUiThread() const = 0;
    // Runs the events that are pending now, then returns.
    virtual void Pump() = 0;
};

}  // namespace mm::app
