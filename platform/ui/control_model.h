#pragma once
// The control model: every control of the main window, known by its name, with
// the properties the program reads and writes. Writes may come from any thread
// and take effect at once; observers (the Qt view, the automation dumper) are
// told of every change. The model never calls an observer while holding its
// own lock.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mm::ui {

enum class Kind {
    Window,       // the whole window (窗口EX1) and child panels (窗口_下载选择, 窗口_歌单解析)
    Tab,          // 选择夹EX1: selection = page
    ToolEntry,    // tool bar entries
    Label,
    Button,
    RadioButton,
    CheckBox,
    ComboBox,
    PictureBox,   // picture = image bytes; angle = rotation
    ListBox,
    EditBox,
    Slider,       // position / maximum
    Timer,        // interval in ms, 0 = stopped
};

const char* kindName(Kind k);

struct ComboItem {
    std::string icon;  // image name
    std::string text;
    std::uint32_t color = 0;
    int value = 0;
};

struct MenuItem {
    int id = 0;
    int parentId = 0;  // 0 = top level
    std::string icon;  // image name
    std::string text;
    int width = 0, height = 0;
    bool disabled = false;
    std::uint32_t textColor = 0;          // 0 = the skin's colour
    std::uint32_t disabledTextColor = 0;  // 0 = the skin's colour
};

struct Cell {
    std::string text;
    std::string icon;  // image name, empty = none
    std::string tip;   // tool tip shown over the cell, empty = none
};

struct MessageBoxRequest {
    MessageBoxRequest() = default;
    MessageBoxRequest(std::string title_, std::string text_, std::string button_, std::string owner_ = {})
        : title(std::move(title_)), text(std::move(text_)), button(std::move(button_)), owner(std::move(owner_)) {}

    std::string title;   // "code:404"
    std::string text;
    std::string button;  // "好的"
    std::string owner;   // control it is anchored on; empty = system box
    // A question (ask()): the buttons after `button`, in order.
    std::vector<std::string> moreButtons;
    // The answer when nobody is there to give one (headless, no script).
    int defaultChoice = 0;

    // Every button: `button` first.
    std::vector<std::string> buttons() const {
        std::vector<std::string> all{button};
        all.insert(all.end(), moreButtons.begin(), moreButtons.end());
        return all;
    }
};

struct Tip {
    bool shown = false;
    std::string text;
    std::string picture;  // image name
    std::vector<std::int64_t> args;
};

// What changed; the view re-reads the named control.
struct ControlState;

struct Change {
    enum class What { Property, Rows, Cell, Combo, Menu, MenuPopUp, Tip, Animation, Image };
    What what = What::Property;
    std::string control;  // control or menu name
    int row = -1;         // Rows/Cell: the row; -1 = all
    int col = -1;
};

class ControlModel {
public:
    using Observer = std::function<void(const Change&)>;
    // Shows a message box and returns once it was dismissed.
    using MessageBoxPresenter = std::function<void(const MessageBoxRequest&)>;
    // Shows a question and returns the 0-based index of the chosen button.
    using QuestionPresenter = std::function<int(const MessageBoxRequest&)>;

    ControlModel();
    ~ControlModel();
    ControlModel(const ControlModel&) = delete;
    ControlModel& operator=(const ControlModel&) = delete;

    // ---- controls
    void define(const std::string& name, Kind kind, const std::string& caption = {});
    bool exists(const std::string& name) const;
    std::optional<Kind> kind(const std::string& name) const;
    std::vector<std::string> names() const;  // in definition order

    std::string text(const std::string& name) const;
    void setText(const std::string& name, const std::string& text);
    bool visible(const std::string& name) const;
    void setVisible(const std::string& name, bool on);
    bool disabled(const std::string& name) const;
    void setDisabled(const std::string& name, bool on);
    bool checked(const std::string& name) const;
    void setChecked(const std::string& name, bool on);
    // Picture: image bytes (PNG/JPEG) shown by the control.
    std::string picture(const std::string& name) const;
    void setPicture(const std::string& name, const std::string& bytes);
    int selection(const std::string& name) const;  // combo item, tab page; -1 = none
    void setSelection(const std::string& name, int index);
    int position(const std::string& name) const;  // slider
    void setPosition(const std::string& name, int pos);
    int maximum(const std::string& name) const;
    void setMaximum(const std::string& name, int max);
    int angle(const std::string& name) const;  // rotation in degrees
    void setAngle(const std::string& name, int degrees);
    int interval(const std::string& name) const;  // timer, 0 = stopped
    void setInterval(const std::string& name, int ms);
    // The hint shown when the pointer rests on the control (a list's: on its
    // header; a panel's: on its close button); empty = the view's own, if any.
    std::string toolTip(const std::string& name) const;
    void setToolTip(const std::string& name, const std::string& text);

