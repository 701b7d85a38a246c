// The main window's design: which widget stands for which control, and where.
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/ui/qt/control_binder.h"
#include "platform/ui/qt/elided_label.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/picture_box.h"
#include "platform/ui/qt/seek_slider.h"
#include "platform/ui/qt/selector_combo.h"
#include "resources/resources.h"

namespace mm::ui::qt {

namespace {

QPixmap art(const char* name) {
    return ImageCache::fromBytes(mm::Resource(name));
}

QLabel* staticLabel(const QString& text, const char* objectName, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(objectName);
    return l;
}

PictureBox* picture(QSize size, QWidget* parent) {
    auto* p = new PictureBox(parent);
    p->setFixedSize(size);
    return p;
}

QPushButton* iconButton(QSize size, QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setObjectName("iconButton");
    b->setFixedSize(size);
    b->setCursor(Qt::PointingHandCursor);
    // Reached by Tab; a click leaves the keyboard where it was (the list).
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QFrame* panelFrame(QWidget* parent, int width) {
    auto* f = new QFrame(parent);
    f->setObjectName("panel");
    f->setFixedWidth(width);
    auto* shadow = new QGraphicsDropShadowEffect(f);
    shadow->setBlurRadius(28);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, 60));
    f->setGraphicsEffect(shadow);
    f->hide();
    return f;
}

}  // namespace

void MainWindowView::buildLayout() {
    setWindowIcon(QIcon(art("app_icon.png")));
    setMinimumSize(900, 600);
    resize(1040, 680);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    auto* upper = new QHBoxLayout;
    upper->setSpacing(0);
    upper->addWidget(buildSidebar());

    content_ = new QWidget(this);
    content_->setObjectName("content");
    auto* pages = new QStackedWidget(content_);
    pages->setObjectName("pages");
    pages->addWidget(buildSearchPage());
    pages->addWidget(buildDownloadPage());
    pages->addWidget(buildSettingsPage());
    binder_->bindTabs("选择夹EX1", pages);
    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(24, 20, 24, 16);
    contentLayout->addWidget(pages);
    content_->installEventFilter(this);
    upper->addWidget(content_, 1);
    root->addLayout(upper, 1);
    root->addWidget(buildPlayerBar());

    auto* added = picture(QSize(132, 32), content_);
    added->hide();
    binder_->bindPicture("图片框_加入下载列表动画", added);
    addedBadge_ = added;

    buildTierPanel();
    buildPlaylistPanel();
    // Enter presses a focused button, as Space does.
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(true);
}

// Qt's Tab order is the order the widgets were made in, which is the order on
// screen: the search box, 搜索, the source selector, the four import pictures,
// the result list, then the player bar from left to right, then an open panel.
// Only the panels' close buttons are made first and are moved to their end.

QWidget* MainWindowView::buildSidebar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("sidebar");
    bar->setAttribute(Qt::WA_StyledBackground);
    bar->setFixedWidth(190);
    auto* col = new QVBoxLayout(bar);
    col->setContentsMargins(12, 8, 12, 16);
    col->setSpacing(6);
    auto* brand = staticLabel(QStringLiteral("MorvaneMusic"), "brand", bar);
    col->addWidget(brand);
    const struct {
        const char* name;
        const char* icon;
        int page;
    } entries[] = {{"工具栏_搜索音乐", "nav_search.png", 0},
                   {"工具栏_本地下载", "nav_downloads.png", 1},
                   {"工具栏_设置", "nav_settings.png", 2}};
    for (const auto& e : entries) {
        auto* b = new QToolButton(bar);
        b->setObjectName("toolEntry");
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIcon(QIcon(art(e.icon)));
        b->setIconSize(QSize(20, 20));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setCursor(Qt::PointingHandCursor);
        b->setFocusPolicy(Qt::NoFocus);
        binder_->bindToolEntry(e.name, b, e.page);
        if (e.page == 1) {
            // How many downloads are still running, at the entry's right end.
            auto* inside = new QHBoxLayout(b);
            inside->setContentsMargins(0, 0, 10, 0);
            inside->addStretch();
            auto* running = staticLabel({}, "navBadge", b);
            running->setAlignment(Qt::AlignCenter);
            running->setFixedHeight(18);
            running->setMinimumWidth(18);
            running->setAttribute(Qt::WA_TransparentForMouseEvents);
            binder_->bindLabel("标签_正在下载", running);
            inside->addWidget(running, 0, Qt::AlignVCenter);
        }
        col->addWidget(b);
    }
    col->addStretch();
    col->addWidget(staticLabel(QStringLiteral("v1.1"), "hint", bar));
    return bar;
}

