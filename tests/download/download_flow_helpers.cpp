#include "tests/download/download_flow_helpers.h"

#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>

#include "app/control_names.h"
#include "platform/net/http_client.h"
#include "platform/sys/files.h"
#include "search/track_menu.h"

namespace mm::test {

int DownloadFlowTest::ResultRow(const std::string& title) const {
    auto titles = Column(app::kResultList, 1);
    auto it = std::find(titles.begin(), titles.end(), title);
    return it == titles.end() ? -1 : static_cast<int>(it - titles.begin());
}

void DownloadFlowTest::QueueFromTierWindow(int row0, int tier) {
    const char* buttons[3] = {app::kTierButtonStandard, app::kTierButtonHigh, app::kTierButtonLossless};
    Fire(app::kResultList, ui::EventType::RowRightClick, row0);
    Menu(app::kTrackMenu, search::kMenuDownloadOne);
    ASSERT_TRUE(model.visible(app::kTierPanel));
    Click(buttons[tier]);
}

void DownloadFlowTest::DownloadByTitle(const std::string& keyword, const std::string& title, int tier) {
    Search(keyword);
    int row = ResultRow(title);
    ASSERT_GE(row, 0) << title << " not listed for " << keyword;
    QueueFromTierWindow(row, tier);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
}

std::vector<std::string> DownloadFlowTest::SavedNames() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(saveDir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string DownloadFlowTest::Saved(const std::string& name) const {
    std::string bytes;
    sys::ReadFile(saveDir + name, bytes);
    return bytes;
}

std::string DownloadFlowTest::ServerAudio(int songId, democat::Tier tier) {
    auto file = catalogue.FileOf(songId, tier);
    std::string bytes;
    if (file) sys::ReadFile(file->path, bytes);
    return bytes;
}

std::string DownloadFlowTest::ServerCover(int songId) {
    char path[32];
    snprintf(path, sizeof path, "/cover/%04d.jpg", songId);
    net::HTTPWebClient client;
    std::string bytes;
    client.Get(catalogue.BaseUrl() + path, bytes, false);
    return bytes;
}

std::string DownloadFlowTest::Status(int downloadRow) const {
    return model.cellText(app::kDownloadList, downloadRow, 1);
}

std::string DownloadFlowTest::StatusIcon(int downloadRow) const {
    return model.cellIcon(app::kDownloadList, downloadRow, 1);
}

std::string RunCommand(const std::string& command, int* exitCode) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quote(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string AfterId3(const std::string& file) {
    if (file.size() < 10 || file.compare(0, 3, "ID3") != 0) return {};
    auto b = [&](int i) { return static_cast<std::size_t>(static_cast<unsigned char>(file[i])); };
    std::size_t size = (b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9);
    return size + 10 <= file.size() ? file.substr(size + 10) : std::string();
}

std::string FlacFrames(const std::string& file) {
    if (file.size() < 4 || file.compare(0, 4, "fLaC") != 0) return {};
    std::size_t pos = 4;
    for (;;) {
        if (pos + 4 > file.size()) return {};
        auto b = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(file[i])); };
        bool last = b(pos) & 0x80;
        std::size_t len = (b(pos + 1) << 16) | (b(pos + 2) << 8) | b(pos + 3);
        pos += 4 + len;
        if (last) break;
    }
    return pos <= file.size() ? file.substr(pos) : std::string();
}

}  // namespace mm::test
