#pragma once
// The program's command line. Every option is one row of the table in
// command_line.cpp: its name, the name of its value (none for a switch), its
// line of help, and what it sets. The usage text is made from the same table.
#include <string>
#include <vector>

#include "app/deployment.h"

namespace mm::app {

struct CommandLine {
    bool automation = false;
    bool noSound = false;
    bool help = false;
    bool version = false;
    std::string configPath;  // "" = the default settings file
    std::string dataDir;     // "" = the default folder of the download history
    Deployment deployment;   // addresses as given; FillDeploymentDefaults completes them
    // Arguments that are no option: share links (or Kugou codes) to open in
    // the playlist panel.
    std::vector<std::string> sharedTexts;
};

struct CommandLineResult {
    CommandLine line;
    // One line naming what is wrong; "" when the arguments are fine.
    std::string error;
};

// args: the arguments after the program name.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

// "usage: …" followed by a line for the share links and one per option.
std::string UsageText();

}  // namespace mm::app