QWidget* MainWindowView::buildSearchPage() {
    auto* page = new QWidget;
    auto* col = new QVBoxLayout(page);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(14);

    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(10);
    auto* box = new QLineEdit(page);
    box->setMinimumHeight(36);
    binder_->bindLineEdit("编辑框_搜索歌曲名", box);
    searchBox_ = box;
    auto* go = new QPushButton(page);
    go->setObjectName("accent");
    go->setMinimumSize(84, 36);
    go->setCursor(Qt::PointingHandCursor);
    binder_->bindButton("控制_搜索", go);
    auto* sources = new SelectorCombo(page);
    sources->setMinimumSize(170, 36);
    sources->setIconSize(QSize(20, 20));
    binder_->bindCombo("组合框_音源选择", sources);
    searchRow->addWidget(box, 1);
    searchRow->addWidget(go);
    searchRow->addWidget(sources);
    col->addLayout(searchRow);

    auto* imports = new QFrame(page);
    imports->setObjectName("card");
    auto* importRow = new QHBoxLayout(imports);
    importRow->setContentsMargins(16, 8, 16, 8);
    importRow->setSpacing(14);
    importRow->addWidget(staticLabel(QStringLiteral("导入歌单"), "sectionTitle", imports));
    for (const char* name : {"图片框_企鹅", "图片框_网易", "图片框_酷我", "图片框_酷狗"}) {
        auto* p = picture(QSize(30, 30), imports);
        p->setClickable(true);
        binder_->bindPicture(name, p);
        importRow->addWidget(p);
    }
    importRow->addWidget(staticLabel(QStringLiteral("复制歌单分享链接，点对应图标导入"), "hint", imports));
    importRow->addStretch();
    col->addWidget(imports);

    // The quiet line naming what the list shows sits close above it.
    auto* listBlock = new QVBoxLayout;
    listBlock->setSpacing(6);
    auto* heading = new ElidedLabel(page);
    heading->setObjectName("listHeading");
    binder_->bindLabel("标签_列表说明", heading);
    listBlock->addWidget(heading);

    auto* results = new ListBoxView(model_, "列表框_搜索", images_, page);
    results->setColumnWidths({56, -1, -1, -1, 70, 72});
    binder_->bindList("列表框_搜索", results);
    binder_->bindListNotice("标签_列表提示", results);
    searchList_ = results;
    listBlock->addWidget(results, 1);
    col->addLayout(listBlock, 1);

    auto* spinner = picture(QSize(48, 48), results);
    spinner->setSpinning(true);
    spinner->setAttribute(Qt::WA_TransparentForMouseEvents);
    binder_->bindPicture("图片框_加载动画", spinner);
    loading_ = spinner;
    auto* wait = staticLabel({}, "loadingText", results);
    wait->setAlignment(Qt::AlignCenter);
    wait->setAttribute(Qt::WA_TransparentForMouseEvents);
    binder_->bindLabel("标签EX4", wait);
    loadingText_ = wait;
    results->installEventFilter(this);
    return page;
}

QWidget* MainWindowView::buildDownloadPage() {
    auto* page = new QWidget;
    auto* col = new QVBoxLayout(page);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(14);
    auto* head = new QHBoxLayout;
    head->setSpacing(10);
    head->addWidget(staticLabel(QStringLiteral("下载列表"), "pageTitle", page));
    auto* counter = staticLabel({}, "counter", page);
    binder_->bindLabel("标签_下载列表歌曲", counter);
    head->addWidget(counter);
    head->addStretch();
    col->addLayout(head);
    auto* downloads = new ListBoxView(model_, "列表框_下载", images_, page);
    downloads->setColumnWidths({-1, 260});
    downloads->setFollowNewRows(true);
    binder_->bindList("列表框_下载", downloads);
    binder_->bindListNotice("标签_下载列表提示", downloads);
    col->addWidget(downloads, 1);
    return page;
}

