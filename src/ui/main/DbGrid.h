// The data-aware grid: shows the rows of a table through a data source,
// follows and moves the table's current record, and edits the cells of
// existing records in place. Changes reach the table when the cursor leaves
// the record; Escape cancels them; Ctrl+Delete deletes after a question.
// Insert, and Down or Tab on from the last record, ask the table for a new
// record, which it never adds (its owner may refuse aloud or silently).
#pragma once

#include <QTableView>

#include <functional>

class DataSource;
class GridDelegate;
class GridModel;
class Table;

class DbGrid : public QTableView {
    Q_OBJECT

public:
    explicit DbGrid(QWidget* parent = nullptr);
    using QTableView::edit;

    DataSource* dataSource() const;
    void setDataSource(DataSource* source);
    Table* table() const;
    GridModel* gridModel() const { return m_model; }

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

private:
    void handleKey(QKeyEvent* event);
    bool atLastRow() const;
    void startEditing();
    void cancelRecord();
    void followTable(int row);
    void applyColumnWidths();
    bool updateRecord();

    GridModel* m_model;
    GridDelegate* m_delegate;
    bool m_following = false;
    int m_column = 0; // the column the user works in, kept across resets
    bool m_widthsApplied = false;
    bool m_updatingRecord = false;
    int m_refusedTypingRow = -1; // typing there was refused and told
};
