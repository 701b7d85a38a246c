#include "platform/ui/qt/list_box.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QWheelEvent>

#include "platform/ui/qt/skin.h"

namespace mm::ui::qt {

namespace {

QString displayText(const std::string& s) {
    // Cells carry Windows line breaks ("name\r\n[album]").
    QString t = QString::fromStdString(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

}  // namespace

// ---- ListTableModel

ListTableModel::ListTableModel(ControlModel& model, std::string list, ImageCache& images, QObject* parent)
    : QAbstractTableModel(parent), model_(model), list_(std::move(list)), images_(images) {
    syncColumns();
    syncRows();
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const auto col = static_cast<std::size_t>(index.column());
    const Cell* cell = col < row.cells.size() ? &row.cells[col] : nullptr;
    switch (role) {
        case Qt::DisplayRole:
            return cell ? displayText(cell->text) : QString();
        case Qt::DecorationRole: {
            if (!cell || cell->icon.empty()) return {};
            QPixmap pm = images_.named(cell->icon);
            if (pm.isNull()) return {};
            return ImageCache::fitted(pm, QSize(iconBox_ * 2, iconBox_));
        }
        case Qt::ToolTipRole:
            if (!cell || cell->tip.empty()) return {};
            return displayText(cell->tip);
        case Qt::TextAlignmentRole:
            // Unnamed columns hold short marks (row numbers, "已下载"): centred.
            if (col < headers_.size() && headers_[col].empty()) return int(Qt::AlignCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case kProgressRole:
            return col + 1 == headers_.size() ? row.progress : -1;
        default:
            return {};
    }
}

QVariant ListTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= static_cast<int>(headers_.size())) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(headers_[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ListTableModel::readRow(int r) {
    Row& row = rows_[static_cast<std::size_t>(r)];
    // Texts, icons and tool tips of the row at once.
    row.cells = model_.rowCells(list_, r);
    row.cells.resize(headers_.size());
    row.progress = model_.rowProgress(list_, r);
}

void ListTableModel::syncRows() {
    const int n = std::max(0, model_.rowCount(list_));
    const int old = static_cast<int>(rows_.size());
    if (n > old) {
        beginInsertRows({}, old, n - 1);
        rows_.resize(static_cast<std::size_t>(n));
        endInsertRows();
    } else if (n < old) {
        beginRemoveRows({}, n, old - 1);
        rows_.resize(static_cast<std::size_t>(n));
        endRemoveRows();
    }
    // Rows may have moved (an insert or delete in the middle): re-read them all.
    for (int r = 0; r < n; ++r) readRow(r);
    if (n > 0 && !headers_.empty()) emit dataChanged(index(0, 0), index(n - 1, columnCount() - 1));
}

void ListTableModel::syncCell(int row, int col) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        syncRows();
        return;
    }
    if (col < 0 || col >= static_cast<int>(headers_.size())) {
        readRow(row);
        if (!headers_.empty()) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        return;
    }
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.cells.resize(headers_.size());
    r.cells[static_cast<std::size_t>(col)].text = model_.cellText(list_, row, col);
    r.cells[static_cast<std::size_t>(col)].icon = model_.cellIcon(list_, row, col);
    r.cells[static_cast<std::size_t>(col)].tip = model_.cellTip(list_, row, col);
    emit dataChanged(index(row, col), index(row, col));
}

void ListTableModel::syncColumns() {
    std::vector<std::string> headers = model_.columns(list_);
    if (headers == headers_) return;
    beginResetModel();
    headers_ = std::move(headers);
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) readRow(r);
    endResetModel();
}

void ListTableModel::refreshIcons() {
    if (!rows_.empty() && !headers_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DecorationRole});
}

// ---- ListDelegate

namespace {

// Where a cell's parts go: the icon at the left, then one line of text or two
// (a name over its album), and a progress bar below when the row has one.
struct CellLayout {
    QStringList lines;
    QPixmap icon;
    int progress = -1;
    bool centered = false;
    QRect area, content, bar, text;
    QFont main, small;
};

CellLayout LayOut(const QStyleOptionViewItem& opt, const QModelIndex& index) {
    CellLayout l;
    l.lines = opt.text.split('\n');
    l.icon = index.data(Qt::DecorationRole).value<QPixmap>();
    l.progress = index.data(ListTableModel::kProgressRole).toInt();
    l.centered = opt.displayAlignment & Qt::AlignHCenter;
    l.area = opt.rect.adjusted(10, 0, -10, 0);
    l.content = l.area;
    if (l.progress >= 0) {
        l.content.setBottom(l.area.center().y() + 2);
        l.bar = QRect(l.area.left(), l.area.center().y() + 8, l.area.width(), 6);
    }
    int x = l.content.left();
    if (!l.icon.isNull()) x += l.icon.deviceIndependentSize().toSize().width() + 8;
    l.text = QRect(x, l.content.top(), l.content.right() - x, l.content.height());
    l.main = opt.font;
    l.small = opt.font;
    l.small.setPixelSize(std::max(10, l.main.pixelSize() - 1));
    return l;
}

bool TwoLines(const CellLayout& l) {
    return l.lines.size() >= 2 && l.progress < 0;
}

}  // namespace

bool ListDelegate::isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const CellLayout l = LayOut(opt, index);
    const QFontMetrics fm(l.main), sfm(l.small);
    if (TwoLines(l))
        return fm.horizontalAdvance(l.lines[0]) > l.text.width() ||
               sfm.horizontalAdvance(l.lines.mid(1).join(' ')) > l.text.width();
    return fm.horizontalAdvance(l.lines.join(' ')) > l.text.width();
}