QWidget* MainWindowView::buildSettingsPage() {
    auto* page = new QWidget;
    auto* col = new QVBoxLayout(page);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(14);
    col->addWidget(staticLabel(QStringLiteral("设置"), "pageTitle", page));
    auto* card = new QFrame(page);
    card->setObjectName("card");
    auto* grid = new QGridLayout(card);
    grid->setContentsMargins(24, 20, 24, 20);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(18);
    grid->setColumnStretch(1, 1);

    auto heading = [&](const char* name, int row) {
        auto* l = staticLabel({}, "sectionTitle", card);
        binder_->bindLabel(name, l);
        grid->addWidget(l, row, 0, Qt::AlignTop | Qt::AlignLeft);
    };
    heading("标签EX1", 0);
    auto* pathRow = new QHBoxLayout;
    auto* path = staticLabel({}, "pathLabel", card);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    binder_->bindLabel("标签_下载路径", path);
    auto* change = new QPushButton(card);
    change->setCursor(Qt::PointingHandCursor);
    change->setMinimumHeight(34);  // tall enough for the skin's round ends
    binder_->bindButton("按钮EX1", change);
    pathRow->addWidget(path, 1);
    pathRow->addWidget(change);
    grid->addLayout(pathRow, 0, 1);

    heading("标签EX2", 1);
    auto* namingBox = new QVBoxLayout;
    namingBox->setSpacing(8);
    auto* naming = new QHBoxLayout;
    naming->setSpacing(24);
    for (const char* name : {"单选框_命名1", "单选框_命名2", "单选框_命名3", "单选框_命名4"}) {
        auto* r = new QRadioButton(card);
        binder_->bindRadio(name, r, 1);
        naming->addWidget(r);
    }
    naming->addStretch();
    namingBox->addLayout(naming);
    // The custom template and the name an example song would get, live.
    auto* tmpl = new QLineEdit(card);
    tmpl->setMinimumHeight(34);
    tmpl->setToolTip(QStringLiteral("可用字段：{title} {singer} {album} {tier} {source} {index}，“/” 分出子文件夹"));
    binder_->bindLineEdit("编辑框_命名模板", tmpl);
    namingBox->addWidget(tmpl);
    auto* example = staticLabel({}, "hint", card);
    example->setWordWrap(true);
    example->setTextInteractionFlags(Qt::TextSelectableByMouse);
    binder_->bindLabel("标签_命名示例", example);
    namingBox->addWidget(example);
    grid->addLayout(namingBox, 1, 1);

    heading("标签EX3", 2);
    auto* others = new QVBoxLayout;
    for (const char* name : {"选择框_嵌入封面", "选择框_试听下载", "选择框_桌面通知"}) {
        auto* c = new QCheckBox(card);
        binder_->bindCheckBox(name, c);
        others->addWidget(c);
    }
    grid->addLayout(others, 2, 1);

    heading("标签_音乐库", 3);
    auto* library = new QVBoxLayout;
    library->setSpacing(8);
    auto* lyricsRow = new QHBoxLayout;
    lyricsRow->setSpacing(12);
    auto* lyrics = new QCheckBox(card);
    binder_->bindCheckBox("选择框_歌词文件", lyrics);
    auto* lyricsEncoding = new QComboBox(card);
    lyricsEncoding->setMinimumSize(190, 32);
    binder_->bindCombo("组合框_歌词编码", lyricsEncoding);
    lyricsRow->addWidget(lyrics);
    lyricsRow->addWidget(lyricsEncoding);
    lyricsRow->addStretch();
    library->addLayout(lyricsRow);
    auto* tagRow = new QHBoxLayout;
    tagRow->setSpacing(12);
    tagRow->addWidget(staticLabel(QStringLiteral("MP3 标签文字编码"), "", card));
    auto* tagEncoding = new QComboBox(card);
    tagEncoding->setMinimumSize(190, 32);
    binder_->bindCombo("组合框_标签编码", tagEncoding);
    tagRow->addWidget(tagEncoding);
    tagRow->addStretch();
    library->addLayout(tagRow);
    auto* folderCover = new QCheckBox(card);
    binder_->bindCheckBox("选择框_文件夹封面", folderCover);
    library->addWidget(folderCover);
    grid->addLayout(library, 3, 1);
    heading("标签EX5", 4);
    auto* parallelRow = new QHBoxLayout;
    auto* parallel = new QComboBox(card);
    parallel->setMinimumSize(90, 32);
    binder_->bindCombo("组合框_同时下载数", parallel);
    parallelRow->addWidget(parallel);
    parallelRow->addStretch();
    grid->addLayout(parallelRow, 4, 1);
    col->addWidget(card);
    col->addStretch();
    return page;
}

