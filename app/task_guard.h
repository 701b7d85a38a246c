#pragma once
// Runs a task so that what it throws ends the task, not the program: the
// failure is written to standard error and the worker carries on. A cover too
// large for memory (std::bad_alloc) or a fault in one task must not take the
// window and every other download with it.
#include <cxxabi.h>

#include <cstdio>
#include <exception>

namespace mm::app {

// True when the task returned normally.
template <class Task>
bool RunGuarded(const char* where, Task&& task) {
    try {
        task();
        return true;
    } catch (abi::__forced_unwind&) {
        throw;  // thread cancellation must go on unwinding
    } catch (const std::exception& e) {
        std::fprintf(stderr, "morvane-music: a task of the %s ended with an error: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "morvane-music: a task of the %s ended with an unknown error\n", where);
    }
    return false;
}

}  // namespace mm::app