bool ListDelegate::helpEvent(QHelpEvent* e, QAbstractItemView* view, const QStyleOptionViewItem& option,
                             const QModelIndex& index) {
    if (e->type() != QEvent::ToolTip || !index.isValid()) return QStyledItemDelegate::helpEvent(e, view, option, index);
    QString tip = index.data(Qt::ToolTipRole).toString();
    if (tip.isEmpty() && isElided(option, index)) tip = index.data(Qt::DisplayRole).toString();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        e->ignore();
        return false;
    }
    QToolTip::showText(e->globalPos(), tip, view->viewport(), option.rect);
    return true;
}

void ListDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const CellLayout layout = LayOut(opt, index);
    const QStringList& lines = layout.lines;
    const QPixmap& icon = layout.icon;
    const int progress = layout.progress;
    const bool centered = layout.centered;

    // Background, hover and selection from the style; the content is ours.
    opt.text.clear();
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect& content = layout.content;
    const QRect& bar = layout.bar;
    const QRect& textRect = layout.text;
    const int x = textRect.left();
    if (!icon.isNull()) {
        const QSize s = icon.deviceIndependentSize().toSize();
        p->drawPixmap(content.left(), content.center().y() - s.height() / 2 + 1, icon);
    }
    const QFont& main = layout.main;
    const QFont& small = layout.small;
    const QFontMetrics fm(main), sfm(small);
    const bool selected = opt.state & QStyle::State_Selected;
    if (TwoLines(layout)) {
        const int h = fm.height() + sfm.height() + 2;
        const int top = textRect.center().y() - h / 2 + 1;
        p->setFont(main);
        p->setPen(skin::kText);
        p->drawText(QRect(x, top, textRect.width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(lines[0], Qt::ElideRight, textRect.width()));
        p->setFont(small);
        p->setPen(skin::kTextSecondary);
        p->drawText(QRect(x, top + fm.height() + 2, textRect.width(), sfm.height()),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    sfm.elidedText(lines.mid(1).join(' '), Qt::ElideRight, textRect.width()));
    } else {
        p->setFont(main);
        p->setPen(centered ? skin::kTextSecondary : (selected ? skin::kAccent : skin::kText));
        const QString t = lines.join(' ');
        p->drawText(textRect, (centered ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter),
                    fm.elidedText(t, Qt::ElideRight, textRect.width()));
    }
    if (progress >= 0) {
        const int pct = std::min(progress, 100);
        const QString label = QString::number(pct) + '%';
        p->setFont(small);
        const int labelWidth = sfm.horizontalAdvance(QStringLiteral("100%")) + 6;
        QRectF track(bar.left(), bar.top(), std::max(10, bar.width() - labelWidth), bar.height());
        p->setPen(Qt::NoPen);
        p->setBrush(skin::kTrack);
        p->drawRoundedRect(track, 3, 3);
        p->setBrush(skin::kAccent);
        p->drawRoundedRect(QRectF(track.left(), track.top(), track.width() * pct / 100.0, track.height()), 3,
                           3);
        p->setPen(skin::kTextSecondary);
        p->drawText(QRectF(track.right() + 4, bar.top() - 6, labelWidth, bar.height() + 12),
                    Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p->restore();
}

// ---- ListBoxView

ListBoxView::ListBoxView(ControlModel& model, std::string list, ImageCache& images, QWidget* parent)
    : QTableView(parent), model_(new ListTableModel(model, std::move(list), images, this)) {
    setModel(model_);
    setItemDelegate(new ListDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setMouseTracking(true);
    // A click on a row gives the list the keyboard: arrows, Home, End, Page keys, Enter.
    setFocusPolicy(Qt::StrongFocus);
    setTabKeyNavigation(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setContextMenuPolicy(Qt::CustomContextMenu);

    connect(this, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        const int row = indexAt(pos).row();
        if (row >= 0) selectRow(row);
        emit rowRightClicked(row, viewport()->mapToGlobal(pos));
    });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { emit rowDoubleClicked(i.row()); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& i) {
        if (!selecting_) emit rowSelected(i.row());
    });
    // Dragging or clicking the scroll bar down to its end asks for more rows too.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        // The wheel moves the bar too; wheelEvent reports that case itself.
        if (action == QAbstractSlider::SliderNoAction || inWheel_) return;
        QTimer::singleShot(0, this, [this] {
            QScrollBar* bar = verticalScrollBar();
            if (bar->maximum() > 0 && bar->value() == bar->maximum()) emit scrolledPastEnd();
        });
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &ListBoxView::applyColumnWidths);
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int, int last) {
        if (!followNewRows_) return;
        followRow_ = last;
        // After the view has taken the new rows into its geometry; a hidden
        // list (another page is shown) does it when it is shown.
        if (isVisible()) QTimer::singleShot(0, this, &ListBoxView::scrollToFollowedRow);
    });
}

