// A program that runs one download job and lets itself be killed: the crash
// test starts it, waits for the stage it asks for and sends SIGKILL.
//
// crash_child SAVE_DIR URL TYPE STOP [RESUME]
//   STOP "transfer": reports "transfer" when the part file is being written,
//     then "record <json>" once the answer is known (what a restart needs);
//   STOP "tag": reports "tag" when the tags go in and never renames the file;
//   STOP "none": runs to the end and prints the row's status.
//   RESUME: a record printed by an earlier run, to continue its part file.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "download/download_job.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: crash_child SAVE_DIR URL TYPE STOP [RESUME]\n");
        return 2;
    }
    std::string stop = argv[4];
    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::ui::HeadlessUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    mm::app::AppContext ctx(model, events, nullptr);
    model.setText(mm::app::kLabelSavePath, argv[1]);
    model.setChecked(mm::app::kRadioNaming1, true);
    model.setChecked(mm::app::kCheckEmbed, true);
    model.insertRow(mm::app::kDownloadList, 0);

    mm::search::TrackRecord rec;
    rec.title = "Crash: Test";
    rec.singer = "Kill Nine ";
    rec.album = "Signals";
    rec.fileUrl = argv[2];
    rec.fileType = argv[3];
    rec.lyrics = "[00:01]line one\n[00:02]第二行";
    rec.cover = std::string(300 * 1024, '\x7f');
    ctx.searchResults.push_back(rec);

    mm::download::SetJobStageObserver([&](int, mm::download::JobStage stage) {
        if (stop == "transfer" && stage == mm::download::JobStage::kTransfer) {
            std::printf("transfer\n");
            std::fflush(stdout);
        } else if (stop == "tag" && stage == mm::download::JobStage::kTagging) {
            std::printf("tag\n");
            std::fflush(stdout);
        } else if (stop == "tag" && stage == mm::download::JobStage::kCommit) {
            for (;;) pause();  // the kill lands during the tags or here, never after the rename
        }
    });
    mm::download::JobEvents jobEvents;
    jobEvents.transferring = [](const mm::download::DownloadSpec&, const mm::download::ResumeRecord& r) {
        nlohmann::json j{{"url", r.url},     {"partPath", r.partPath}, {"bytes", r.bytes},
                         {"total", r.total}, {"etag", r.etag},         {"lastModified", r.lastModified}};
        std::printf("record %s\n", j.dump().c_str());
        std::fflush(stdout);
    };
    if (stop == "transfer") mm::download::SetJobEvents(ctx, jobEvents);

    mm::download::DownloadSpec spec;
    spec.song = rec;
    spec.tier = 1;
    if (argc == 6) {
        auto j = nlohmann::json::parse(argv[5]);
        spec.resume.url = j["url"];
        spec.resume.partPath = j["partPath"];
        spec.resume.bytes = j["bytes"];
        spec.resume.total = j["total"];
        spec.resume.etag = j["etag"];
        spec.resume.lastModified = j["lastModified"];
    }
    mm::download::RunDownloadJob(ctx, spec, mm::download::JobControls::Of(ctx).Open(0));
    std::printf("%s\n", model.cellText(mm::app::kDownloadList, 0, 1).c_str());
    return 0;
}
