// Focus and keys in the real window: the Tab order through every region, the
// result list's keys, the panels taking and giving back the focus, the
// playlist window's link box, the Enter that closes a message box, and each
// shortcut of the window.
#include <QComboBox>
#include <QGuiApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <functional>

#include "app/control_names.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/message_box.h"
#include "resources/resources.h"
#include "tests/app/window/window_fixture.h"

namespace mm::test {
namespace {

using ui::EventType;
using ui::qt::ListBoxView;

class WindowKeyboard : public WindowFixture {
protected:
    ListBoxView* Results() { return Widget<ListBoxView>(app::kResultList); }
    // Lists the demo catalogue's songs and waits until the window shows them.
    void ListSongs(const char* keyword = "demo") {
        Search(keyword);
        ASSERT_TRUE(PumpUntil([&] { return Results()->model()->rowCount() == model.rowCount(app::kResultList); }));
        ASSERT_GT(model.rowCount(app::kResultList), 0);
    }
    bool ShowsPause() { return model.picture(app::kPlayerPlay) == std::string(Resource("pause.png")); }
    QStackedWidget* Pages() { return view->findChild<QStackedWidget*>("pages"); }
    // Focus moves from `from` by Tab (or Shift+Tab) `n` times; the widgets it passes.
    std::vector<QWidget*> Walk(QWidget* from, int n, bool back = false) {
        from->setFocus(Qt::TabFocusReason);
        Pump(20);
        std::vector<QWidget*> seen;
        for (int i = 0; i < n; ++i) {
            Key(back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
            seen.push_back(Focus());
        }
        return seen;
    }
    std::vector<QWidget*> Named(const std::vector<const char*>& names) {
        std::vector<QWidget*> out;
        for (const char* n : names) out.push_back(view->controlWidget(n));
        return out;
    }
};

std::string Names(ui::qt::MainWindowView& view, const std::vector<QWidget*>& widgets) {
    std::string out;
    for (QWidget* w : widgets) {
        std::string name = "?";
        for (const char* n : {app::kSearchBox, app::kSearchButton, app::kSourceCombo, app::kImportQQ,
                              app::kImportNetEase, app::kImportKuwo, app::kImportKugou, app::kResultList,
                              app::kPlayerDownload, app::kPlayerPrevious, app::kPlayerPlay, app::kPlayerNext,
                              app::kPlayerProgress, app::kPlayerMute, app::kPlayerVolume, app::kTierButtonStandard,
                              app::kTierButtonHigh, app::kTierButtonLossless, app::kPlaylistLink,
                              app::kPlaylistBestTier, app::kPlaylistImport}) {
            if (view.controlWidget(n) == w) name = n;
        }
        if (name == "?" && w) name = w->objectName().toStdString();
        out += name + " ";
    }
    return out;
}

TEST_F(WindowKeyboard, TabVisitsEveryRegionInOrderAndTheOpenPanelLast) {
    StartProgram();
    ListSongs();
    // A preview makes the player bar's download button appear.
    Fire(app::kResultList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_TRUE(Widget<QWidget>(app::kPlayerDownload)->isVisible());

    const std::vector<QWidget*> order =
        Named({app::kSearchButton, app::kSourceCombo, app::kImportQQ, app::kImportNetEase, app::kImportKuwo,
               app::kImportKugou, app::kResultList, app::kPlayerDownload, app::kPlayerPrevious, app::kPlayerPlay,
               app::kPlayerNext, app::kPlayerProgress, app::kPlayerMute, app::kPlayerVolume, app::kSearchBox});
    const auto seen = Walk(Widget(app::kSearchBox), static_cast<int>(order.size()));
    EXPECT_EQ(Names(*view, seen), Names(*view, order));

    // With the tier window open, Tab passes through its buttons after the player bar.
    ListBoxView* list = Results();
    ClickAt(list->viewport(), list->visualRect(list->model()->index(1, 1)).center());
    Key(Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Widget(app::kTierPanel)->isVisible(); }));
    ASSERT_TRUE(PumpUntil([&] { return Focus() == Widget(app::kTierButtonStandard); }))
        << "the open panel takes the focus: " << Names(*view, {Focus()});
    QWidget* close = nullptr;
    for (auto* b : Widget(app::kTierPanel)->findChildren<QPushButton*>())
        if (b->objectName() == "closeButton") close = b;
    ASSERT_NE(close, nullptr);
    std::vector<QWidget*> panelOrder;
    for (const char* b : {app::kTierButtonStandard, app::kTierButtonHigh, app::kTierButtonLossless})
        if (Widget(b)->isEnabled()) panelOrder.push_back(Widget(b));
    panelOrder.push_back(close);
    const auto intoPanel = Walk(Widget(app::kPlayerVolume), static_cast<int>(panelOrder.size()));
    EXPECT_EQ(Names(*view, intoPanel), Names(*view, panelOrder));
    // And on round to the search box.
    Key(Qt::Key_Tab);
    EXPECT_EQ(Focus(), Widget(app::kSearchBox));
}

TEST_F(WindowKeyboard, FocusMarkIsDrawnOnTheFocusedControl) {
    StartProgram();
    ListSongs();
    // The same control, focused and not: the picture differs where it stands.
    for (const char* name : {app::kSearchButton, app::kSourceCombo, app::kImportQQ, app::kResultList,
                             app::kPlayerPlay, app::kPlayerVolume}) {
        QWidget* w = Widget(name);
        Widget(app::kSearchBox)->setFocus();
        Pump(30);
        const QImage plain = w->grab().toImage();
        w->setFocus(Qt::TabFocusReason);
        Pump(30);
        ASSERT_EQ(Focus(), w) << name;
        const QImage marked = w->grab().toImage();
        ASSERT_EQ(plain.size(), marked.size()) << name;
        int changed = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x) changed += plain.pixel(x, y) != marked.pixel(x, y);
        EXPECT_GT(changed, 20) << name << " shows no focus mark";
    }
}

TEST_F(WindowKeyboard, ArrowsHomeEndAndPagesMoveTheSelectionAndEnterPreviews) {
    StartProgram();
    ListSongs();
    ListBoxView* list = Results();
    const int rows = list->model()->rowCount();
    ClickAt(list->viewport(), list->visualRect(list->model()->index(1, 1)).center());
    EXPECT_EQ(Focus(), list) << "a click on a row gives the list the keyboard";
    EXPECT_EQ(model.selection(app::kResultList), 1);

    Key(Qt::Key_Down);
    EXPECT_EQ(model.selection(app::kResultList), 2);
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    EXPECT_EQ(model.selection(app::kResultList), 0);
    Key(Qt::Key_Up);
    EXPECT_EQ(model.selection(app::kResultList), 0) << "the first row stays";
    Key(Qt::Key_PageDown);
    const int paged = model.selection(app::kResultList);
    EXPECT_GT(paged, 3);
    Key(Qt::Key_End);
    EXPECT_EQ(model.selection(app::kResultList), rows - 1);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(list->model()->index(rows - 1, 0))));
    Key(Qt::Key_Home);
    EXPECT_EQ(model.selection(app::kResultList), 0);

    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    ASSERT_TRUE(PumpUntilIdle());
    const auto& t = ctx->searchResults.at(2);
    EXPECT_EQ(model.text(app::kPlayerTitle), t.title + " - " + t.singer) << "Enter previews the selected row";
    EXPECT_TRUE(ShowsPause());
    EXPECT_EQ(Focus(), list);
}