QWidget* MainWindowView::buildPlayerBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("playerBar");
    bar->setAttribute(Qt::WA_StyledBackground);
    bar->setFixedHeight(84);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(20, 8, 24, 8);
    row->setSpacing(14);

    auto* cover = picture(QSize(60, 60), bar);
    cover->setRound(true);
    binder_->bindPicture("图片框_音乐封面", cover);
    row->addWidget(cover);

    auto* info = new QVBoxLayout;
    info->setSpacing(6);
    auto* title = new ElidedLabel(bar);
    title->setObjectName("playerTitle");
    title->setFixedWidth(260);
    binder_->bindLabel("播放栏_歌曲名", title);
    info->addWidget(title);
    auto* badges = new QHBoxLayout;
    badges->setSpacing(6);
    for (const char* name : {"播放栏_品质_标准", "播放栏_品质_高品", "播放栏_品质_无损"}) {
        auto* b = picture(QSize(34, 18), bar);
        binder_->bindPicture(name, b);
        badges->addWidget(b);
    }
    auto* download = iconButton(QSize(24, 24), bar);
    download->setToolTip(QStringLiteral("下载正在试听的歌曲"));
    binder_->bindButton("播放栏_下载", download);
    badges->addWidget(download);
    badges->addStretch();
    info->addLayout(badges);
    row->addLayout(info);

    auto* center = new QVBoxLayout;
    center->setSpacing(2);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(18);
    buttons->addStretch();
    const struct {
        const char* name;
        int size;
        const char* tip;
    } controls[] = {{"播放栏_上一首", 32, "上一首"}, {"播放栏_播放", 40, "播放/暂停"}, {"播放栏_下一首", 32, "下一首"}};
    for (const auto& c : controls) {
        auto* b = iconButton(QSize(c.size, c.size), bar);
        b->setToolTip(QString::fromUtf8(c.tip));
        binder_->bindButton(c.name, b);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    center->addLayout(buttons);
    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(10);
    auto* progress = new SeekSlider(bar);
    progress->setCursor(Qt::PointingHandCursor);
    progress->setFocusPolicy(Qt::TabFocus);
    binder_->bindSlider("播放栏_进度", progress);
    auto* time = staticLabel({}, "playerTime", bar);
    time->setMinimumWidth(48);
    binder_->bindLabel("播放栏_最长时间", time);
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(time);
    center->addLayout(progressRow);
    row->addLayout(center, 1);

    auto* mute = iconButton(QSize(24, 24), bar);
    mute->setToolTip(QStringLiteral("静音"));
    binder_->bindButton("播放栏_音量", mute);
    auto* volume = new QSlider(Qt::Horizontal, bar);
    volume->setFixedWidth(110);
    volume->setFocusPolicy(Qt::TabFocus);
    volume->setToolTip(QStringLiteral("音量"));
    volume->setCursor(Qt::PointingHandCursor);
    binder_->bindSlider("播放栏_音乐音量", volume);
    row->addSpacing(10);
    row->addWidget(mute);
    row->addWidget(volume);
    return bar;
}

void MainWindowView::buildTierPanel() {
    auto* panel = panelFrame(content_, 380);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(22, 16, 16, 20);
    col->setSpacing(8);
    auto* head = new QHBoxLayout;
    head->addWidget(staticLabel(QStringLiteral("下载单曲"), "panelTitle", panel));
    head->addStretch();
    auto* close = new QPushButton(QStringLiteral("✕"), panel);
    close->setObjectName("closeButton");
    close->setCursor(Qt::PointingHandCursor);
    close->setToolTip(QStringLiteral("关闭"));
    // Closing the panel by hand counts as the panel losing activation.
    connect(close, &QPushButton::clicked, this,
            [this] { binder_->fire("窗口_下载选择", EventType::ActivationChanged, 0); });
    head->addWidget(close);
    col->addLayout(head);
    auto* title = staticLabel({}, "sectionTitle", panel);
    binder_->bindLabel("标签_歌曲名", title);
    auto* singer = staticLabel({}, "hint", panel);
    binder_->bindLabel("标签_艺术家", singer);
    col->addWidget(title);
    col->addWidget(singer);
    col->addSpacing(8);
    const struct {
        const char* name;
        const char* badge;
    } tiers[] = {{"按钮_下载_标准音质", "badge_standard.png"},
                 {"按钮_下载_高品音质", "badge_high.png"},
                 {"按钮_下载_无损音质", "badge_lossless.png"}};
    QWidget* last = nullptr;
    for (const auto& t : tiers) {
        auto* b = new QPushButton(panel);
        b->setObjectName("tierButton");
        b->setIcon(QIcon(art(t.badge)));
        b->setIconSize(QSize(34, 18));
        b->setMinimumHeight(40);
        b->setCursor(Qt::PointingHandCursor);
        // Enter presses the focused tier, as Space does.
        b->setAutoDefault(true);
        binder_->bindButton(t.name, b);
        col->addWidget(b);
        panelFocus_[panel].push_back(b);
        last = b;
    }
    setTabOrder(last, close);
    panelFocus_[panel].push_back(close);
    binder_->bindPanel(
        "窗口_下载选择", panel, [this, panel] { centerPanel(panel); }, [this, panel] { panelHiding(panel); });
    panels_.emplace_back("窗口_下载选择", panel);
}

