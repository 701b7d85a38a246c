// List boxes, combo boxes and menus of the control model.
#include <algorithm>

#include "platform/ui/control_model.h"
#include "platform/ui/control_model_impl.h"

namespace mm::ui {

namespace {
// A column index comes from callers' arithmetic; a wild one must not allocate gigabytes.
constexpr int kMaxColumns = 64;
}  // namespace

// ---- list boxes

void ControlModel::setColumns(const std::string& list, const std::vector<std::string>& headers) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "setColumns");
        if (!c) return;
        c->columns = headers;
    }
    notify({Change::What::Rows, list});
}

std::vector<std::string> ControlModel::columns(const std::string& list) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    return c ? c->columns : std::vector<std::string>{};
}

void ControlModel::setRowHeight(const std::string& list, int px) {
    writeField(list, "setRowHeight", &ControlState::rowHeight, std::max(px, 0));
}

int ControlModel::rowHeight(const std::string& list) const {
    return readField(list, &ControlState::rowHeight, 0);
}

int ControlModel::rowCount(const std::string& list) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

int ControlModel::insertRow(const std::string& list, int pos) {
    int index;
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "insertRow");
        if (!c) return -1;
        const int count = static_cast<int>(c->rows.size());
        index = (pos < 0 || pos > count) ? count : pos;
        c->rows.insert(c->rows.begin() + index, Row{});
        if (c->selection >= index) ++c->selection;
    }
    notify({Change::What::Rows, list, index});
    return index;
}

void ControlModel::deleteRow(const std::string& list, int row) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "deleteRow");
        if (!c) return;
        if (row < 0) {
            c->rows.clear();
            c->selection = -1;
            row = -1;
        } else if (row < static_cast<int>(c->rows.size())) {
            c->rows.erase(c->rows.begin() + row);
            if (c->selection == row) {
                c->selection = -1;
            } else if (c->selection > row) {
                --c->selection;
            }
        } else {
            return;
        }
    }
    notify({Change::What::Rows, list, row});
}

bool ControlModel::setCellText(const std::string& list, int row, int col, const std::string& text) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "setCellText");
        Row* r = c ? d->findRow(*c, row) : nullptr;
        if (!r || col < 0 || col >= kMaxColumns) return false;
        if (static_cast<int>(r->cells.size()) <= col) r->cells.resize(static_cast<size_t>(col) + 1);
        Cell& cell = r->cells[static_cast<size_t>(col)];
        if (cell.text == text) return true;
        cell.text = text;
    }
    notify({Change::What::Cell, list, row, col});
    return true;
}

std::string ControlModel::cellText(const std::string& list, int row, int col) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || col < 0) return {};
    const Row& r = c->rows[static_cast<size_t>(row)];
    return col < static_cast<int>(r.cells.size()) ? r.cells[static_cast<size_t>(col)].text : std::string();
}

bool ControlModel::setCellIcon(const std::string& list, int row, int col, const std::string& image) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "setCellIcon");
        Row* r = c ? d->findRow(*c, row) : nullptr;
        if (!r || col < 0 || col >= kMaxColumns) return false;
        if (static_cast<int>(r->cells.size()) <= col) r->cells.resize(static_cast<size_t>(col) + 1);
        Cell& cell = r->cells[static_cast<size_t>(col)];
        if (cell.icon == image) return true;
        cell.icon = image;
    }
    notify({Change::What::Cell, list, row, col});
    return true;
}

std::string ControlModel::cellIcon(const std::string& list, int row, int col) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || col < 0) return {};
    const Row& r = c->rows[static_cast<size_t>(row)];
    return col < static_cast<int>(r.cells.size()) ? r.cells[static_cast<size_t>(col)].icon : std::string();
}

bool ControlModel::setCellTip(const std::string& list, int row, int col, const std::string& tip) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "setCellTip");
        Row* r = c ? d->findRow(*c, row) : nullptr;
        if (!r || col < 0 || col >= kMaxColumns) return false;
        if (static_cast<int>(r->cells.size()) <= col) r->cells.resize(static_cast<size_t>(col) + 1);
        Cell& cell = r->cells[static_cast<size_t>(col)];
        if (cell.tip == tip) return true;
        cell.tip = tip;
    }
    notify({Change::What::Cell, list, row, col});
    return true;
}

std::string ControlModel::cellTip(const std::string& list, int row, int col) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || col < 0) return {};
    const Row& r = c->rows[static_cast<size_t>(row)];
    return col < static_cast<int>(r.cells.size()) ? r.cells[static_cast<size_t>(col)].tip : std::string();
}

std::vector<Cell> ControlModel::rowCells(const std::string& list, int row) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size())) return {};
    return c->rows[static_cast<size_t>(row)].cells;
}

bool ControlModel::setRowProgress(const std::string& list, int row, int percent) {
    percent = percent < 0 ? -1 : std::min(percent, 100);
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(list, "setRowProgress");
        Row* r = c ? d->findRow(*c, row) : nullptr;
        if (!r) return false;
        if (r->progress == percent) return true;
        r->progress = percent;
    }
    notify({Change::What::Cell, list, row, -1});
    return true;
}

int ControlModel::rowProgress(const std::string& list, int row) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size())) return -1;
    return c->rows[static_cast<size_t>(row)].progress;
}

