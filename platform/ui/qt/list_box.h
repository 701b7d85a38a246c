#pragma once
// A list box of the control model as a table: a snapshot of the model's rows
// kept in step on the GUI thread (so Qt never sees rows change behind its back),
// a delegate drawing icons, two-line texts and download progress, and the
// view reporting right-clicks, double-clicks and scrolling past the end.
#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <string>
#include <vector>

#include "platform/ui/control_model.h"
#include "platform/ui/qt/image_cache.h"

namespace mm::ui::qt {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kProgressRole = Qt::UserRole + 1;

    ListTableModel(ControlModel& model, std::string list, ImageCache& images, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Re-reads the row count and every cell (rows were inserted or deleted).
    void syncRows();
    // Re-reads one cell; col < 0 re-reads the whole row and its progress.
    void syncCell(int row, int col);
    void syncColumns();
    // Images were replaced: repaint every icon.
    void refreshIcons();

private:
    struct Row {
        std::vector<Cell> cells;
        int progress = -1;
    };
    void readRow(int r);

    ControlModel& model_;
    std::string list_;
    ImageCache& images_;
    std::vector<std::string> headers_;
    std::vector<Row> rows_;
    int iconBox_ = 24;
};

class ListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The cell's own tool tip, or else its whole text when the cell shows it shortened.
    bool helpEvent(QHelpEvent* e, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // True when the cell's text does not fit and is drawn with "…".
    bool isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

class ListBoxView : public QTableView {
    Q_OBJECT
public:
    ListBoxView(ControlModel& model, std::string list, ImageCache& images, QWidget* parent = nullptr);

    ListTableModel* listModel() const { return model_; }
    // Column widths in pixels; -1 stretches that column.
    void setColumnWidths(const std::vector<int>& widths);
    void applyRowHeight(int px);
    void selectModelRow(int row);
    // A quiet line in the list: centred in the empty list, or below the last
    // row, scrolled with the rows. Empty: none.
    void setNotice(const QString& text);
    QString notice() const { return notice_; }
    // Where the notice is drawn now, in the viewport's coordinates (empty when none).
    QRect noticeRect() const;
    // New rows are scrolled into view as they come (the download list).
    void setFollowNewRows(bool on) { followNewRows_ = on; }
    // What a tool tip over that cell shows ("" when none).
    QString toolTipAt(const QModelIndex& index) const;

signals:
    void rowRightClicked(int row, QPoint globalPos);
    // Double-click, or Enter on the current row.
    void rowDoubleClicked(int row);
    void scrolledPastEnd();
    void rowSelected(int row);

protected:
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent* e) override;
    void updateGeometries() override;
    void showEvent(QShowEvent* e) override;

private:
    void scrollToFollowedRow();
    void applyColumnWidths();
    int noticeHeight() const;
    ListTableModel* model_;
    std::vector<int> widths_;
    QString notice_;
    bool selecting_ = false;
    bool inWheel_ = false;
    bool followNewRows_ = false;
    int followRow_ = -1;  // a new row to scroll to, once the list is shown
};

}  // namespace mm::ui::qt