void MainWindowView::buildPlaylistPanel() {
    auto* panel = panelFrame(content_, 440);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(22, 16, 16, 20);
    col->setSpacing(10);
    auto* head = new QHBoxLayout;
    head->setSpacing(10);
    auto* logo = picture(QSize(30, 30), panel);
    binder_->bindPicture("图片框_歌单类型图片", logo);
    head->addWidget(logo);
    head->addWidget(staticLabel(QStringLiteral("导入歌单"), "panelTitle", panel));
    head->addStretch();
    auto* close = new QPushButton(QStringLiteral("✕"), panel);
    close->setObjectName("closeButton");
    close->setCursor(Qt::PointingHandCursor);
    close->setToolTip(QStringLiteral("关闭"));
    connect(close, &QPushButton::clicked, this,
            [this] { binder_->fire("窗口_歌单解析", EventType::WindowClose, 0); });
    head->addWidget(close);
    col->addLayout(head);
    auto* link = new QPlainTextEdit(panel);
    link->setFixedHeight(110);
    // Tab leaves the box instead of typing a tab into it.
    link->setTabChangesFocus(true);
    binder_->bindTextEdit("编辑框_歌单_链接", link);
    col->addWidget(link);
    auto* hint = staticLabel({}, "hint", panel);
    hint->setWordWrap(true);
    binder_->bindLabel("标签_歌单_解析提示", hint);
    col->addWidget(hint);
    auto* foot = new QHBoxLayout;
    auto* best = new QCheckBox(panel);
    binder_->bindCheckBox("选择框_歌单_下载品质", best);
    foot->addWidget(best);
    auto* skip = new QCheckBox(panel);
    binder_->bindCheckBox("选择框_歌单_跳过已下载", skip);
    foot->addWidget(skip);
    foot->addStretch();
    auto* import = new QPushButton(panel);
    import->setObjectName("accent");
    import->setMinimumSize(96, 34);
    import->setCursor(Qt::PointingHandCursor);
    binder_->bindButton("按钮_歌单_导入", import);
    import->setAutoDefault(true);
    foot->addWidget(import);
    col->addLayout(foot);
    setTabOrder(import, close);
    // Typing or pasting right after the window opened goes into the link box.
    panelFocus_[panel] = {link, import, close};
    binder_->bindPanel(
        "窗口_歌单解析", panel, [this, panel] { centerPanel(panel); }, [this, panel] { panelHiding(panel); });
    panels_.emplace_back("窗口_歌单解析", panel);
}

void MainWindowView::centerPanel(QWidget* panel) {
    panel->adjustSize();
    const QSize s = panel->size();
    panel->move((content_->width() - s.width()) / 2, std::max(20, (content_->height() - s.height()) / 3));
}

void MainWindowView::placeOverlays() {
    if (searchList_ && loading_ && loadingText_) {
        const QRect r = searchList_->rect();
        loading_->move(r.center().x() - loading_->width() / 2, r.center().y() - loading_->height());
        loadingText_->adjustSize();
        loadingText_->move(r.center().x() - loadingText_->width() / 2, r.center().y() + 8);
    }
    if (addedBadge_) {
        addedBadge_->move((content_->width() - addedBadge_->width()) / 2,
                          content_->height() - addedBadge_->height() - 20);
        addedBadge_->raise();
    }
    for (auto& [name, panel] : panels_) {
        if (panel->isVisible()) centerPanel(panel);
    }
}

}  // namespace mm::ui::qt
