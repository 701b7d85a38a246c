#pragma once
// The program in its Qt window.
#include <functional>

#include "app/app_context.h"
#include "platform/ui/control_model.h"

// Creates the application, the window over `model` and the program's context
// (completed by `wire`), runs the creation sequence and the event loop.
int RunMainWindow(int argc, char** argv, mm::ui::ControlModel& model,
                  const std::function<void(mm::app::AppContext&)>& wire);
