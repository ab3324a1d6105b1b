// The data-aware grid: shows the rows of a table through a data source,
// follows and moves the table's current record, and edits the cells of
// existing records in place. Changes reach the table when the cursor leaves
// the record; Escape cancels them; Ctrl+Delete deletes after a question.
// Insert, and Down or Tab on from the last record, ask the table for a new
// record, which it never adds (its owner may refuse aloud or silently).
//
// The view sees only the rows it has room for (a RowWindow over the table
// model); the grid's own scroll bar moves that window over the table. So a
// table of ten million rows costs the view no more than one of ten.
#pragma once

#include <QTableView>

#include <functional>

class DataSource;
class GridDelegate;
class GridModel;
class QScrollBar;
class RowWindow;
class Table;

class DbGrid : public QTableView {
    Q_OBJECT

public:
    explicit DbGrid(QWidget* parent = nullptr);
    using QTableView::edit;

    DataSource* dataSource() const;
    void setDataSource(DataSource* source);
    Table* table() const;
    // The whole table's model; the view's own model() is the window onto it.
    GridModel* gridModel() const { return m_model; }
    RowWindow* rowWindow() const { return m_window; }
    QScrollBar* rowsScrollBar() const { return m_rowsBar; }

    // The table row a cell of the view stands for (-1 for none), and the
    // cell of a table row and column (invalid while the row is not shown).
    int tableRow(const QModelIndex& index) const;
    QModelIndex cellOf(int tableRow, int column) const;
    // Scrolls as little as needed to show this table row whole. False when
    // an open editor's text was refused: the grid then stays as it is.
    bool showRow(int tableRow);
    // The view itself scrolls only sideways; rows are scrolled by showRow.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // Runs before the grid sees a key: key is the Windows virtual-key code,
    // and setting it to 0 swallows the key.
    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers shift)> onKeyDown;

    // Puts the text of an open cell editor into the record and posts the
    // record. Throws when the table refuses the change.
    void postPendingEdit();
    // Finishes the record being typed before the program does something
    // else: the open editor's text goes into the record and the record is
    // posted. Throws when the file refuses it (SilentAbort when that refusal
    // has been told already); the grid then stays on the record.
    void finishEdit();

    // Windows virtual-key code of a Qt key (0 when there is none).
    static int virtualKey(int qtKey);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void updateGeometries() override;

private:
    void handleKey(QKeyEvent* event);
    bool atLastRow() const;
    void startEditing();
    void cancelRecord();
    void followTable(int row);
    void applyColumnWidths();
    bool updateRecord();
    // Key moves between records and cells, worked out in table rows.
    bool moveKey(QKeyEvent* event);
    void moveToCell(int tableRow, int column);
    // Shows the table from this row on; the open editor's text goes into
    // its record first (false, and nothing moves, when that is refused).
    bool scrollRowsTo(int top);
    void fitWindow();
    void updateRowsBar();
    // After the window moved: the view's current cell is the table's
    // current record again, or none while that record is scrolled away.
    void syncCurrent();
    // The column the user works in, within the columns there are now.
    int workColumn() const;

    GridModel* m_model;
    RowWindow* m_window;
    QScrollBar* m_rowsBar;
    int m_windowChanging = 0;
    GridDelegate* m_delegate;
    bool m_following = false;
    int m_column = 0; // the column the user works in, kept across resets
    bool m_widthsApplied = false;
    bool m_updatingRecord = false;
    int m_refusedTypingRow = -1; // table row where typing was refused and told
};
