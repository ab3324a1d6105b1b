// A static client-side cursor over one table of the directory's database.
//
// open() reads the first rows at once and the rest in the background, so a
// big table shows at once; from then on the rows live in memory and every
// change to a record is written through to the file at once. The filter text
// and the sort field names decide which rows the cursor shows and in which
// order (while the rows are still being read in, or while a sorted order
// they need is still being built, they are kept and applied when it is all
// there: the caller never waits, and the last setting asked for wins). One
// record is current; controls follow it through the data sources attached
// to the table.
#pragma once

#include "data/Field.h"
#include "data/Filter.h"
#include "data/RowView.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class Connection;
class DataSource;
class TableRows;
struct FieldChange;
struct RemoteChanges;

class Table {
public:
    enum class State { Inactive, Browse, Edit };

    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    Connection* connection() const { return m_connection; }
    void setConnection(Connection* connection);

    QString tableName() const { return m_tableName; }
    void setTableName(const QString& name);

    // The persistent field list; the first field is the integer key.
    const std::vector<FieldDef>& fields() const { return m_fields; }
    void setFields(std::vector<FieldDef> fields);
    int fieldIndex(const QString& name) const; // -1 when there is none
    int fieldByName(const QString& name) const; // throws "Field '%s' not found"

    // Opens the table: the first rows are read at once (a small table
    // whole), the rest in the background. Throws DataError and stays closed
    // on failure.
    void open();
    void close();
    bool active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // Whether rows are still being read in.
    bool loading() const;
    // Waits until every row is in and whatever waited for that is done.
    // For tests and benchmarks: the window never waits.
    void waitUntilLoaded();
    // A filter or sort asked for waits for rows or an order still being
    // built (the data sources hear busyChanged).
    bool busy() const { return m_busy; }
    // Waits until no filter or sort waits any more (tests, benchmarks).
    void waitUntilSelected();
    // Rows the view is handed in one turn of the event loop while rows
    // come in (smaller in tests, to see the slices on a small table).
    static int viewSliceRows();
    static void setViewSliceRows(int rows);

    // Filter text and sort field names: applied at once while open (once
    // every row is in), only stored while closed. A malformed filter raises
    // DataError and changes nothing.
    QString filter() const { return m_filter; }
    void setFilter(const QString& text);
    bool filtered() const { return m_filtered; }
    void setFiltered(bool value);
    QString indexFieldNames() const { return m_indexFieldNames; }
    void setIndexFieldNames(const QString& names);
    // Sets filter and sort in one step, the record being typed finished
    // first even when neither changes. When the record cannot be left (the
    // file refused its change) the new filter and sort wait and take over
    // once the change is saved or given up, so the rows always end up
    // chosen as the controls say.
    void setSelection(const QString& filter, const QString& sortFields);

    // Rows shown.
    int recordCount() const;
    // The current row (0-based), -1 when there is none.
    int currentRow() const { return m_row; }
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const { return recordCount() == 0; }

    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    void moveTo(int row);

    // Values of the current record (with any pending change).
    TextValue value(int field) const;
    QString text(int field) const { return value(field).value_or(QString()); }
    // Values of any shown row, without moving the cursor.
    TextValue valueAt(int row, int field) const;
    qint64 keyAt(int row) const;
    // At most the first chars characters of a shown value, for display: a
    // huge value is never read whole for it.
    QString displayText(int row, int field, int chars) const;
    // Whether a shown value is this one, reading no more of a huge value
    // than the comparison needs.
    bool holdsAt(int row, int field, const TextValue& value) const;

    // Editing of the current record.
    void edit();
    void setValue(int field, const TextValue& value);
    bool modified() const;
    void post();
    void cancel();
    void deleteRecord();
    // Asks for a new record, which this table never adds: the record being
    // typed is posted first, then onBeforeInsert runs, and nothing else
    // changes.
    void insert();
    // Posts a pending change. A change the file refused stays pending, and
    // until the user works on it again this raises SilentAbort instead of
    // trying again.
    void checkBrowseMode();
    // Posts a pending change even when it was refused before: the user asked
    // for it (closing the program, for instance).
    void savePending();

    // Whether a shown row can be edited or deleted: not in a file this user
    // cannot change, nor a row whose key does not identify it in the file.
    bool canModify(int row) const;
    // Throws DataError saying why a shown row cannot be edited or deleted.
    void checkModifiable(int row) const;

