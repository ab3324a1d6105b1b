// The in-place cell editor of the data grid: a line edit that takes no more
// characters than the field holds (a value already longer, written by some
// other program, is shown whole). Only what the user changed in the editor
// goes back into the record. Keys that mean "leave this cell" go back to the
// grid, so the grid decides whether to move, post, cancel or ask for a new
// record.
#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class DbGrid;

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit GridDelegate(DbGrid* grid);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // Writes the open editor's text into the record and closes it.
    void commitAndClose();
    // Writes the open editor's text into the record, leaving it open; false
    // when the record refused the text (the user has been told why).
    bool commit();
    // Closes the open editor, if there is one, keeping what it put into the record.
    void close();

signals:
    // The user typed into a cell editor: the record goes into edit mode.
    void editingStarted();
    // Escape in a cell editor: the record's pending change is given up.
    void editingCancelled();

protected:
    // The grid's current cell shows selected while the grid has the focus;
    // no other cell ever does.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QWidget* openEditor() const;

    DbGrid* m_grid;
    mutable QPointer<QWidget> m_editor;
    // The editor that has taken its cell's value: it takes it once only.
    mutable QPointer<QWidget> m_loadedEditor;
};
