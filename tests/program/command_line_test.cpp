// The program's command line as a user meets it: a mistake gets one line
// naming it, the usage text and status 2, before anything starts.
#include <gtest/gtest.h>

#include "tests/program/run_program.h"

namespace mm::test {
namespace {

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(CommandLine, MistakesEndWithTheProblemTheUsageAndStatus2) {
    struct Case {
        std::vector<std::string> args;
        std::string line;
    };
    const Case cases[] = {
        {{"--bogus"}, "morvane-music: unknown option --bogus"},
        {{"-x"}, "morvane-music: unknown option -x"},
        {{"https://y.qq.com/n/ryqq/playlist?id=1", "--bogus"}, "morvane-music: unknown option --bogus"},
        {{"--config"}, "morvane-music: --config needs a value (PATH)"},
        {{"--config", "--automation"}, "morvane-music: --config needs a value (PATH)"},
        {{"--catalogue", "ftp://example.org"},
         "morvane-music: --catalogue: \"ftp://example.org\" is not an http:// or https:// address"},
        {{"--song-base", "example.org/song/"},
         "morvane-music: --song-base: \"example.org/song/\" is not an http:// or https:// address"},
        {{"--update-host=http://"},
         "morvane-music: --update-host: \"http://\" is not an http:// or https:// address"},
        {{"--stats-host", "file:///etc/passwd"},
         "morvane-music: --stats-host: \"file:///etc/passwd\" is not an http:// or https:// address"},
        {{"--no-sound=1"}, "morvane-music: --no-sound takes no value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        // With automation on, a program that went ahead would read the empty
        // input, close and exit 0; without it, it would try to open a window.
        ProgramRun r = RunProgram(MM_PROGRAM, c.args, {}, {{"QT_QPA_PLATFORM", "offscreen"}});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(FirstLine(r.err), c.line);
        EXPECT_NE(r.err.find("\nusage: morvane-music [options] [SHARE-LINK...]\n"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("  --catalogue URL"), std::string::npos) << "the usage lists the options";
        EXPECT_EQ(r.out, "");
    }
}

TEST(CommandLine, VersionAndHelpPrintAndExit) {
    ProgramRun v = RunProgram(MM_PROGRAM, {"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, "morvane-music 1.1\n");
    EXPECT_EQ(v.err, "");

    ProgramRun h = RunProgram(MM_PROGRAM, {"-h"});
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_EQ(FirstLine(h.out), "usage: morvane-music [options] [SHARE-LINK...]");
    for (const char* option :
         {"--automation", "--no-sound", "--config PATH", "--catalogue URL", "--song-base URL",
          "--update-host URL", "--stats-host URL", "--deployment FILE", "--version", "--help, -h"}) {
        EXPECT_NE(h.out.find(std::string("  ") + option + " "), std::string::npos) << option;
    }
}

TEST(CommandLine, ABadDeploymentFileIsRefusedWithItsLine) {
    const std::string path = ::testing::TempDir() + "/deployment.txt";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("# the services\ncatalogue=http://127.0.0.1:9/\nstats-host=mailto:x@example.org\n", f);
    std::fclose(f);
    ProgramRun r = RunProgram(MM_PROGRAM, {"--automation", "--deployment", path});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(FirstLine(r.err),
              "morvane-music: --deployment: " + path +
                  ", line 3: \"mailto:x@example.org\" is not an http:// or https:// address");
}

}  // namespace
}  // namespace mm::test
