#pragma once
// Handing things to the desktop: showing a file selected in the file manager,
// opening a web page. Programs are started with an argument vector, never
// through a shell, so no path or address can smuggle in a command.
#include <functional>
#include <string>
#include <vector>

namespace mm::support {

// Runs argv[0] (looked up on PATH) with the arguments and returns its exit
// status, or -1 when it could not be started. A program still running after
// a few seconds is left to finish on its own and counts as success.
int RunProgram(const std::vector<std::string>& argv);

// Replaces how programs are run (tests, automation). An empty function
// restores RunProgram. When the environment variable MM_LAUNCH_LOG names a
// file, each command line is appended there instead of being run.
using Launcher = std::function<int(const std::vector<std::string>& argv)>;
void SetLauncher(Launcher launcher);

enum class Shown {
    kFileSelected,  // the file manager shows the folder with the file selected
    kFolderOpened,  // no file manager answered; the folder was opened without a selection
    kNothing,       // nothing exists at the path, or nothing could be opened
};

// Shows the file (or folder) selected in the desktop's file manager through
// the freedesktop FileManager1 interface on the desktop bus (desktop_bus.h),
// falling back to opening its folder with xdg-open, which selects nothing.
// Waits for the desktop (seconds at worst): call it off the UI thread.
Shown ShowInFolder(const std::string& path);

// Opens an http(s) address in the desktop's browser. 1 on success, 0 for any
// other address or when no opener could be run.
int OpenUrl(const std::string& url);

// "file://" + the absolute path, every byte outside A-Z a-z 0-9 - . _ ~ /
// percent-encoded.
std::string FileUri(const std::string& absolute_path);

}  // namespace mm::support