TEST_F(WindowKeyboard, EndOnTheLastRowAsksForTheNextPage) {
    StartProgram();
    ListSongs();
    ListBoxView* list = Results();
    ClickAt(list->viewport(), list->visualRect(list->model()->index(0, 1)).center());
    Key(Qt::Key_End);
    EXPECT_EQ(model.rowCount(app::kResultList), 20) << "reaching the last row is not yet past it";
    Key(Qt::Key_Down);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 40);
    EXPECT_EQ(model.selection(app::kResultList), 19) << "the new page does not move the selection";
}

TEST_F(WindowKeyboard, TypingRightAfterThePlaylistWindowOpensGoesIntoItsLinkBox) {
    StartProgram();
    ListSongs();
    ListBoxView* list = Results();
    ClickAt(list->viewport(), list->visualRect(list->model()->index(0, 1)).center());
    ASSERT_EQ(Focus(), list);
    model.setText(app::kSearchBox, "Nora");

    Fire(app::kImportQQ, EventType::MouseEnter);  // the mouse rests on the picture
    ASSERT_TRUE(model.tip().shown);
    Click(Widget(app::kImportNetEase));
    auto* link = Widget<QPlainTextEdit>(app::kPlaylistLink);
    ASSERT_TRUE(PumpUntil([&] { return Widget(app::kPlaylistPanel)->isVisible() && Focus() == link; }));
    EXPECT_FALSE(model.tip().shown) << "the tip closes as its window opens";
    EXPECT_FALSE(view->tipWidget()->isVisible());
    // Gaining the focus emptied the box; the service's prompt stays readable.
    ASSERT_TRUE(PumpUntil([&] { return model.text(app::kPlaylistLink).empty() && link->toPlainText().isEmpty(); }));
    EXPECT_EQ(link->placeholderText(), QStringLiteral("请输入网易分享的链接。"));
    Shot("playlist-window-link-focused");

    const QString url = QString::fromStdString(catalogue.BaseUrl() + "/share/wy/s/7045");
    QTest::keyClicks(Focus(), url);
    Pump(30);
    EXPECT_EQ(model.text(app::kPlaylistLink), url.toStdString());
    EXPECT_EQ(model.text(app::kSearchBox), "Nora") << "nothing went into the search box behind";

    // Pasting lands there too.
    QGuiApplication::clipboard()->setText(QStringLiteral(" 再贴一次"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(model.text(app::kPlaylistLink), url.toStdString() + " 再贴一次");

    // Escape closes it, and the keyboard is back in the list.
    Key(Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !Widget(app::kPlaylistPanel)->isVisible(); }));
    EXPECT_EQ(Focus(), list);
}