// ---- combo boxes

void ControlModel::addComboItem(const std::string& combo, const ComboItem& item) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(combo, "addComboItem");
        if (!c) return;
        c->comboItems.push_back(item);
    }
    notify({Change::What::Combo, combo});
}

void ControlModel::clearCombo(const std::string& combo) {
    {
        std::lock_guard lk(d->mu);
        ControlState* c = d->findForWrite(combo, "clearCombo");
        if (!c) return;
        c->comboItems.clear();
        c->selection = -1;  // no item left to be selected
    }
    notify({Change::What::Combo, combo});
    notify({Change::What::Property, combo});
}

int ControlModel::comboCount(const std::string& combo) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(combo);
    return c ? static_cast<int>(c->comboItems.size()) : 0;
}

std::optional<ComboItem> ControlModel::comboItem(const std::string& combo, int index) const {
    std::lock_guard lk(d->mu);
    const ControlState* c = d->find(combo);
    if (!c || index < 0 || index >= static_cast<int>(c->comboItems.size())) return std::nullopt;
    return c->comboItems[static_cast<size_t>(index)];
}

// ---- menus

void ControlModel::defineMenu(const std::string& menu) {
    {
        std::lock_guard lk(d->mu);
        d->menus.try_emplace(menu);
    }
    notify({Change::What::Menu, menu});
}

bool ControlModel::menuExists(const std::string& menu) const {
    std::lock_guard lk(d->mu);
    return d->menus.count(menu) != 0;
}

void ControlModel::insertMenuItem(const std::string& menu, int pos, const MenuItem& item) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "insertMenuItem");
        if (!m) return;
        auto& items = m->items;
        // Items are addressed by id: a second item with the same id replaces the first.
        std::erase_if(items, [&](const MenuItem& i) { return i.id == item.id; });
        std::vector<size_t> siblings;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].parentId == item.parentId) siblings.push_back(i);
        }
        size_t at = items.size();
        if (pos >= 1 && pos <= static_cast<int>(siblings.size())) {
            at = siblings[static_cast<size_t>(pos) - 1];
        } else if (!siblings.empty()) {
            at = siblings.back() + 1;
        }
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), item);
    }
    notify({Change::What::Menu, menu});
}

std::vector<MenuItem> ControlModel::menuItems(const std::string& menu) const {
    std::lock_guard lk(d->mu);
    auto it = d->menus.find(menu);
    return it == d->menus.end() ? std::vector<MenuItem>{} : it->second.items;
}

std::optional<MenuItem> ControlModel::menuItem(const std::string& menu, int id) const {
    std::lock_guard lk(d->mu);
    auto it = d->menus.find(menu);
    if (it == d->menus.end()) return std::nullopt;
    for (const MenuItem& i : it->second.items) {
        if (i.id == id) return i;
    }
    return std::nullopt;
}

namespace {
MenuItem* findItem(MenuState& m, int id) {
    for (MenuItem& i : m.items) {
        if (i.id == id) return &i;
    }
    return nullptr;
}
}  // namespace

void ControlModel::setMenuItemText(const std::string& menu, int id, const std::string& text) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "setMenuItemText");
        MenuItem* i = m ? findItem(*m, id) : nullptr;
        if (!i || i->text == text) return;
        i->text = text;
    }
    notify({Change::What::Menu, menu});
}

void ControlModel::setMenuItemDisabled(const std::string& menu, int id, bool on) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "setMenuItemDisabled");
        MenuItem* i = m ? findItem(*m, id) : nullptr;
        if (!i || i->disabled == on) return;
        i->disabled = on;
    }
    notify({Change::What::Menu, menu});
}

void ControlModel::setMenuItemColors(const std::string& menu, int id, std::uint32_t text,
                                     std::uint32_t disabledText) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "setMenuItemColors");
        MenuItem* i = m ? findItem(*m, id) : nullptr;
        if (!i || (i->textColor == text && i->disabledTextColor == disabledText)) return;
        i->textColor = text;
        i->disabledTextColor = disabledText;
    }
    notify({Change::What::Menu, menu});
}

void ControlModel::popUpMenu(const std::string& menu) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "popUpMenu");
        if (!m) return;
        m->poppedUp = true;
    }
    notify({Change::What::MenuPopUp, menu});
}

bool ControlModel::isMenuPoppedUp(const std::string& menu) const {
    std::lock_guard lk(d->mu);
    auto it = d->menus.find(menu);
    return it != d->menus.end() && it->second.poppedUp;
}

void ControlModel::closeMenu(const std::string& menu) {
    {
        std::lock_guard lk(d->mu);
        MenuState* m = d->findMenuForWrite(menu, "closeMenu");
        if (!m || !m->poppedUp) return;
        m->poppedUp = false;
    }
    notify({Change::What::MenuPopUp, menu});
}

void ControlModel::setMenuClosed(const std::string& menu) {
    {
        std::lock_guard lk(d->mu);
        auto it = d->menus.find(menu);
        if (it == d->menus.end() || !it->second.poppedUp) return;
        it->second.poppedUp = false;
    }
    notify({Change::What::MenuPopUp, menu});
}

}  // namespace mm::ui