    // ---- images, by name (status images, badges, service icons)
    void registerImage(const std::string& name, const std::string& bytes);
    std::string image(const std::string& name) const;
    void destroyImage(const std::string& name);
    std::vector<std::string> imageNames() const;

    // ---- list boxes (rows and columns 0-based)
    void setColumns(const std::string& list, const std::vector<std::string>& headers);
    std::vector<std::string> columns(const std::string& list) const;
    void setRowHeight(const std::string& list, int px);
    int rowHeight(const std::string& list) const;
    int rowCount(const std::string& list) const;
    // Inserts an empty row before pos (pos < 0 or past the end appends); returns its index.
    // A selected row stays selected where it moves to.
    int insertRow(const std::string& list, int pos);
    // Deletes one row; row < 0 deletes all rows. Deleting the selected row, or
    // all rows, leaves the list without a selection.
    void deleteRow(const std::string& list, int row);
    // Cell writes to a row that does not exist are dropped (and return false).
    bool setCellText(const std::string& list, int row, int col, const std::string& text);
    std::string cellText(const std::string& list, int row, int col) const;
    bool setCellIcon(const std::string& list, int row, int col, const std::string& image);
    std::string cellIcon(const std::string& list, int row, int col) const;
    // The tool tip over a cell (the whole text of a shortened cell, why a
    // download failed); "" removes it.
    bool setCellTip(const std::string& list, int row, int col, const std::string& tip);
    std::string cellTip(const std::string& list, int row, int col) const;
    // Every cell of a row as written so far (columns never written are absent).
    std::vector<Cell> rowCells(const std::string& list, int row) const;
    // Progress shown in a row (percent 0..100), -1 = no bar.
    bool setRowProgress(const std::string& list, int row, int percent);
    int rowProgress(const std::string& list, int row) const;

    // ---- combo boxes
    void addComboItem(const std::string& combo, const ComboItem& item);
    void clearCombo(const std::string& combo);
    int comboCount(const std::string& combo) const;
    std::optional<ComboItem> comboItem(const std::string& combo, int index) const;

    // ---- menus (created once; items addressed by id)
    void defineMenu(const std::string& menu);
    bool menuExists(const std::string& menu) const;
    // Inserts at 1-based position pos among the siblings of parentId (past the end appends).
    void insertMenuItem(const std::string& menu, int pos, const MenuItem& item);
    std::vector<MenuItem> menuItems(const std::string& menu) const;
    std::optional<MenuItem> menuItem(const std::string& menu, int id) const;
    void setMenuItemText(const std::string& menu, int id, const std::string& text);
    void setMenuItemDisabled(const std::string& menu, int id, bool on);
    void setMenuItemColors(const std::string& menu, int id, std::uint32_t text, std::uint32_t disabledText);
    void popUpMenu(const std::string& menu);
    bool isMenuPoppedUp(const std::string& menu) const;
    void closeMenu(const std::string& menu);
    void setMenuClosed(const std::string& menu);  // the view reports the menu went away

    // ---- message boxes: blocks the caller until dismissed. Never call with a
    // lock held that the UI thread may take.
    void messageBox(const MessageBoxRequest& req);
    void setMessageBoxPresenter(MessageBoxPresenter p);
    // Every box shown so far, oldest first (for tests and automation).
    std::vector<MessageBoxRequest> messageBoxLog() const;
    // A message box with several buttons: blocks until one is chosen and
    // returns its index in req.buttons(). Shown by the question presenter;
    // without one, it is reported like a message box and answered by the
    // oldest queued answer that names one of its buttons, or else by
    // req.defaultChoice. The same rule about locks as messageBox().
    int ask(const MessageBoxRequest& req);
    void setQuestionPresenter(QuestionPresenter p);
    // The answer (a button text) of a question to come (tests, automation).
    void queueAnswer(const std::string& button);

    // ---- tips and animations
    void showTip(const std::string& text, const std::string& picture, std::vector<std::int64_t> args);
    void closeTip();
    Tip tip() const;
    void playWindowAnimation(const std::string& window, std::vector<std::int64_t> args);
    std::vector<std::pair<std::string, std::vector<std::int64_t>>> animations() const;

    // ---- observation
    int subscribe(Observer o);
    void unsubscribe(int id);

    // ---- diagnostics: writes aimed at names never defined, by name (each is
    // also reported once on stderr)
    std::map<std::string, int> unknownWrites() const;
    // Timer controls with their intervals (0 = stopped), in definition order.
    std::vector<std::pair<std::string, int>> timers() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    void notify(const Change& c);
    template <class T>
    void writeField(const std::string& name, const char* op, T ControlState::*field, const T& value);
    template <class T>
    T readField(const std::string& name, T ControlState::*field, T fallback) const;
};

}  // namespace mm::ui
