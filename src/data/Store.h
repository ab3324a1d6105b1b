// A database file behind the directory: reads a whole table once and writes
// single-record changes back at once.
//
// Store::open() recognises the file's format by its first bytes, so other
// formats can be served under the same file name.
#pragma once

#include "data/Field.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class RowSet;

// Reads the rows of one table a batch at a time into the RowSet given when
// it was opened. One thread at a time may use it, and that may be another
// thread than the one that opened it (nobody else uses the store meanwhile).
class RowReader {
public:
    virtual ~RowReader() = default;
    // Appends up to maxRows more rows; returns false once there are no more.
    // Throws DataError, naming the file, when the file cannot be read.
    virtual bool read(int maxRows) = 0;
    // Asks a read() under way on another thread to end soon (what it has
    // read then is not whole). Any thread.
    virtual void cancel() { }
    // Whether reading keeps a second core busy by itself.
    virtual bool twoThreads() const { return false; }
    // The first screen's rows are in: what follows is read on the reading
    // thread, where a reader may wait for helpers of its own.
    virtual void readingInBackground() { }
};

struct FieldChange {
    QString field;
    StoredValue original; // the value as it was read
    TextValue value; // the value to write
};

// A record as another program left it on a shared server: its text values
// in the order of the fields read (the key left out), or none when deleted.
struct RemoteRecord {
    qint64 key = 0;
    bool deleted = false;
    std::vector<TextValue> values;
};

// What other programs changed: these records, or, when the store may have
// missed changes (it lost the server for a while), the whole table read
// anew into all.
struct RemoteChanges {
    std::vector<RemoteRecord> records;
    std::shared_ptr<RowSet> all;
};

class Store {
public:
    virtual ~Store() = default;

    // Opens the database file at path; throws DataError with a message that
    // names the file when it is missing, unreadable or of an unknown format.
    static std::unique_ptr<Store> open(const QString& path, bool readOnly = false);

    virtual QString path() const = 0;

    // Why this user cannot change the file (found when it was opened), with
    // how to get a copy that can be changed; empty when changes can be
    // written. Such a file is read like any other, and every change to it
    // is refused before anything is typed.
    virtual QString readOnlyReason() const { return {}; }

    // Starts reading a table into rows (which it resets first). fields[0] is
    // the integer key, the others are text fields, matched to the table's
    // columns without regard to case. Throws DataError for a missing table
    // or field. Rows whose key cannot find them in the file are marked.
    virtual std::unique_ptr<RowReader> openReader(const QString& table, const QStringList& fields, RowSet& rows) = 0;

    // Reads the whole table at once, keys shared by several rows marked.
    void load(const QString& table, const QStringList& fields, RowSet& rows);

    // Writes the changes of one record. The record is found by its key and
    // the original values of the changed fields, exactly as stored (kind and
    // bytes); when someone else changed or deleted it since it was read,
    // nothing is written and DataError says so.
    virtual void update(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes)
        = 0;

    // Deletes one record, found by its key and the original values of all
    // its fields.
    virtual void remove(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals)
        = 0;

    // Stores on a shared server hear of other programs' changes to the table
    // last read and pass them to onChange, on the thread that opened the
    // store, until it is replaced (an empty function stops them). Files
    // tell nothing.
    virtual void watch(std::function<void(RemoteChanges)> onChange) { Q_UNUSED(onChange); }

    // The message for a record in the file at path that someone else changed
    // or deleted since it was read, when it was to be changed or deleted.
    enum class Change { Edit, Delete };
    static QString rowNotFoundMessage(const QString& path, Change change = Change::Edit);
};
