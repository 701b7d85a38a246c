#include "app/controls.h"

#include <string_view>

#include "resources/resources.h"

namespace mm::app {
namespace {

using mm::ui::Kind;

struct ControlSpec {
    const char* name;
    Kind kind;
    const char* caption;
    bool hidden = false;
    const char* picture = nullptr;  // artwork file shown at start
    bool checked = false;
};

// Definition order is layout order: window, tool bar, pages, player bar, panels, timers.
const ControlSpec kControls[] = {
    {"窗口EX1", Kind::Window, "MorvaneMusic"},
    {"选择夹EX1", Kind::Tab, ""},
    {"工具栏_搜索音乐", Kind::ToolEntry, "音乐搜索"},
    {"工具栏_本地下载", Kind::ToolEntry, "下载管理"},
    {"工具栏_设置", Kind::ToolEntry, "设置"},

    // Page 0: search.
    {"编辑框_搜索歌曲名", Kind::EditBox, "搜点什么吧..."},
    {"控制_搜索", Kind::Button, "搜索"},
    {"组合框_音源选择", Kind::ComboBox, "音源"},
    {"图片框_企鹅", Kind::PictureBox, "", true, "logo_qq.png"},
    {"图片框_网易", Kind::PictureBox, "", true, "logo_netease.png"},
    {"图片框_酷我", Kind::PictureBox, "", true, "logo_kuwo.png"},
    {"图片框_酷狗", Kind::PictureBox, "", true, "logo_kugou.png"},
    {"列表框_搜索", Kind::ListBox, ""},
    {"图片框_加载动画", Kind::PictureBox, "", true, "loading.png"},
    {"标签EX4", Kind::Label, "等等我！马上就好！", true},
    {"标签_列表说明", Kind::Label, ""},
    {"标签_列表提示", Kind::Label, "", true},

    // Page 1: download list.
    {"列表框_下载", Kind::ListBox, ""},
    {"标签_下载列表歌曲", Kind::Label, "0"},
    {"标签_下载列表提示", Kind::Label,
     "下载列表还是空的\r\n在搜索结果上点右键，选“下载 - 单曲”，或在播放栏点下载按钮，歌曲就会出现在这里"},
    {"标签_正在下载", Kind::Label, "0", true},

    // Page 2: settings.
    {"标签EX1", Kind::Label, "当前下载路径："},
    {"标签_下载路径", Kind::Label, ""},
    {"按钮EX1", Kind::Button, "更改"},
    {"标签EX2", Kind::Label, "文件命名方式："},
    {"单选框_命名1", Kind::RadioButton, "歌名 - 歌手", false, nullptr, true},
    {"单选框_命名2", Kind::RadioButton, "歌手 - 歌曲"},
    {"单选框_命名3", Kind::RadioButton, "歌名"},
    {"单选框_命名4", Kind::RadioButton, "自定义"},
    {"编辑框_命名模板", Kind::EditBox, "{singer}/{album}/{title} - {singer}"},
    {"标签_命名示例", Kind::Label, ""},
    {"标签EX3", Kind::Label, "其他设置："},
    {"选择框_嵌入封面", Kind::CheckBox, "自动嵌入封面、歌词", false, nullptr, true},
    {"选择框_试听下载", Kind::CheckBox, "边听边下载歌曲", false, nullptr, true},
    {"选择框_桌面通知", Kind::CheckBox, "下载结束时发送桌面通知", false, nullptr, true},
    {"标签_音乐库", Kind::Label, "音乐库文件："},
    {"选择框_歌词文件", Kind::CheckBox, "保存歌词文件 (.lrc)"},
    {"组合框_歌词编码", Kind::ComboBox, "歌词文件编码"},
    {"组合框_标签编码", Kind::ComboBox, "MP3 标签文字编码"},
    {"选择框_文件夹封面", Kind::CheckBox, "专辑文件夹里保存封面图片 (cover.jpg)"},
    {"标签EX5", Kind::Label, "同时下载数："},
    {"组合框_同时下载数", Kind::ComboBox, "同时下载数"},

    // Player bar.
    {"图片框_音乐封面", Kind::PictureBox, "", false, "default_cover.png"},
    {"播放栏_歌曲名", Kind::Label, ""},
    {"播放栏_最长时间", Kind::Label, "00:00"},
    {"播放栏_进度", Kind::Slider, ""},
    {"播放栏_上一首", Kind::Button, "", false, "previous.png"},
    {"播放栏_播放", Kind::Button, "", false, "play.png"},
    {"播放栏_下一首", Kind::Button, "", false, "next.png"},
    {"播放栏_品质_标准", Kind::PictureBox, "", true, "badge_standard.png"},
    {"播放栏_品质_高品", Kind::PictureBox, "", true, "badge_high.png"},
    {"播放栏_品质_无损", Kind::PictureBox, "", true, "badge_lossless.png"},
    {"播放栏_下载", Kind::Button, "", true, "download.png"},
    {"播放栏_音量", Kind::Button, "", false, "volume.png"},
    {"播放栏_音乐音量", Kind::Slider, ""},
    {"图片框_加入下载列表动画", Kind::PictureBox, "", true, "added_to_list.png"},

    // Tier panel.
    {"窗口_下载选择", Kind::Window, "", true},
    {"标签_歌曲名", Kind::Label, ""},
    {"标签_艺术家", Kind::Label, ""},
    {"按钮_下载_标准音质", Kind::Button, "标准音质"},
    {"按钮_下载_高品音质", Kind::Button, "高品音质"},
    {"按钮_下载_无损音质", Kind::Button, "无损音质"},

    // Playlist panel.
    {"窗口_歌单解析", Kind::Window, "", true},
    {"图片框_歌单类型图片", Kind::PictureBox, "", false, "logo_qq.png"},
    {"编辑框_歌单_链接", Kind::EditBox, "\r\n请输入完整歌单链接\r\n\r\n支持企鹅、网抑云、酷沃歌单"},
    {"选择框_歌单_下载品质", Kind::CheckBox, "下载最高品质", false, nullptr, true},
    {"选择框_歌单_跳过已下载", Kind::CheckBox, "跳过已下载的歌曲", false, nullptr, true},
    {"按钮_歌单_导入", Kind::Button, "导入"},
    {"标签_歌单_解析提示", Kind::Label, "粘贴分享链接后点击导入"},

    // Timers: stopped until a preview plays.
    {"时钟_试听播放", Kind::Timer, ""},
    {"时钟_试听封面旋转", Kind::Timer, ""},
};

}  // namespace

std::vector<std::string> SearchListColumns() {
    // The last column carries the "已下载" mark of songs downloaded already.
    return {"", "歌曲", "艺术家", "专辑", "时长", ""};
}

std::vector<std::string> DownloadListColumns() {
    return {"歌曲", "状态"};
}

void DefineMainWindowControls(mm::ui::ControlModel& model) {
    for (const ControlSpec& c : kControls) {
        model.define(c.name, c.kind, c.caption);
        if (c.hidden) model.setVisible(c.name, false);
        if (c.checked) model.setChecked(c.name, true);
        if (c.picture) model.setPicture(c.name, std::string(mm::Resource(c.picture)));
        if (c.kind == Kind::Timer) model.setInterval(c.name, 0);
    }
    model.setSelection("选择夹EX1", 0);
    model.setColumns("列表框_搜索", SearchListColumns());
    model.setRowHeight("列表框_搜索", 40);
    model.setColumns("列表框_下载", DownloadListColumns());
    model.setRowHeight("列表框_下载", 50);
    model.setMaximum("播放栏_进度", 0);
    model.setPosition("播放栏_进度", 0);
    model.setMaximum("播放栏_音乐音量", 100);
    model.setPosition("播放栏_音乐音量", 100);
}

std::vector<std::string> MainWindowControlNames() {
    std::vector<std::string> names;
    for (const ControlSpec& c : kControls) names.emplace_back(c.name);
    return names;
}

}  // namespace mm::app