    // Controls attached through data sources stop following the table while
    // disabled; calls nest.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Runs whenever a new record is asked for; throwing from it (SilentAbort
    // for a silent veto) is how the refusal reaches the caller.
    std::function<void(Table&)> onBeforeInsert;
    // Hears what goes wrong in the background, where no caller can (the
    // file could not be read to its end); the table is closed by then.
    std::function<void(std::exception_ptr)> onBackgroundError;

    // Records other programs changed on a shared server: put into the rows,
    // the filter and sort applied again, the current record kept. While a
    // record is being typed, or rows are still being read in, they wait.
    void applyRemoteChanges(RemoteChanges changes);

    // Whether a change is being written. The wait for a server, and for the
    // last rows of a table still being read, runs the window's events (it
    // repaints meanwhile): the rows and the view stay as
    // they are until the write is over, what arrives meanwhile (rows read in,
    // other programs' changes, a filter or sort made ready) waits for it,
    // and a step asked of the table then is refused silently (SilentAbort).
    bool writing() const { return m_writing; }

    // Memory held by the rows, for benchmarks.
    std::size_t memoryUsage() const;

private:
    friend class DataSource;
    void attach(DataSource* source);
    void detach(DataSource* source);

    void checkActive() const;
    void checkIdle() const;
    bool deferWhileWriting(std::function<void()> step);
    class Writing;
    bool rowsReady() const;
    bool selectable() const;
    void reselect(const QString& filter, bool filtered, const QString& sortFields);
    void keepSelection(const QString& filter, bool filtered, const QString& sortFields, Selection parsed);
    void setBusy(bool busy);
    void updateRecord();
    void applyPendingSelection();
    void schedulePendingSelection();
    void onRowsArrived(int count);
    void showArrivedRows();
    void onRowsFinished(bool atOnce = false);
    void onLoadFailed(const QString& message);
    void rebuildView();
    void showKeeping(RowView view, int row, int place);
    int rowIndex(int row) const; // position in the rows of a shown row
    void setCurrent(int row);
    std::vector<FieldChange> changes() const;
    void validate(int field, const TextValue& value) const;
    void writePending();

    enum Change : unsigned { NoChange = 0, DataSetChange = 1, ScrollChange = 2, StateChange = 4, RecordChange = 8 };
    template <typename... Args> void notify(unsigned change, void (DataSource::*signal)(Args...), Args... args);
    void notifyDataSet();
    void notifyScroll();
    void notifyState();
    void notifyRecord(int row);
    void notifyRemoved(int row);
    void notifyAppended(int first, int last);

    Connection* m_connection = nullptr;
    QString m_tableName;
    std::vector<FieldDef> m_fields;
    State m_state = State::Inactive;

    std::unique_ptr<TableRows> m_data;
    RowView m_view;
    int m_row = -1;
    bool m_bof = true;
    bool m_eof = true;

    QString m_filter;
    bool m_filtered = true;
    QString m_indexFieldNames;
    // The filter and sort as parsed; while pending, set while rows were
    // still being read in or an order they need was being built, or while
    // the record could not be left, to be applied when that is over.
    Selection m_selection;
    bool m_selectionPending = false;
    int m_selectionTicket = 0; // tells the selections kept apart
    // The rows are chosen anew after other programs' changes, waiting for an
    // order: the current record stays current when they are.
    bool m_keepCurrent = false;
    bool m_busy = false;
    // Every row read in is in the view (or the view has been chosen anew).
    bool m_allRowsShown = false;
    // While rows come in: the rows read so far, and how many of them (in
    // stored order) have been handed to the view, a slice per turn of the
    // event loop; a turn is queued to hand over more, and the end of the
    // reading waits for the view to catch up.
    int m_rowsIn = 0;
    int m_rowsShown = 0;
    bool m_showQueued = false;
    bool m_finishQueued = false;

    // The pending change of the current record, one slot per field.
    std::vector<TextValue> m_buffer;
    std::vector<bool> m_changed;
    bool m_refused = false; // the file refused the pending change

    std::vector<DataSource*> m_sources;
    int m_disableCount = 0;

    struct Remote; // other programs' changes waiting, and the rows by key
    std::shared_ptr<Remote> m_remote;
    void applyWaitingRemoteChanges();
    bool m_writing = false;
    std::vector<std::function<void()>> m_afterWriting;
    unsigned m_pending = NoChange;
    int m_rowWhenDisabled = -1;
};
