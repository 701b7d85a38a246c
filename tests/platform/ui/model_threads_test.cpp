// The control model under writers from many threads, and message boxes that
// block a worker while the UI thread carries on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::ui {
namespace {

using namespace std::chrono_literals;

TEST(ModelThreads, EightWritersAndAReaderKeepEveryRow) {
    ControlModel m;
    m.define("列表框_搜索", Kind::ListBox);
    for (int t = 0; t < 8; ++t) m.define("label" + std::to_string(t), Kind::Label);
    std::atomic<int> notifications{0};
    // An observer that reads the model back, as the view does.
    m.subscribe([&](const Change& c) {
        if (c.what == Change::What::Cell) (void)m.cellText(c.control, c.row, c.col);
        ++notifications;
    });

    constexpr int kRows = 200;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            int n = m.rowCount("列表框_搜索");
            for (int r = 0; r < n; r += 17) (void)m.cellText("列表框_搜索", r, 0);
            (void)m.text("label3");
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kRows; ++i) {
                int row = m.insertRow("列表框_搜索", -1);
                m.setCellText("列表框_搜索", row, 0, std::to_string(t) + ":" + std::to_string(i));
                m.setText("label" + std::to_string(t), std::to_string(i));
            }
        });
    }
    for (auto& w : writers) w.join();
    done = true;
    reader.join();

    ASSERT_EQ(m.rowCount("列表框_搜索"), 8 * kRows);
    std::set<std::string> cells;
    for (int r = 0; r < 8 * kRows; ++r) cells.insert(m.cellText("列表框_搜索", r, 0));
    EXPECT_EQ(cells.size(), 8u * kRows);  // every row written exactly once (appends never shift)
    for (int t = 0; t < 8; ++t) EXPECT_EQ(m.text("label" + std::to_string(t)), std::to_string(kRows - 1));
    EXPECT_GE(notifications.load(), 8 * kRows * 3);
}

TEST(ModelThreads, MessageBoxBlocksOnlyTheWorkerUntilDismissed) {
    ControlModel m;
    m.define("窗口EX1", Kind::Window);
    HeadlessUiThread ui;
    ui.Start();

    std::mutex mu;
    std::condition_variable cv;
    bool shown = false, dismissed = false;
    // Like the Qt view: the box stays up until someone else closes it.
    m.setMessageBoxPresenter([&](const MessageBoxRequest&) {
        std::unique_lock lk(mu);
        shown = true;
        cv.notify_all();
        cv.wait(lk, [&] { return dismissed; });
    });

    std::atomic<bool> workerBack{false};
    std::thread worker([&] {
        m.messageBox({"code:886", "数据获取失败，请检查网络连接！", "好的", "窗口EX1"});
        workerBack = true;
    });
    {
        std::unique_lock lk(mu);
        ASSERT_TRUE(cv.wait_for(lk, 2s, [&] { return shown; }));
    }
    // While the box is up the UI thread runs and the model takes writes and reads.
    bool uiRan = false;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] {
        m.setText("窗口EX1", "still responsive");
        uiRan = true;
    }));
    EXPECT_TRUE(uiRan);
    ASSERT_EQ(m.messageBoxLog().size(), 1u);
    EXPECT_EQ(m.messageBoxLog()[0].title, "code:886");
    EXPECT_FALSE(workerBack.load());

    std::thread dismisser([&] {
        std::lock_guard lk(mu);
        dismissed = true;
        cv.notify_all();
    });
    worker.join();
    dismisser.join();
    EXPECT_TRUE(workerBack.load());
}

TEST(ModelThreads, WithoutAPresenterAMessageBoxReturnsAtOnce) {
    ControlModel m;
    m.messageBox({"code:404", "a", "好的", {}});
    m.messageBox({"code:500", "b", "好的", {}});
    auto log = m.messageBoxLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].title, "code:500");
}

TEST(ModelThreads, APresenterMayShowABoxOfItsOwnAndReadTheModel) {
    ControlModel m;
    m.define("a", Kind::Label, "caption");
    std::vector<std::string> seen;
    m.setMessageBoxPresenter([&](const MessageBoxRequest& r) {
        seen.push_back(r.text + "/" + m.text("a"));
        if (r.text == "outer") m.messageBox({"t", "inner", "好的", {}});
    });
    m.messageBox({"t", "outer", "好的", {}});
    EXPECT_EQ(seen, (std::vector<std::string>{"outer/caption", "inner/caption"}));
}

}  // namespace
}  // namespace mm::ui
