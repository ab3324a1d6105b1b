// The Microsoft Access (Jet 4.0 and later) database file behind the
// directory, as publishers hand it out: read whole, never written.
//
// Every change is refused with a message that tells how to make an editable
// copy, so the publisher's file keeps its bytes whatever the user does.
#pragma once

#include "data/Store.h"

#include <memory>

class JetStore : public Store {
public:
    // Opens the file for reading only; throws DataError naming the file when
    // it cannot be read as an Access database of a supported version.
    explicit JetStore(const QString& path);
    ~JetStore() override;

    QString path() const override { return m_path; }
    QString readOnlyReason() const override { return readOnlyMessage(); }

    std::unique_ptr<RowReader> openReader(const QString& table, const QStringList& fields, RowSet& rows) override;
    void update(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes) override;
    void remove(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals) override;

    // Why an Access file cannot be changed, and how to get a copy that can.
    QString readOnlyMessage() const;

private:
    struct File;
    class Cursor;
    class Reader;

    [[noreturn]] void damaged(const QString& detail) const;

    QString m_path;
    std::unique_ptr<File> m_file;
};
