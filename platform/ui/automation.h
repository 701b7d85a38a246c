#pragma once
// Automation: drives the program through its controls from JSON lines, one
// command per line, and reports message boxes, dumps and errors as JSON lines.
// The protocol is described in docs/automation.md.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"

namespace mm::ui {

class Automation {
  public:
    struct Options {
        // Control that receives WindowClose on "close" and at the end of input.
        std::string closeTarget = "窗口EX1";
        // Waits up to `ms` until the program has nothing left to do (UI thread and
        // worker pools); true when it got there. Unset: only the UI thread is awaited.
        std::function<bool(int ms)> waitIdle;
        // Takes the path a script gives for the next folder chooser ("folder" op).
        std::function<void(const std::string& path)> answerFolder;
    };

    Automation(ControlModel& model, EventDispatcher& events, Options options);
    Automation(ControlModel& model, EventDispatcher& events);
    ~Automation();
    Automation(const Automation&) = delete;
    Automation& operator=(const Automation&) = delete;

    // From now on every message box is written to `out` and answered at once.
    // Call before the program's start-up so that its boxes are reported too;
    // run() does it otherwise.
    void reportMessageBoxes(std::ostream& out);

    // Reports that the program opened its folder chooser, with its title and
    // the folder it opens in ({"folder_chooser":{"title":…,"start":…}}); the
    // answer is the script's "folder".
    // Any thread; nothing is written before reportMessageBoxes or run.
    void reportFolderChooser(const std::string& title, const std::string& start);

    // Reads commands until "close" or the end of input, which closes too.
    // Returns the number of error lines written. Boxes are no longer reported
    // once it returns.
    int run(std::istream& in, std::ostream& out);

  private:
    struct Sink;
    struct Session;
    std::shared_ptr<Sink> sink_;
    ControlModel& model_;
    EventDispatcher& events_;
    Options options_;
};

}  // namespace mm::ui