TEST_F(WindowKeyboard, EnterThatClosesAMessageBoxStartsNoSearch) {
    RealMessageBoxes();
    StartProgram();
    democat::Fault html;
    html.body = democat::BodyKind::kHtml;
    catalogue.faults().Set(democat::Endpoint::kSearch, html);

    // Typing and Enter in the search box: the search fails and its box comes up.
    QPointer<ui::qt::MessageBoxDialog> box;
    bool shot = false;
    int boxesSeen = 0;
    auto* search = Widget<QLineEdit>(app::kSearchBox);
    // A box runs its own event loop: it is handled from inside it, for as long as the test runs.
    QObject scope;
    std::function<void()> handle = [&] {
        QTimer::singleShot(20, &scope, handle);
        auto* shown = qobject_cast<ui::qt::MessageBoxDialog*>(QApplication::activeModalWidget());
        if (!shown || !shown->isVisible() || shown == box) return;
        box = shown;
        if (++boxesSeen > 1) {
            box->accept();  // a box that should not have come: closed, and counted below
            return;
        }
        shot = true;
        Pump(100);
        const QImage img = Shot("message-box", {box});
        const QRect card(view->mapFromGlobal(box->card()->mapToGlobal(QPoint(0, 0))), box->card()->size());
        EXPECT_GT(DifferentPixels(img, card), 500) << "the box is painted over the page";
        // Enter goes down on the box's button, which closes it at once...
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box.data(), &press);
    };
    QTimer::singleShot(0, &scope, handle);
    TypeSearch(QStringLiteral("demo"));
    ASSERT_TRUE(PumpUntil([&] { return model.messageBoxLog().size() == 1 && shot && !box; }));
    ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
    const int requests = catalogue.stats().Count(democat::Endpoint::kSearch);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(model.messageBoxLog()[0].title, "code:404");

    // ... and comes up over the search box, where the focus went back.
    Activate();
    search->setFocus();
    Pump(20);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(search, &release);
    Pump(50);
    ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
    EXPECT_EQ(catalogue.stats().Count(democat::Endpoint::kSearch), requests) << "no second search";
    EXPECT_EQ(model.messageBoxLog().size(), 1u);
    EXPECT_EQ(boxesSeen, 1);

    // A whole key stroke in the box still searches.
    catalogue.faults().Clear(democat::Endpoint::kSearch);
    QTest::keyClick(search, Qt::Key_Return);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(catalogue.stats().Count(democat::Endpoint::kSearch), requests + 1);
}

