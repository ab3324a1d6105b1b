#include "shell/DesktopEntry.h"

namespace {

// Control characters have no place in an entry, and a replacement character
// stands for bytes of a file name that were not UTF-8 and so cannot be
// written into the file's UTF-8 either.
bool unwritable(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::ReplacementCharacter;
}

} // namespace

QString DesktopEntry::execArgument(const QString& argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

std::optional<QString> DesktopEntry::escaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        switch (c.unicode()) {
        case ' ':
            out += i == 0 ? QStringLiteral("\\s") : QStringLiteral(" ");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        default:
            if (unwritable(c))
                return std::nullopt;
            out += c;
        }
    }
    return out;
}

QString DesktopEntry::unescaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += value[i]; // \\ and, leniently, any other character
        }
    }
    return out;
}

std::optional<QByteArray> DesktopEntry::text() const
{
    if (name.isEmpty() || program.isEmpty())
        return std::nullopt;
    QStringList exec { execArgument(program) };
    for (const QString& argument : arguments)
        exec += execArgument(argument);

    // Key and value pairs in the order they are written; empty values are left out.
    const std::pair<const char*, QString> keys[] = {
        { "Type", QStringLiteral("Application") },
        { "Version", QStringLiteral("1.0") },
        { "Name", name },
        { "Comment", comment },
        { "Exec", exec.join(QLatin1Char(' ')) },
        { "Path", workingFolder },
        { "Icon", icon },
        { "Terminal", QStringLiteral("false") },
        { "Categories", QStringLiteral("Office;") },
    };
    // The first line lets the file, made executable, open itself.
    QString out = QStringLiteral("#!/usr/bin/env xdg-open\n[Desktop Entry]\n");
    for (const auto& [key, value] : keys) {
        if (value.isEmpty())
            continue;
        const std::optional<QString> written = escaped(value);
        if (!written)
            return std::nullopt;
        out += QLatin1String(key) + QLatin1Char('=') + *written + QLatin1Char('\n');
    }
    return out.toUtf8();
}
