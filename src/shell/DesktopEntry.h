// A freedesktop desktop entry that starts a program: the launcher file that
// desktops show as an icon and menus as an item. Knows the file's escaping
// rules, so any program path, however awkward, is started as it is.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class DesktopEntry {
public:
    QString name;
    QString comment;
    QString program; // full path of the program to start
    QStringList arguments;
    QString workingFolder; // empty: none
    QString icon; // an icon name or an absolute file path; empty: none

    // The file's text in UTF-8. None without a name or a program, or when a
    // value holds a character that an entry cannot carry (a control character
    // other than tab, line feed and carriage return, or a file name's bytes
    // that were not UTF-8).
    std::optional<QByteArray> text() const;

    // One argument as the Exec key wants it before the general escapes:
    // percent signs doubled, then quoted, with ", `, $ and \ escaped.
    static QString execArgument(const QString& argument);

    // The general escapes of string values: \s for a leading space, \n, \t,
    // \r and \\. None for a character that cannot be written.
    static std::optional<QString> escaped(const QString& value);

    // The general escapes undone, as a desktop reads a string value.
    static QString unescaped(const QString& value);
};