void ListBoxView::setColumnWidths(const std::vector<int>& widths) {
    widths_ = widths;
    applyColumnWidths();
}

void ListBoxView::applyColumnWidths() {
    QHeaderView* h = horizontalHeader();
    for (int c = 0; c < model_->columnCount(); ++c) {
        const int w = c < static_cast<int>(widths_.size()) ? widths_[static_cast<std::size_t>(c)] : 120;
        if (w < 0) {
            h->setSectionResizeMode(c, QHeaderView::Stretch);
        } else {
            h->setSectionResizeMode(c, QHeaderView::Interactive);
            setColumnWidth(c, w);
        }
    }
}

void ListBoxView::applyRowHeight(int px) {
    if (px > 0) verticalHeader()->setDefaultSectionSize(px);
}

void ListBoxView::selectModelRow(int row) {
    const QModelIndexList current = selectionModel()->selectedRows();
    const int selected = current.isEmpty() ? -1 : current.first().row();
    const bool valid = row >= 0 && row < model_->rowCount();
    // Re-applying the same selection must not scroll: rows arriving page by
    // page would pull the view back to the selected row.
    if ((valid && selected == row) || (!valid && selected < 0)) return;
    selecting_ = true;
    if (valid) {
        selectRow(row);
        scrollTo(model_->index(row, 0));
    } else {
        clearSelection();
    }
    selecting_ = false;
}

