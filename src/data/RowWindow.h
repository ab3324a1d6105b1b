// The rows of the grid model that the grid has room for, and no more: rows
// top .. top + capacity - 1 of the table, shown as rows 0 .. capacity - 1.
// An item view keeps a few bytes for every row its model reports and walks
// them all whenever the count changes, so a view over ten million rows would
// spend tens of milliseconds on each new search; over this window it spends
// the same on ten million rows as on ten. The grid scrolls by moving top.
// Qt Core only, so it is tested without any widget.
#pragma once

#include <QAbstractTableModel>

class RowWindow : public QAbstractTableModel {
    Q_OBJECT

public:
    // The source is a flat table model (no children).
    explicit RowWindow(QAbstractItemModel* source, QObject* parent = nullptr);

    QAbstractItemModel* source() const { return m_source; }

    // The table row shown first.
    int top() const { return m_top; }
    // How many rows are shown at most (the last may be cut off at the
    // bottom), and how many of them are shown whole: top never goes so far
    // that fewer than page rows are left while the table has more.
    int capacity() const { return m_capacity; }
    int page() const { return m_page; }
    void setCapacity(int capacity, int page);
    // Shows the rows from this table row on (kept within what the table has).
    void setTop(int row);
    // The highest top the table's rows allow now.
    int lastTop() const;

    // The table row a row of the window stands for, and back (-1 when the
    // table row is not in the window).
    int tableRow(int windowRow) const { return m_top + windowRow; }
    int windowRow(int tableRow) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // Around every change of which table rows the window shows (a scroll,
    // a new size, rows coming or going in the table). While it lasts, the
    // view's current row may stand for another record: the view puts it
    // right when the change is over.
    void windowAboutToChange();
    void windowChanged();

private:
    QModelIndex toSource(const QModelIndex& index) const;
    // Rows coming or going in the table are rows coming or going in the
    // window (or a move of top when they are above it), so that an open
    // editor and the current cell stay on their record.
    void onSourceAboutToInsert(int first, int last);
    void onSourceInserted();
    void onSourceAboutToRemove(int first, int last);
    void onSourceRemoved();
    // When the table has fewer rows below top than a page, top moves back:
    // rows come in at the window's start. Then rows are added or dropped at
    // the end until the window is as full as the table allows.
    void fill();
    void onSourceDataChanged(const QModelIndex& from, const QModelIndex& to, const QList<int>& roles);
    void onSourceHeaderChanged(Qt::Orientation orientation, int first, int last);

    QAbstractItemModel* m_source;
    int m_top = 0;
    int m_capacity = 1;
    int m_page = 1;
    int m_rows = 0;
    // Between a change of the table's rows being announced and done.
    int m_pendingRows = 0; // rows being inserted into or removed from the window
    int m_pendingAbove = 0; // rows being inserted or removed above top
};
