// Fuzzing target: a damaged Access file opened and read whole through the
// store, as the program opens Sarvino.mdb. A clear DataError or a complete
// read are the only right outcomes; a crash, a sanitizer report or a hang is
// a finding.
//
// Built with -fsanitize=fuzzer it is a libFuzzer target (see README). Built
// without, it is a small program that replays the files it is given and then
// a fixed series of mutated copies of them: the quick replay CTest runs.
#include "data/DataError.h"
#include "data/Field.h"
#include "data/RowSet.h"
#include "data/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace {

QString scratchPath()
{
    static const QString path
        = QDir::temp().filePath(QStringLiteral("sarwino-fuzz-%1.mdb").arg(QCoreApplication::applicationPid()));
    return path;
}

QStringList fieldNames()
{
    QStringList names;
    for (const FieldDef& field : directoryFields())
        names << field.name;
    return names;
}

// Returns how many records were read, or -1 for a refused file.
int openWhole(const char* data, std::size_t size)
{
    const QString path = scratchPath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(data, qint64(size));
    }
    try {
        RowSet rows;
        Store::open(path, true)->load(directoryTableName(), fieldNames(), rows);
        return rows.rowCount();
    } catch (const DataError&) {
        return -1;
    } catch (const std::length_error&) {
        // A value longer than a grid cell holds: the RowSet's own limit.
        return -1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    openWhole(reinterpret_cast<const char*>(data), size);
    return 0;
}

#ifndef SARWINO_LIBFUZZER
// jet_open_replay FILE... [--mutations N]: each file as it is, then N mutated
// copies of each (bytes overwritten, pages zeroed or cut), with a fixed seed.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    int mutations = 0;
    if (const qsizetype at = files.indexOf(QStringLiteral("--mutations")); at >= 0 && at + 1 < files.size()) {
        mutations = files[at + 1].toInt();
        files.remove(at, 2);
    }
    QRandomGenerator random(20261207);
    int opened = 0;
    int refused = 0;
    for (const QString& name : std::as_const(files)) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
            return 2;
        }
        const QByteArray original = file.readAll();
        for (int m = 0; m <= mutations; ++m) {
            QByteArray bytes = original;
            if (m > 0 && !bytes.isEmpty()) {
                const int pageSize = 4096;
                const int pages = std::max(1, int(bytes.size() / pageSize));
                switch (random.bounded(4)) {
                case 0: // a few bytes anywhere
                    for (int i = 0, n = random.bounded(1, 16); i < n; ++i)
                        bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
                    break;
                case 1: // many bytes of one page
                    for (int i = 0, p = random.bounded(pages), n = random.bounded(1, 400); i < n; ++i)
                        bytes[std::min(int(bytes.size()) - 1, p * pageSize + random.bounded(pageSize))]
                            = char(random.bounded(256));
                    break;
                case 2: // a page zeroed
                    bytes.replace(random.bounded(pages) * pageSize, pageSize, QByteArray(pageSize, '\0'));
                    bytes.truncate(original.size());
                    break;
                default: // cut short
                    bytes.truncate(random.bounded(int(bytes.size())));
                }
            }
            (openWhole(bytes.constData(), std::size_t(bytes.size())) < 0 ? refused : opened)++;
        }
    }
    QFile::remove(scratchPath());
    std::printf("%d files read whole, %d refused with a message\n", opened, refused);
    return 0;
}
#endif
