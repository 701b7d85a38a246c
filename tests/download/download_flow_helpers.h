#pragma once
// What the download flow tests share: driving a download through the window's
// controls, and reading back what landed in the save folder with readers that
// are not ours.
#include <string>
#include <vector>

#include "democatalogue/song_table.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {

class DownloadFlowTest : public FlowFixture {
protected:
    // 0-based row of the result list whose title cell is title; -1 when absent.
    int ResultRow(const std::string& title) const;
    // Right-click on the row, "下载 - 单曲", then the tier window's button.
    void QueueFromTierWindow(int row0, int tier);
    // Searches for keyword and queues the row titled title; waits until idle.
    void DownloadByTitle(const std::string& keyword, const std::string& title, int tier);

    // Names in the save folder, sorted.
    std::vector<std::string> SavedNames() const;
    std::string Saved(const std::string& name) const;  // file bytes
    std::string ServerAudio(int songId, democat::Tier tier);
    std::string ServerCover(int songId);

    std::string Status(int downloadRow) const;
    std::string StatusIcon(int downloadRow) const;
};

// Runs a command, returns its standard output; exitCode gets its status.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);
std::string Quote(const std::string& path);
// The bytes after an ID3v2 tag / after the FLAC metadata blocks; "" when the
// file does not start with one.
std::string AfterId3(const std::string& file);
std::string FlacFrames(const std::string& file);

}  // namespace mm::test
