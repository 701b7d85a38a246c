#pragma once
// Shared by the search flow tests: replies of our own making, and recorders
// for the actions other areas provide.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/flow/flow_fixture.h"

namespace mm::test {

// One song item of a catalogue reply.
struct FakeSong {
    std::string name = "Song";
    std::vector<std::string> singers = {"Singer"};
    std::string album = "Album";
    double sizes[3] = {3.8849, 0, 0};
    std::string mids[3] = {"m1", "", ""};
    std::string pic;
    std::string time = "03:00";
};

std::string SearchReplyText(const std::vector<FakeSong>& songs, int code = 200,
                            const std::string& msg = "搜索成功");

class SearchFlow : public FlowFixture {
  protected:
    // Every following search answers `body` (until cleared).
    void AnswerSearchesWith(const std::string& body, int times = -1);
    void FailSearches(democat::Fault f) { catalogue.faults().Set(democat::Endpoint::kSearch, std::move(f)); }
    void NormalSearches() { catalogue.faults().Clear(democat::Endpoint::kSearch); }
    // The last search request's path and query.
    std::string LastSearchTarget();
    int SearchRequests() { return catalogue.stats().Count(democat::Endpoint::kSearch); }
    void RightClickRow(int row0) { Fire("列表框_搜索", ui::EventType::RowRightClick, row0); }
    void ScrollPastEnd() { Fire("列表框_搜索", ui::EventType::ScrolledPastEnd); }
    bool SearchControlsIdle() const;

    // Replaces the actions of the download and player areas with recorders.
    void RecordActions();
    std::vector<std::pair<int, int>> Downloads() const;
    std::vector<std::string> ActionLog() const;

  private:
    mutable std::mutex actionMu_;
    std::vector<std::pair<int, int>> downloads_;
    std::vector<std::string> actions_;
};

}  // namespace mm::test
