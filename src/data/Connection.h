// The connection to the directory's database file.
//
// The connection string is either a bare path to the database file or a
// list of keyword=value pairs separated by ";" (a value may stand in double
// quotes), of which "Data Source" names the file. Only a list with a keyword
// such strings use is taken for one: a path may hold "=", ";" or quotes. The provider is a separate property and does
// not change which store opens the file: the store is chosen by the file's own format.
#pragma once

#include "data/Store.h"

#include <QString>

#include <memory>

class Connection {
public:
    Connection();
    ~Connection();

    QString connectionString() const { return m_connectionString; }
    void setConnectionString(const QString& value);

    QString provider() const { return m_provider; }
    void setProvider(const QString& value) { m_provider = value; }

    bool loginPrompt() const { return m_loginPrompt; }
    void setLoginPrompt(bool value) { m_loginPrompt = value; }

    // The database file the connection string names.
    QString databasePath() const;
    // Whether the connection string asks for reading only ("Mode=Read").
    bool readOnly() const;

    // Opens the store; throws DataError when the file cannot be opened.
    void open();
    void close();

    Store& store();
    // Whether a store is open (the table stops listening to it on closing).
    bool connected() const { return m_store != nullptr; }

    // The connection string the program is designed with, one pair per
    // keyword; the program replaces it with the database path at start.
    static QString designTimeConnectionString();

private:
    QString m_connectionString;
    QString m_provider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    bool m_loginPrompt = false;
    std::unique_ptr<Store> m_store;
};