void ListBoxView::scrollToFollowedRow() {
    if (followRow_ < 0 || !isVisible()) return;
    if (followRow_ < model_->rowCount()) scrollTo(model_->index(followRow_, 0), QAbstractItemView::PositionAtBottom);
    followRow_ = -1;
}

void ListBoxView::showEvent(QShowEvent* e) {
    QTableView::showEvent(e);
    if (followRow_ >= 0) QTimer::singleShot(0, this, &ListBoxView::scrollToFollowedRow);
}

void ListBoxView::setNotice(const QString& text) {
    if (notice_ == text) return;
    notice_ = text;
    updateGeometries();
    viewport()->update();
}

int ListBoxView::noticeHeight() const {
    return notice_.isEmpty() ? 0 : fontMetrics().height() + 28;
}

QRect ListBoxView::noticeRect() const {
    if (notice_.isEmpty()) return {};
    const int rows = model_->rowCount();
    if (rows == 0) return viewport()->rect();
    const int below = rowViewportPosition(rows - 1) + rowHeight(rows - 1);
    return QRect(0, below, viewport()->width(), noticeHeight());
}

QString ListBoxView::toolTipAt(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    QString tip = index.data(Qt::ToolTipRole).toString();
    if (!tip.isEmpty()) return tip;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    auto* delegate = static_cast<ListDelegate*>(itemDelegate());
    return delegate->isElided(option, index) ? index.data(Qt::DisplayRole).toString() : QString();
}

void ListBoxView::updateGeometries() {
    QScrollBar* bar = verticalScrollBar();
    const int before = bar->value();
    QTableView::updateGeometries();
    // Room below the last row for the end line, reached by scrolling like a row.
    if (model_ && model_->rowCount() > 0 && !notice_.isEmpty()) {
        const int last = model_->rowCount() - 1;
        const int content = rowViewportPosition(last) + verticalOffset() + rowHeight(last) + noticeHeight();
        bar->setRange(0, std::max(0, content - viewport()->height()));
        // The table's own range, a moment ago, had cut the position short.
        if (before > bar->value()) bar->setValue(std::min(before, bar->maximum()));
    }
}

void ListBoxView::paintEvent(QPaintEvent* e) {
    QTableView::paintEvent(e);
    const QRect r = noticeRect();
    if (r.isEmpty() || !r.intersects(viewport()->rect())) return;
    QPainter p(viewport());
    p.setPen(skin::kTextSecondary);
    QFont f = font();
    if (model_->rowCount() == 0) f.setPixelSize(f.pixelSize() + 1);
    p.setFont(f);
    p.drawText(r.adjusted(16, 0, -16, 0), Qt::AlignCenter | Qt::TextWordWrap, notice_);
}

QModelIndex ListBoxView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Rows are the items here: Home and End go to the first and last row, as
    // in a list, not to the first and last column of a table.
    if (action == MoveHome || action == MoveEnd) modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}

void ListBoxView::keyPressEvent(QKeyEvent* e) {
    const QModelIndex current = currentIndex();
    const int rows = model_->rowCount();
    const bool onLast = current.isValid() && current.row() == rows - 1;
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
        if (current.isValid()) emit rowDoubleClicked(current.row());
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
    // Down, Page Down or End on the last row asks for more rows, as the wheel does.
    if (onLast && rows > 0 && (e->key() == Qt::Key_Down || e->key() == Qt::Key_PageDown || e->key() == Qt::Key_End))
        emit scrolledPastEnd();
}

void ListBoxView::wheelEvent(QWheelEvent* e) {
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    inWheel_ = true;
    QTableView::wheelEvent(e);
    inWheel_ = false;
    // A downward turn of the wheel with the last row already in view.
    if (e->angleDelta().y() < 0 && atEnd && model_->rowCount() > 0) emit scrolledPastEnd();
}

}  // namespace mm::ui::qt
