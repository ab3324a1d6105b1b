#include "data/Store.h"

#include "data/DataError.h"
#include "data/JetStore.h"
#include "data/PgStore.h"
#include "data/RowSet.h"
#include "data/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

enum class FileFormat { Sqlite, Jet, Unknown };

FileFormat detectFormat(const QByteArray& head)
{
    static const QByteArray sqliteMagic("SQLite format 3\0", 16);
    if (head.startsWith(sqliteMagic))
        return FileFormat::Sqlite;
    // Access files carry their engine's name after a four-byte page header.
    const QByteArray engine = head.mid(4, 15);
    if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
        return FileFormat::Jet;
    return FileFormat::Unknown;
}

} // namespace

std::unique_ptr<Store> Store::open(const QString& path, bool readOnly)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw DataError(QStringLiteral("Файл базы данных «%1» не найден.").arg(shown));
    if (!info.isFile())
        throw DataError(QStringLiteral("«%1» — не файл базы данных, а папка или устройство.").arg(shown));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(QStringLiteral("Нет доступа к файлу базы данных «%1»: %2.").arg(shown, file.errorString()));
    const QByteArray head = file.read(100);
    if (PgStore::isLink(head)) {
        // A link to a server: one line, handed to libpq as it stands.
        file.seek(0);
        const QByteArray link = file.read(64 * 1024).split('\n').front().trimmed();
        file.close();
        return std::make_unique<PgStore>(link, path);
    }
    file.close();

    switch (detectFormat(head)) {
    case FileFormat::Sqlite:
        return std::make_unique<SqliteStore>(path, readOnly);
    case FileFormat::Jet:
        return std::make_unique<JetStore>(path);
    case FileFormat::Unknown:
        break;
    }
    throw DataError(
        QStringLiteral("Файл «%1» не является базой данных справочника: формат файла не распознан.").arg(shown));
}

void Store::load(const QString& table, const QStringList& fields, RowSet& rows)
{
    try {
        const std::unique_ptr<RowReader> reader = openReader(table, fields, rows);
        // Read whole here and now: the reader may wait for helpers of its own.
        reader->readingInBackground();
        while (reader->read(1 << 16)) { }
    } catch (...) {
        rows.reset(0);
        throw;
    }
    rows.markDuplicateKeys();
}

QString Store::rowNotFoundMessage(const QString& path, Change change)
{
    // A delete leaves nothing pending to give up.
    if (change == Change::Delete)
        return QStringLiteral("Запись не удалена: в файле «%1» её изменила или удалила другая программа после того, "
                              "как справочник её прочитал. Файл не изменён.")
            .arg(QDir::toNativeSeparators(path));
    return QStringLiteral("Изменения не сохранены: запись в файле «%1» изменена или удалена другой программой "
                          "после того, как справочник её прочитал. Нажмите Esc, чтобы отменить правку.")
        .arg(QDir::toNativeSeparators(path));
}
