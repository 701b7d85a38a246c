// The settings page in the real Qt window (offscreen), driven by the whole
// program: the custom name template typed key by key with its live example,
// refused templates, and the library choices; saved as PNG.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <cstdio>

#include "app/control_names.h"
#include "app/library_settings.h"
#include "platform/sys/ini_store.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/skin.h"
#include "tests/app/window/window_fixture.h"
#include "tests/flow/flow_fixture.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {
namespace {

class SettingsWindow : public WindowFixture {
protected:
    template <class W>
    W* Widget(const char* name) {
        auto* w = qobject_cast<W*>(view->controlWidget(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Keys typed into the template box, one by one, as a user types them.
    void Type(const QString& text) {
        QLineEdit* box = Widget<QLineEdit>(app::kEditNameTemplate);
        box->setFocus();
        QTest::keyClicks(box, text);
        // Each key's event runs on the program's UI thread; then the view shows the result.
        ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
        view->flushChanges();
        Pump(30);
    }
    void ClearTemplate() {
        QLineEdit* box = Widget<QLineEdit>(app::kEditNameTemplate);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
        view->flushChanges();
        Pump(30);
    }
    QString Example() { return Widget<QLabel>(app::kLabelNameExample)->text(); }
    std::string Setting(const char* section, const char* key) {
        return sys::IniStore(configPath).Read(section, key);
    }
};

TEST_F(SettingsWindow, TemplateTypedWithItsLiveExampleAndTheLibraryChoices) {
    StartProgram();
    model.setSelection(app::kTabs, 2);
    ASSERT_TRUE(PumpUntil([&] { return Widget<QLineEdit>(app::kEditNameTemplate)->isVisible(); }));
    EXPECT_EQ(Widget<QLineEdit>(app::kEditNameTemplate)->text(),
              QString::fromUtf8(app::kDefaultNameTemplate));
    EXPECT_EQ(Example(), QStringLiteral("示例：周杰伦/叶惠美/晴天 - 周杰伦.mp3"));

    // Every key shows the name the example song would get.
    ClearTemplate();
    EXPECT_EQ(Example(), QStringLiteral("命名模板不能为空。"));
    Type(QStringLiteral("../"));
    EXPECT_TRUE(Example().contains(QStringLiteral(".."))) << Example().toStdString();
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyNameTemplate), "");
    ClearTemplate();
    Type(QStringLiteral("{singer}"));
    EXPECT_EQ(Example(), QStringLiteral("示例：周杰伦.mp3"));
    Type(QStringLiteral("/{album}/{index} {title} [{tier}]"));
    EXPECT_EQ(Example(), QStringLiteral("示例：周杰伦/叶惠美/01 晴天 [高品].mp3"));
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyNameTemplate),
              "{singer}/{album}/{index} {title} [{tier}]");

    // The fourth naming choice, clicked.
    QTest::mouseClick(Widget<QRadioButton>(app::kRadioNaming4), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
    EXPECT_TRUE(model.checked(app::kRadioNaming4));
    EXPECT_FALSE(model.checked(app::kRadioNaming1));
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyCustomNaming), "1");

    // Lyrics file in GBK, tags in UTF-16, album covers on.
    QCheckBox* lyricsFile = Widget<QCheckBox>(app::kCheckLyricsFile);
    QTest::mouseClick(lyricsFile, Qt::LeftButton, {}, QPoint(8, lyricsFile->height() / 2));
    QComboBox* lyrics = Widget<QComboBox>(app::kComboLyricsEncoding);
    ASSERT_EQ(lyrics->count(), 3);
    EXPECT_EQ(lyrics->currentText(), QStringLiteral("UTF-8"));
    lyrics->setCurrentIndex(2);
    emit lyrics->activated(2);
    QComboBox* tags = Widget<QComboBox>(app::kComboTagEncoding);
    ASSERT_EQ(tags->count(), 3);
    EXPECT_EQ(tags->currentText(), QStringLiteral("GBK (兼容旧播放器)"));
    EXPECT_EQ(tags->itemText(1), QStringLiteral("Unicode (UTF-16)"));
    EXPECT_EQ(tags->itemText(2), QStringLiteral("ID3v2.4 UTF-8"));
    tags->setCurrentIndex(1);
    emit tags->activated(1);
    // On its box: a check box stretched across the row takes clicks only there.
    QCheckBox* cover = Widget<QCheckBox>(app::kCheckFolderCover);
    QTest::mouseClick(cover, Qt::LeftButton, {}, QPoint(8, cover->height() / 2));
    ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));
    EXPECT_EQ(Setting(app::kSectionLyricsFile, app::kKeyLyricsFileOn), "1");
    EXPECT_EQ(Setting(app::kSectionLyricsFile, app::kKeyLyricsFileEncoding), "GBK");
    EXPECT_EQ(Setting(app::kSectionTags, app::kKeyTagEncoding), "UTF-16");
    EXPECT_EQ(Setting(app::kSectionTags, app::kKeyFolderCover), "1");

    // Every control of the page fits inside the window.
    for (const char* name : {app::kEditNameTemplate, app::kLabelNameExample, app::kCheckFolderCover,
                             app::kComboTagEncoding, app::kComboLyricsEncoding}) {
        QWidget* w = view->controlWidget(name);
        const QRect r(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(view->rect().contains(r)) << name;
    }

    view->flushChanges();
    Pump(150);
    QDir().mkpath(MM_SCREENSHOT_DIR);
    const QString path = QString::fromUtf8(MM_SCREENSHOT_DIR) + "/settings-name-template.png";
    ASSERT_TRUE(ui::qt::SaveScreenshot(path, view.get()));
    const QImage img(path);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), view->size() * img.devicePixelRatio());
    std::printf("screenshot: %s\n", qPrintable(path));
}

}  // namespace
}  // namespace mm::test
