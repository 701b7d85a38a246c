#pragma once
// The program in its Qt window.
#include <functional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "platform/ui/control_model.h"

// Creates the application. When another copy of the program runs on this
// desktop, hands `sharedTexts` (share links from the command line) to it and
// returns 0. Otherwise runs `prepare` (false ends with 1), creates the window
// over `model` and the program's context (completed by `wire`), with its
// desktop services (MPRIS, notifications, the running copy's name), runs the
// creation sequence, opens the playlist panel for each shared text and runs
// the event loop.
int RunMainWindow(int argc, char** argv, mm::ui::ControlModel& model, const std::vector<std::string>& sharedTexts,
                  const std::function<bool()>& prepare, const std::function<void(mm::app::AppContext&)>& wire);
