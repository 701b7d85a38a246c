#include "app/command_line.h"

#include <algorithm>
#include <string_view>

namespace mm::app {
namespace {

// Stores the option's value (a switch gets ""); returns what is wrong, "" when fine.
using Apply = std::string (*)(CommandLine&, const std::string& value);

struct Option {
    std::string_view name;
    std::string_view alias;  // a second spelling, or ""
    std::string_view value;  // the value's name in the usage text; "" for a switch
    std::string_view help;
    Apply apply;
};

std::string Address(CommandLine& c, const char* key, const std::string& value) {
    return SetDeploymentAddress(c.deployment, key, value);
}

constexpr Option kOptions[] = {
    {"--automation", "", "", "run headless; read JSON events on stdin (docs/automation.md)",
     [](CommandLine& c, const std::string&) -> std::string {
         c.automation = true;
         return {};
     }},
    {"--no-sound", "", "", "play previews on the no-sound device",
     [](CommandLine& c, const std::string&) -> std::string {
         c.noSound = true;
         return {};
     }},
    {"--config", "", "PATH", "settings file (default $XDG_CONFIG_HOME/morvane-music/config.ini)",
     [](CommandLine& c, const std::string& v) -> std::string {
         c.configPath = v;
         return {};
     }},
    {"--data-dir", "", "DIR", "download history folder (default $XDG_DATA_HOME/morvane-music)",
     [](CommandLine& c, const std::string& v) -> std::string {
         if (v.empty()) return "the folder must not be empty";
         c.dataDir = v;
         return {};
     }},
    {"--catalogue", "", "URL", "catalogue service (default: the built-in demo catalogue)",
     [](CommandLine& c, const std::string& v) { return Address(c, "catalogue", v); }},
    {"--song-base", "", "URL", "playlist base, ending in /song/",
     [](CommandLine& c, const std::string& v) { return Address(c, "song-base", v); }},
    {"--update-host", "", "URL", "update notice host",
     [](CommandLine& c, const std::string& v) { return Address(c, "update-host", v); }},
    {"--stats-host", "", "URL", "start-up report host",
     [](CommandLine& c, const std::string& v) { return Address(c, "stats-host", v); }},
    {"--deployment", "", "FILE", "the four addresses as key=value lines (catalogue=URL, ...)",
     [](CommandLine& c, const std::string& v) { return ReadDeploymentFile(v, c.deployment); }},
    {"--version", "", "", "print the version and exit",
     [](CommandLine& c, const std::string&) -> std::string {
         c.version = true;
         return {};
     }},
    {"--help", "-h", "", "print this text and exit",
     [](CommandLine& c, const std::string&) -> std::string {
         c.help = true;
         return {};
     }},
};

const Option* Find(std::string_view arg) {
    for (const Option& o : kOptions) {
        if (arg == o.name || (!o.alias.empty() && arg == o.alias)) return &o;
    }
    return nullptr;
}

}  // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineResult r;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        // "--name=value" is the same as "--name value".
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inlineValue = true;
        }
        if (arg.empty() || arg[0] != '-') {
            r.line.sharedTexts.push_back(arg);  // a share link or Kugou code
            continue;
        }
        const Option* o = Find(arg);
        if (o == nullptr) {
            r.error = "unknown option " + arg;
            return r;
        }
        if (o->value.empty()) {
            if (inlineValue) {
                r.error = std::string(o->name) + " takes no value";
                return r;
            }
        } else if (!inlineValue) {
            // A missing value, not a value that happens to be the next option.
            if (i + 1 >= args.size() || Find(args[i + 1]) != nullptr) {
                r.error = std::string(o->name) + " needs a value (" + std::string(o->value) + ")";
                return r;
            }
            value = args[++i];
        }
        if (std::string problem = o->apply(r.line, value); !problem.empty()) {
            r.error = std::string(o->name) + ": " + problem;
            return r;
        }
    }
    return r;
}

std::string UsageText() {
    std::string text = "usage: morvane-music [options] [SHARE-LINK...]\n";
    size_t width = 0;
    auto left = [](const Option& o) {
        std::string s(o.name);
        if (!o.alias.empty()) s += ", " + std::string(o.alias);
        if (!o.value.empty()) s += " " + std::string(o.value);
        return s;
    };
    for (const Option& o : kOptions) width = std::max(width, left(o).size());
    const std::string link = "SHARE-LINK";
    text += "  " + link + std::string(width - link.size() + 2, ' ') +
            "a playlist share link (or Kugou code): opens the playlist panel with it;\n" +
            std::string(width + 4, ' ') + "while the program runs already, it is handed to that window\n";
    for (const Option& o : kOptions) {
        std::string l = left(o);
        text += "  " + l + std::string(width - l.size() + 2, ' ') + std::string(o.help) + "\n";
    }
    return text;
}

}  // namespace mm::app