TEST_F(WindowKeyboard, ShortcutsFromTheKeyboard) {
    StartProgram();
    ListSongs();
    ListBoxView* list = Results();

    // Ctrl+1 / 2 / 3: the pages.
    Key(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Pages()->currentIndex() == 1; }));
    Key(Qt::Key_3, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Pages()->currentIndex() == 2; }));
    Key(Qt::Key_1, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Pages()->currentIndex() == 0; }));

    // Ctrl+F from another page: the search page, the cursor in the search box.
    Key(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Pages()->currentIndex() == 1; }));
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Pages()->currentIndex() == 0 && Focus() == Widget(app::kSearchBox); }));

    // Space types a space in the search box; in the list it plays and pauses.
    Key(Qt::Key_Space);
    EXPECT_NE(model.text(app::kSearchBox).find(' '), std::string::npos);
    ClickAt(list->viewport(), list->visualRect(list->model()->index(1, 1)).center());
    Key(Qt::Key_Return);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_TRUE(ShowsPause());
    Key(Qt::Key_Space);
    ASSERT_TRUE(PumpUntil([&] { return !ShowsPause(); }));
    Key(Qt::Key_Space);
    ASSERT_TRUE(PumpUntil([&] { return ShowsPause(); }));
    EXPECT_EQ(Focus(), list);

    // Ctrl+D: the selected row's tier window, which takes the focus; Escape closes it and gives it back.
    Key(Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Widget(app::kTierPanel)->isVisible(); }));
    EXPECT_EQ(model.text(app::kTierTitle), ctx->searchResults.at(1).title);
    ASSERT_TRUE(PumpUntil([&] { return Focus() && Widget(app::kTierPanel)->isAncestorOf(Focus()); }));
    Key(Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !Widget(app::kTierPanel)->isVisible(); }));
    EXPECT_EQ(Focus(), list) << "the focus is back where it was";

    // Enter on a focused tier button downloads that tier.
    const int queued = model.rowCount(app::kDownloadList);  // the preview's own, listening and downloading
    Key(Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return Focus() == Widget(app::kTierButtonStandard); }));
    Key(Qt::Key_Return);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(model.rowCount(app::kDownloadList), queued + 1);
}

TEST_F(WindowKeyboard, ToolTipsNameTheKeys) {
    StartProgram();
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_TRUE(Widget(app::kPlayerPlay)->toolTip().contains(QStringLiteral("空格")));
    EXPECT_TRUE(Widget(app::kSearchBox)->toolTip().contains(QStringLiteral("Ctrl+F")));
    EXPECT_TRUE(Widget(app::kToolSearch)->toolTip().contains(QStringLiteral("Ctrl+1")));
    EXPECT_TRUE(Widget(app::kToolDownloads)->toolTip().contains(QStringLiteral("Ctrl+2")));
    EXPECT_TRUE(Widget(app::kToolSettings)->toolTip().contains(QStringLiteral("Ctrl+3")));
    const QString head = Results()->horizontalHeader()->toolTip();
    EXPECT_TRUE(head.contains(QStringLiteral("Ctrl+D")) && head.contains(QStringLiteral("回车")));
    EXPECT_TRUE(Results()->toolTip().isEmpty()) << "the rows keep their own tool tips";
    for (const char* panel : {app::kTierPanel, app::kPlaylistPanel}) {
        auto* close = Widget(panel)->findChild<QPushButton*>(QStringLiteral("closeButton"));
        ASSERT_NE(close, nullptr) << panel;
        EXPECT_TRUE(close->toolTip().contains(QStringLiteral("Esc"))) << panel;
        EXPECT_TRUE(Widget(panel)->toolTip().isEmpty()) << panel;
    }
    EXPECT_TRUE(view->toolTip().isEmpty()) << "no hint over the whole window";
    // The hints are the program's: a script reads the same text.
    EXPECT_EQ(Widget(app::kSearchBox)->toolTip().toStdString(), model.toolTip(app::kSearchBox));
}

}  // namespace
}  // namespace mm::test
