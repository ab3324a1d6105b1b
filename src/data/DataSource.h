// The link between an open table and the controls that show it.
//
// A table tells its data sources what changed; a data source passes that on
// to its controls as signals. While a table's controls are disabled nothing
// is passed on, and enabling them sends one summary of what changed.
#pragma once

#include <QObject>

#include <functional>

class Table;

class DataSource : public QObject {
    Q_OBJECT

public:
    explicit DataSource(QObject* parent = nullptr);
    ~DataSource() override;

    Table* dataSet() const { return m_dataSet; }
    void setDataSet(Table* table);

    // Runs whenever the table is about to post or leave its current record
    // (a move, a new filter or sort, closing): a control puts what is still
    // being typed into the record. It returns false when the record refused
    // that text (the control has told the user why); the step then stops.
    std::function<bool()> onUpdateRecord;

signals:
    // The rows shown changed as a whole (open, close, filter, sort).
    void dataSetChanged();
    // The values of one row changed (typing, post, cancel); -1: of any row.
    void recordChanged(int row);
    // The row at this place went away (deleted).
    void recordRemoved(int row);
    // Rows first to last were added at the end (read in from the file).
    void recordsAppended(int first, int last);
    // The current record is now this row (-1: none).
    void scrolled(int row);
    // The table went into or out of edit mode.
    void stateChanged();
    // A filter or sort asked for waits for the data (true) or is applied or
    // given up (false); the rows shown meanwhile stay as they were.
    void busyChanged(bool busy);

private:
    friend class Table;
    Table* m_dataSet = nullptr;
};
