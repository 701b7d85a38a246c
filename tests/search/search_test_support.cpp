#include "tests/search/search_test_support.h"

#include <nlohmann/json.hpp>

#include "app/control_names.h"

namespace mm::test {

std::string SearchReplyText(const std::vector<FakeSong>& songs, int code, const std::string& msg) {
    nlohmann::json data = nlohmann::json::array();
    const char* keys[3] = {"l", "h", "s"};
    for (const auto& s : songs) {
        nlohmann::json quality;
        for (int t = 0; t < 3; ++t) {
            quality[keys[t]] = {
                {"size", s.sizes[t]}, {"mid", s.mids[t]}, {"pmid", s.mids[t].empty() ? "" : "p"}};
        }
        data.push_back({{"name", s.name},
                        {"singer", s.singers},
                        {"album", s.album},
                        {"pic", s.pic},
                        {"time", s.time},
                        {"publish", "2020"},
                        {"quality", quality}});
    }
    return nlohmann::json{{"code", code}, {"msg", msg}, {"data", data}}.dump();
}

void SearchFlow::AnswerSearchesWith(const std::string& body, int times) {
    democat::Fault f;
    f.body = democat::BodyKind::kRaw;
    f.raw_body = body;
    f.content_type = "application/json; charset=utf-8";
    f.times = times;
    FailSearches(f);
}

std::string SearchFlow::LastSearchTarget() {
    auto last = catalogue.stats().Last(democat::Endpoint::kSearch);
    return last ? last->target : std::string();
}

bool SearchFlow::SearchControlsIdle() const {
    return !model.disabled(app::kSearchBox) && !model.disabled(app::kSearchButton) &&
           !model.disabled(app::kSourceCombo) && !model.visible(app::kLoading);
}

void SearchFlow::RecordActions() {
    auto& a = ctx->actions;
    a.downloadAtTier = [this](int tier, int row) {
        std::lock_guard lk(actionMu_);
        downloads_.emplace_back(tier, row);
    };
    auto log = [this](const std::string& what) {
        std::lock_guard lk(actionMu_);
        actions_.push_back(what);
    };
    a.preview = [log](int row) { log("preview " + std::to_string(row)); };
    a.playFile = [log](int row) { log("play " + std::to_string(row)); };
    a.openFolder = [log](int row) { log("folder " + std::to_string(row)); };
    a.downloadAll = [log] { log("all"); };
}

std::vector<std::pair<int, int>> SearchFlow::Downloads() const {
    std::lock_guard lk(actionMu_);
    return downloads_;
}

std::vector<std::string> SearchFlow::ActionLog() const {
    std::lock_guard lk(actionMu_);
    return actions_;
}

}  // namespace mm::test
