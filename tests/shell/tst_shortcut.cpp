// Shortcuts in the user's folders: where they go, what they hold, that any
// program path comes back whole when a desktop reads the entry, and that
// failures write nothing. Every case has a home folder of its own.
#include "Fixture.h"
#include "shell/DesktopEntry.h"
#include "shell/ProgramIcon.h"
#include "shell/Shortcut.h"
#include "shell/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QElapsedTimer>
#include <QScopeGuard>

#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A desktop entry read back by the Desktop Entry rules of freedesktop.org,
// written apart from the code that writes entries.
struct ReadEntry {
    bool ok = false;
    QMap<QString, QString> values; // of the [Desktop Entry] group, unescaped
};

QString unescapeString(const QString& raw, bool* ok)
{
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != QLatin1Char('\\')) {
            out += raw[i];
            continue;
        }
        if (++i == raw.size()) {
            *ok = false;
            return {};
        }
        switch (raw[i].unicode()) {
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
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            *ok = false;
            return {};
        }
    }
    return out;
}

ReadEntry readEntry(const QString& path)
{
    ReadEntry entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entry;
    bool inGroup = false, ok = true;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return entry;
        if (inGroup)
            entry.values.insert(line.left(eq).trimmed(), unescapeString(line.mid(eq + 1).trimmed(), &ok));
    }
    entry.ok = ok;
    return entry;
}

// The Exec value as a list of arguments: quoting undone, then %% made %.
// Empty for a value that breaks the rules (an unquoted reserved character, an
// unclosed quote, a field code).
QStringList execArguments(const QString& exec)
{
    const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QStringList arguments;
    qsizetype i = 0;
    while (i < exec.size()) {
        if (exec[i] == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        QString argument;
        if (exec[i] == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i == exec.size())
                    return {};
                if (exec[i] == QLatin1Char('"'))
                    break;
                if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size()
                    && QStringLiteral("\"`$\\").contains(exec[i + 1]))
                    ++i;
                argument += exec[i];
            }
            ++i;
        } else {
            for (; i < exec.size() && exec[i] != QLatin1Char(' '); ++i) {
                if (reserved.contains(exec[i]))
                    return {};
                argument += exec[i];
            }
        }
        QString plain;
        for (qsizetype k = 0; k < argument.size(); ++k) {
            if (argument[k] == QLatin1Char('%')) {
                if (k + 1 == argument.size() || argument[k + 1] != QLatin1Char('%'))
                    return {};
                ++k;
            }
            plain += argument[k];
        }
        arguments += plain;
    }
    return arguments;
}

QByteArray iconResource()
{
    QFile file(programicon::resource());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestShortcut : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void twoRunsLeaveOneEntryInEachFolder();
    void anEntryAsItShouldBeIsLeftAlone();
    void anyProgramPathComesBackWhole_data();
    void anyProgramPathComesBackWhole();
    void aDesktopStartsTheProgramInItsFolder();
    void noDesktopFolderWritesOnlyTheMenuEntry_data();
    void noDesktopFolderWritesOnlyTheMenuEntry();
    void desktopFolderFromUserDirs_data();
    void desktopFolderFromUserDirs();
    void aMenuFolderGoingAroundIsNeverMade();
    void linksInTheWayAreReplacedNeverFollowed_data();
    void linksInTheWayAreReplacedNeverFollowed();
    void specialFilesNeverStopTheStart_data();
    void specialFilesNeverStopTheStart();
    void aMenuEntryInstalledForEveryoneIsFound_data();
    void aMenuEntryInstalledForEveryoneIsFound();
    void kindsWithoutAFolderWriteNothing_data();
    void kindsWithoutAFolderWriteNothing();
    void subFolderIsUsedButNeverCreated();
    void shortcutIsNamedAfterTheTarget_data();
    void shortcutIsNamedAfterTheTarget();
    void failedWriteKeepsTheOldEntryAndLeavesNoTemporaryFile();
    void unwritablePathWritesNothing();
    void iconIsCopiedOnceAndRepaired();

private:
    // What the main window does at start: one shortcut on the desktop, one
    // in the menu folder, both to "Sarwino" in programFolder.
    void installBoth(const QString& programFolder);
    QString target(const QString& programFolder) const { return programFolder + QStringLiteral("/Sarwino"); }
    static QStringList filesIn(const QString& folder);
    static void validate(const QString& path);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_home, m_desktop, m_applications, m_program;
};

void TestShortcut::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_home = m_root->filePath(QStringLiteral("home"));
    m_desktop = m_home + QStringLiteral("/Desktop");
    m_applications = m_home + QStringLiteral("/.local/share/applications");
    m_program = m_root->filePath(QStringLiteral("программа"));
    QVERIFY(QDir().mkpath(m_desktop));
    QVERIFY(QDir().mkpath(m_program));
    qputenv("HOME", QFile::encodeName(m_home));
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DESKTOP_DIR");
}

void TestShortcut::cleanup()
{
    m_root.reset();
}

void TestShortcut::installBoth(const QString& programFolder)
{
    QString link;
    CreateShortcut(target(programFolder), ShortcutDesktop, QString(), link, QStringLiteral("Description"), {}, {});
    QString programs;
    GetProgramsFolder(programs);
    CreateShortcut(target(programFolder), ShortcutFolder, programs, link, QStringLiteral("Description"), {}, {});
}

QStringList TestShortcut::filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void TestShortcut::validate(const QString& path)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QFAIL("desktop-file-validate is missing (tools/bootstrap.sh installs it)");
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(validator, { path });
    QVERIFY(run.waitForFinished(30000));
    const QString said = QString::fromUtf8(run.readAll());
    QVERIFY2(run.exitCode() == 0 && said.isEmpty(), qPrintable(said));
}

void TestShortcut::twoRunsLeaveOneEntryInEachFolder()
{
    installBoth(m_program);
    // A change the user made is replaced by the next start.
    QFile edited(m_desktop + QStringLiteral("/Sarwino.desktop"));
    QVERIFY(edited.open(QIODevice::Append));
    edited.write("Name[ru]=Изменено\n");
    edited.close();
    installBoth(m_program);

    QCOMPARE(filesIn(m_desktop), QStringList { QStringLiteral("Sarwino.desktop") });
    QCOMPARE(filesIn(m_applications), QStringList { QStringLiteral("Sarwino.desktop") });
    for (const QString& folder : { m_desktop, m_applications }) {
        const QString path = folder + QStringLiteral("/Sarwino.desktop");
        FIXTURE_STEP(validate(path));
        const ReadEntry entry = readEntry(path);
        QVERIFY(entry.ok);
        QCOMPARE(entry.values.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(entry.values.value(QStringLiteral("Name")), QStringLiteral("Sarwino"));
        QCOMPARE(entry.values.value(QStringLiteral("Comment")), QStringLiteral("Description"));
        QCOMPARE(execArguments(entry.values.value(QStringLiteral("Exec"))), QStringList { target(m_program) });
        QCOMPARE(entry.values.value(QStringLiteral("Path")), m_program + QLatin1Char('/'));
        QCOMPARE(entry.values.value(QStringLiteral("Icon")), QStringLiteral("sarwino"));
        QVERIFY(!entry.values.contains(QStringLiteral("Name[ru]")));
        QVERIFY(QFile::permissions(path) & QFile::ExeOwner);
    }
    QFile icon(m_home + QStringLiteral("/.local/share/icons/hicolor/32x32/apps/sarwino.png"));
    QVERIFY(icon.open(QIODevice::ReadOnly));
    QCOMPARE(icon.readAll(), iconResource());
    // Nothing else anywhere in the home folder.
    QStringList written;
    for (const QString& folder : { m_home, m_home + QStringLiteral("/.local/share") })
        written += filesIn(folder);
    written.sort();
    QCOMPARE(written,
        (QStringList { QStringLiteral(".local"), QStringLiteral("Desktop"), QStringLiteral("applications"),
            QStringLiteral("icons") }));
}

void TestShortcut::anEntryAsItShouldBeIsLeftAlone()
{
    installBoth(m_program);
    const QString path = m_desktop + QStringLiteral("/Sarwino.desktop");
    const QDateTime first = QFileInfo(path).lastModified();
    QTest::qWait(20);
    installBoth(m_program);
    QCOMPARE(QFileInfo(path).lastModified(), first);
    // One that lost its executable bit gets it back.
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    installBoth(m_program);
    QVERIFY(QFile::permissions(path) & QFile::ExeOwner);
}

void TestShortcut::anyProgramPathComesBackWhole_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("spaces") << QStringLiteral("Program Files/Сарвино 2");
    QTest::newRow("quotes") << QStringLiteral("\"quoted\" and 'single'");
    QTest::newRow("backslashes") << QStringLiteral("back\\slash\\\\two");
    QTest::newRow("dollar and backtick") << QStringLiteral("$HOME `id` ${x}");
    QTest::newRow("percent") << QStringLiteral("100% %f %%u");
    QTest::newRow("shell characters") << QStringLiteral("a;b&c|d<e>f*g?h#i(j)~k");
    QTest::newRow("cyrillic") << QStringLiteral("Рабочие файлы/Справочник Светлоборска");
    QTest::newRow("leading space") << QStringLiteral(" leading");
    QTest::newRow("tab and newline") << QStringLiteral("tab\there\nnext line");
    QTest::newRow("equals and brackets") << QStringLiteral("key=value [group]");
}

void TestShortcut::anyProgramPathComesBackWhole()
{
    QFETCH(QString, folder);
    const QString program = m_root->filePath(folder);
    QVERIFY(QDir().mkpath(program));
    installBoth(program);
    for (const QString& entryFolder : { m_desktop, m_applications }) {
        const QString path = entryFolder + QStringLiteral("/Sarwino.desktop");
        FIXTURE_STEP(validate(path));
        const ReadEntry entry = readEntry(path);
        QVERIFY(entry.ok);
        QCOMPARE(execArguments(entry.values.value(QStringLiteral("Exec"))), QStringList { target(program) });
        QCOMPARE(entry.values.value(QStringLiteral("Path")), program + QLatin1Char('/'));
    }
}

// GLib's launcher is what GNOME and most other desktops start entries with.
// (It looks for the program before it turns %% back into %, so a folder with
// a percent sign is left to the reading by the rules above.)
void TestShortcut::aDesktopStartsTheProgramInItsFolder()
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QFAIL("gio is missing (tools/bootstrap.sh installs it)");
    const QString program = m_root->filePath(QStringLiteral("Мои \"программы\" $HOME `x` back\\slash"));
    QVERIFY(QDir().mkpath(program));
    const QString marker = m_root->filePath(QStringLiteral("started"));
    QFile script(target(program));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n%s\\n' \"$0\" \"$(pwd)\" > '" + QFile::encodeName(marker) + "'\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    installBoth(program);

    QProcess launch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS" })
        environment.remove(QLatin1String(name));
    launch.setProcessEnvironment(environment);
    launch.setProcessChannelMode(QProcess::MergedChannels);
    launch.start(gio, { QStringLiteral("launch"), m_applications + QStringLiteral("/Sarwino.desktop") });
    QVERIFY(launch.waitForFinished(30000));
    QVERIFY2(launch.exitCode() == 0, launch.readAll().constData());
    const auto written = [&] {
        QFile started(marker);
        return started.open(QIODevice::ReadOnly) ? QString::fromUtf8(started.readAll()) : QString();
    };
    QTRY_COMPARE(written().count(QLatin1Char('\n')), 2);
    const QStringList lines = written().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), target(program));
    QCOMPARE(lines.value(1), program);
}

void TestShortcut::noDesktopFolderWritesOnlyTheMenuEntry_data()
{
    QTest::addColumn<QByteArray>("userDirs");
    QTest::addColumn<bool>("makeDesktop");
    QTest::newRow("desktop turned off") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n") << true;
    QTest::newRow("desktop folder missing") << QByteArray() << false;
}

void TestShortcut::noDesktopFolderWritesOnlyTheMenuEntry()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(bool, makeDesktop);
    if (!makeDesktop)
        QVERIFY(QDir(m_desktop).removeRecursively());
    if (!userDirs.isEmpty()) {
        QVERIFY(QDir().mkpath(m_home + QStringLiteral("/.config")));
        QFile file(m_home + QStringLiteral("/.config/user-dirs.dirs"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userDirs);
    }
    QString link = QStringLiteral("unchanged");
    CreateShortcut(target(m_program), ShortcutDesktop, QString(), link, QStringLiteral("Description"), {}, {});
    QCOMPARE(link, QStringLiteral("unchanged"));
    installBoth(m_program);
    QVERIFY(!QFile::exists(m_home + QStringLiteral("/Sarwino.desktop")));
    QCOMPARE(QFileInfo::exists(m_desktop), makeDesktop); // never created
    if (makeDesktop)
        QVERIFY(filesIn(m_desktop).isEmpty());
    QCOMPARE(filesIn(m_applications), QStringList { QStringLiteral("Sarwino.desktop") });
}

void TestShortcut::desktopFolderFromUserDirs_data()
{
    QTest::addColumn<QByteArray>("userDirs");
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QString>("expected"); // below home; "/" alone: none
    QTest::newRow("no file: the variable") << QByteArray() << QByteArray("@/Стол") << QStringLiteral("/Стол");
    QTest::newRow("no file, no variable") << QByteArray() << QByteArray() << QStringLiteral("/Desktop");
    QTest::newRow("relative variable ignored") << QByteArray() << QByteArray("Стол") << QStringLiteral("/Desktop");
    QTest::newRow("home-relative") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n") << QByteArray("@/x")
                                   << QStringLiteral("/Рабочий стол");
    QTest::newRow("braced home") << QByteArray("XDG_DESKTOP_DIR=\"${HOME}/Стол\"") << QByteArray()
                                 << QStringLiteral("/Стол");
    QTest::newRow("absolute") << QByteArray("XDG_DESKTOP_DIR=\"@/elsewhere\"") << QByteArray()
                              << QStringLiteral("/elsewhere");
    QTest::newRow("escaped quote") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/say \\\"hi\\\"\"") << QByteArray()
                                   << QStringLiteral("/say \"hi\"");
    QTest::newRow("comments and others") << QByteArray("# XDG_DESKTOP_DIR=\"$HOME/no\"\nXDG_MUSIC_DIR=\"$HOME/M\"\n")
                                         << QByteArray() << QStringLiteral("/Desktop");
    QTest::newRow("last line counts") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/a\"\nXDG_DESKTOP_DIR=\"$HOME/b\"\n")
                                      << QByteArray() << QStringLiteral("/b");
    QTest::newRow("relative value ignored")
        << QByteArray("XDG_DESKTOP_DIR=\"Desk\"\n") << QByteArray() << QStringLiteral("/Desktop");
    QTest::newRow("turned off") << QByteArray("XDG_DESKTOP_DIR=\"$HOME\"\n") << QByteArray() << QStringLiteral("/");
    QTest::newRow("turned off by another name for home")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Desktop/..\"\n") << QByteArray() << QStringLiteral("/");
    // "..", as the disk has it: through a real folder it goes back up; through
    // a missing one it goes nowhere, however the text would read.
    QTest::newRow("dot-dot through a real folder")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Desktop/../Стол\"\n") << QByteArray() << QStringLiteral("/Стол");
    QTest::newRow("dot-dot through a missing folder")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/nosuch/../../outside\"\n") << QByteArray() << QStringLiteral("/");
    QTest::newRow("variable through a missing folder")
        << QByteArray() << QByteArray("@/nosuch/../../outside") << QStringLiteral("/");
    QTest::newRow("missing folder") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Нет\"\n") << QByteArray()
                                    << QStringLiteral("/");
}

void TestShortcut::desktopFolderFromUserDirs()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(QByteArray, environment);
    QFETCH(QString, expected);
    // "@" stands for the home folder in the texts above.
    const QByteArray home = QFile::encodeName(m_home);
    if (!environment.isEmpty())
        qputenv("XDG_DESKTOP_DIR", environment.replace('@', home));
    // The configuration folder comes from XDG_CONFIG_HOME when it is set.
    const QString config = m_root->filePath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    if (!userDirs.isEmpty()) {
        QVERIFY(QDir().mkpath(config));
        QFile file(config + QStringLiteral("/user-dirs.dirs"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userDirs.replace('@', home));
    }
    // Every folder the rows name exists, but for "Нет" and "nosuch"; one
    // beside home is what a text-only reading of "nosuch/../.." reaches.
    for (const char* folder : { "Стол", "elsewhere", "Desk", "x", "say \"hi\"", "a", "b" })
        QVERIFY(QDir().mkpath(m_home + QLatin1Char('/') + QString::fromUtf8(folder)));
    QVERIFY(QDir().mkpath(m_root->filePath(QStringLiteral("outside"))));
    QCOMPARE(userfolders::desktop(),
        expected == QLatin1String("/") ? QString() : QFileInfo(m_home + expected).canonicalFilePath());
}

void TestShortcut::aMenuFolderGoingAroundIsNeverMade()
{
    // Text alone would make this <root>/outside.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home + QStringLiteral("/nosuch/../../outside")));
    installBoth(m_program);
    QVERIFY(!QFileInfo::exists(m_root->filePath(QStringLiteral("outside"))));
    QVERIFY(!QFileInfo::exists(m_home + QStringLiteral("/nosuch")));
    QCOMPARE(filesIn(m_desktop), QStringList { QStringLiteral("Sarwino.desktop") });
    // A data home reached through a link is used where the link leads.
    const QString real = m_root->filePath(QStringLiteral("real-data"));
    QVERIFY(QDir().mkpath(real));
    QVERIFY(QFile::link(real, m_home + QStringLiteral("/data-link")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home + QStringLiteral("/data-link")));
    installBoth(m_program);
    QVERIFY(QFileInfo(real + QStringLiteral("/applications/Sarwino.desktop")).isFile());
    QVERIFY(QFileInfo(real + QStringLiteral("/icons/hicolor/32x32/apps/sarwino.png")).isFile());
}

void TestShortcut::linksInTheWayAreReplacedNeverFollowed_data()
{
    QTest::addColumn<QString>("place"); // below home
    QTest::addColumn<bool>("dangling");
    for (const char* place : { "Desktop/Sarwino.desktop", ".local/share/applications/Sarwino.desktop",
             ".local/share/icons/hicolor/32x32/apps/sarwino.png" }) {
        QTest::addRow("%s to a file", place) << QString::fromLatin1(place) << false;
        QTest::addRow("%s to nothing", place) << QString::fromLatin1(place) << true;
    }
}

void TestShortcut::linksInTheWayAreReplacedNeverFollowed()
{
    QFETCH(QString, place);
    QFETCH(bool, dangling);
    const QString link = m_home + QLatin1Char('/') + place;
    const QString victim = m_root->filePath(QStringLiteral("victim"));
    if (!dangling) {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("someone else's file\n");
    }
    QVERIFY(QDir().mkpath(QFileInfo(link).path()));
    QVERIFY(QFile::link(victim, link));
    installBoth(m_program);
    if (dangling) {
        QVERIFY(!QFileInfo::exists(victim));
    } else {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's file\n"));
    }
    // The link itself gave way to the real thing.
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(link).isFile());
    if (place.endsWith(QLatin1String(".png"))) {
        QFile icon(link);
        QVERIFY(icon.open(QIODevice::ReadOnly));
        QCOMPARE(icon.readAll(), iconResource());
    } else {
        FIXTURE_STEP(validate(link));
    }
    QCOMPARE(filesIn(m_desktop), QStringList { QStringLiteral("Sarwino.desktop") });
    QCOMPARE(filesIn(m_applications), QStringList { QStringLiteral("Sarwino.desktop") });
}

void TestShortcut::specialFilesNeverStopTheStart_data()
{
    QTest::addColumn<QString>("place"); // below home
    QTest::addColumn<bool>("pipe"); // else a link to /dev/zero
    for (const char* place : { ".config/user-dirs.dirs", ".local/share/icons/hicolor/32x32/apps/sarwino.png",
             "Desktop/Sarwino.desktop", ".local/share/applications/Sarwino.desktop" }) {
        QTest::addRow("%s as a named pipe", place) << QString::fromLatin1(place) << true;
        QTest::addRow("%s as a link to an endless device", place) << QString::fromLatin1(place) << false;
    }
}

void TestShortcut::specialFilesNeverStopTheStart()
{
    QFETCH(QString, place);
    QFETCH(bool, pipe);
    const QString path = m_home + QLatin1Char('/') + place;
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (pipe)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    std::atomic<bool> done = false;
    std::thread start([&] {
        installBoth(m_program);
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 20000)
        QThread::msleep(10);
    const bool finished = done;
    if (!finished && pipe) {
        // Let a reader stuck on the pipe go, so the test can end.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    start.join();
    QVERIFY2(finished, "the start waited on the special file");
    QVERIFY(QFileInfo(m_desktop + QStringLiteral("/Sarwino.desktop")).isFile());
    QVERIFY(QFileInfo(m_applications + QStringLiteral("/Sarwino.desktop")).isFile());
    QFile icon(m_home + QStringLiteral("/.local/share/icons/hicolor/32x32/apps/sarwino.png"));
    QVERIFY(icon.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && !QFileInfo(icon).isSymLink());
    QCOMPARE(icon.readAll(), iconResource());
}

void TestShortcut::aMenuEntryInstalledForEveryoneIsFound_data()
{
    QTest::addColumn<QString>("entry"); // "@" stands for the program's folder
    QTest::addColumn<bool>("found");
    QTest::newRow("its path") << QStringLiteral("[Desktop Entry]\nType=Application\nName=S\nExec=@/Sarwino\n") << true;
    QTest::newRow("quoted, with arguments")
        << QStringLiteral("[Desktop Entry]\nName=S\nExec=\"@/Sarwino\" %f\n") << true;
    QTest::newRow("a link to it") << QStringLiteral("[Desktop Entry]\nName=S\nExec=@/link\n") << true;
    QTest::newRow("a command on the PATH") << QStringLiteral("[Desktop Entry]\nName=S\nExec=sarwino-cmd\n") << true;
    QTest::newRow("another program") << QStringLiteral("[Desktop Entry]\nName=S\nExec=@/Other\n") << false;
    QTest::newRow("a copy elsewhere") << QStringLiteral("[Desktop Entry]\nName=S\nExec=@/copy/Sarwino\n") << false;
    QTest::newRow("kept out of the menu")
        << QStringLiteral("[Desktop Entry]\nName=S\nNoDisplay=true\nExec=@/Sarwino\n") << false;
    QTest::newRow("hidden") << QStringLiteral("[Desktop Entry]\nName=S\nHidden=true\nExec=@/Sarwino\n") << false;
    QTest::newRow("an action's Exec only")
        << QStringLiteral("[Desktop Entry]\nName=S\nExec=true\n[Desktop Action a]\nExec=@/Sarwino\n") << false;
}

void TestShortcut::aMenuEntryInstalledForEveryoneIsFound()
{
    QFETCH(QString, entry);
    QFETCH(bool, found);
    const QString program = m_root->filePath(QStringLiteral("папка"));
    QVERIFY(QDir().mkpath(program + QStringLiteral("/copy")));
    const QString bin = m_root->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    for (const QString& file : { program + QStringLiteral("/Sarwino"), program + QStringLiteral("/Other"),
             program + QStringLiteral("/copy/Sarwino") }) {
        QFile executable(file);
        QVERIFY(executable.open(QIODevice::WriteOnly));
        executable.write("#!/bin/sh\n");
        QVERIFY(executable.setPermissions(executable.permissions() | QFile::ExeOwner));
    }
    QVERIFY(QFile::link(program + QStringLiteral("/Sarwino"), program + QStringLiteral("/link")));
    QVERIFY(QFile::link(program + QStringLiteral("/Sarwino"), bin + QStringLiteral("/sarwino-cmd")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ':' + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
    // Two data folders, the entry in the second.
    const QString data = m_root->filePath(QStringLiteral("share"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/applications")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_root->filePath(QStringLiteral("none")) + QLatin1Char(':') + data));
    const auto restoreDirs = qScopeGuard([] { qunsetenv("XDG_DATA_DIRS"); });
    QVERIFY(!SystemMenuStarts(program + QStringLiteral("/Sarwino")));
    QFile file(data + QStringLiteral("/applications/ru.example.desktop"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(entry.replace(QLatin1Char('@'), program).toUtf8());
    file.close();
    QCOMPARE(SystemMenuStarts(program + QStringLiteral("/Sarwino")), found);
    // The program started through its link is the same program.
    QCOMPARE(SystemMenuStarts(program + QStringLiteral("/link")), found);
}

void TestShortcut::kindsWithoutAFolderWriteNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("quick launch") << int(ShortcutQuickLaunch);
    QTest::newRow("send to") << int(ShortcutSendTo);
    QTest::newRow("unknown") << 5;
    QTest::newRow("highest") << 255;
}

void TestShortcut::kindsWithoutAFolderWriteNothing()
{
    QFETCH(int, kind);
    QString link;
    CreateShortcut(
        target(m_program), static_cast<unsigned char>(kind), m_desktop, link, QStringLiteral("Description"), {}, {});
    QVERIFY(link.isEmpty());
    QVERIFY(filesIn(m_desktop).isEmpty());
    QVERIFY(!QFileInfo::exists(m_home + QStringLiteral("/.local")));
}

void TestShortcut::subFolderIsUsedButNeverCreated()
{
    QString link;
    CreateShortcut(
        target(m_program), ShortcutDesktop, QStringLiteral("Справочники"), link, QStringLiteral("Description"), {}, {});
    QVERIFY(link.isEmpty());
    QVERIFY(filesIn(m_desktop).isEmpty());

    QVERIFY(QDir().mkpath(m_desktop + QStringLiteral("/Справочники")));
    CreateShortcut(target(m_program), ShortcutDesktop, QStringLiteral("Справочники"), link, QStringLiteral("Описание"),
        { QStringLiteral("--один"), QStringLiteral("два три") }, QStringLiteral("/tmp/рабочая"));
    QCOMPARE(link, m_desktop + QStringLiteral("/Справочники/Sarwino.desktop"));
    const ReadEntry entry = readEntry(link);
    QCOMPARE(execArguments(entry.values.value(QStringLiteral("Exec"))),
        (QStringList { target(m_program), QStringLiteral("--один"), QStringLiteral("два три") }));
    QCOMPARE(entry.values.value(QStringLiteral("Comment")), QStringLiteral("Описание"));
    QCOMPARE(entry.values.value(QStringLiteral("Path")), QStringLiteral("/tmp/рабочая"));
    FIXTURE_STEP(validate(link));

    // The menu folder takes a sub-folder the same way.
    CreateShortcut(target(m_program), ShortcutStartMenu, QStringLiteral("Нет такой"), link, {}, {}, {});
    QVERIFY(QFileInfo::exists(m_applications));
    QVERIFY(filesIn(m_applications).isEmpty());
}

void TestShortcut::shortcutIsNamedAfterTheTarget_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("entry");
    QTest::newRow("no extension") << QStringLiteral("Sarwino") << QStringLiteral("Sarwino.desktop");
    QTest::newRow("extension") << QStringLiteral("Sarwino.exe") << QStringLiteral("Sarwino.desktop");
    QTest::newRow("last extension only") << QStringLiteral("run.me.sh") << QStringLiteral("run.me.desktop");
    QTest::newRow("leading dot") << QStringLiteral(".hidden") << QStringLiteral(".hidden.desktop");
}

void TestShortcut::shortcutIsNamedAfterTheTarget()
{
    QFETCH(QString, file);
    QFETCH(QString, entry);
    QString link;
    CreateShortcut(m_program + QLatin1Char('/') + file, ShortcutDesktop, {}, link, {}, {}, {});
    QCOMPARE(link, m_desktop + QLatin1Char('/') + entry);
    QCOMPARE(filesIn(m_desktop), QStringList { entry });
}

void TestShortcut::failedWriteKeepsTheOldEntryAndLeavesNoTemporaryFile()
{
    installBoth(m_program);
    const QString path = m_desktop + QStringLiteral("/Sarwino.desktop");
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray before = old.readAll();
    old.close();
    // The entry's name is taken by a folder: the new file cannot take its place.
    const QString other = m_root->filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other + QStringLiteral("/Sarwino.desktop/inside")));
    QString link;
    CreateShortcut(target(m_program), ShortcutFolder, other, link, {}, {}, {});
    QVERIFY(link.isEmpty());
    QCOMPARE(filesIn(other), QStringList { QStringLiteral("Sarwino.desktop") });
    QVERIFY(QFileInfo(other + QStringLiteral("/Sarwino.desktop")).isDir());

    // A path the entry cannot carry leaves the old entry as it was.
    CreateShortcut(m_root->filePath(QStringLiteral("bell\aring/Sarwino")), ShortcutDesktop, {}, link, {}, {}, {});
    QVERIFY(link.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), before);
    QCOMPARE(filesIn(m_desktop), QStringList { QStringLiteral("Sarwino.desktop") });
}

void TestShortcut::unwritablePathWritesNothing()
{
    // No home at all: no folder to write to.
    qputenv("HOME", "relative/home");
    QString link;
    installBoth(m_program);
    CreateShortcut(target(m_program), ShortcutDesktop, {}, link, {}, {}, {});
    QVERIFY(link.isEmpty());
    QVERIFY(filesIn(m_desktop).isEmpty());
    QVERIFY(!QFileInfo::exists(QStringLiteral("relative")));
}

void TestShortcut::iconIsCopiedOnceAndRepaired()
{
    QVERIFY(!iconResource().isEmpty());
    QCOMPARE(programicon::install(), QStringLiteral("sarwino"));
    const QString path = programicon::installedPath();
    QCOMPARE(path, m_home + QStringLiteral("/.local/share/icons/hicolor/32x32/apps/sarwino.png"));
    const QDateTime first = QFileInfo(path).lastModified();
    QTest::qWait(20);
    QCOMPARE(programicon::install(), QStringLiteral("sarwino"));
    QCOMPARE(QFileInfo(path).lastModified(), first); // an equal file is left alone
    QFile spoiled(path);
    QVERIFY(spoiled.open(QIODevice::WriteOnly | QIODevice::Truncate));
    spoiled.write("not a picture");
    spoiled.close();
    QCOMPARE(programicon::install(), QStringLiteral("sarwino"));
    QVERIFY(spoiled.open(QIODevice::ReadOnly));
    QCOMPARE(spoiled.readAll(), iconResource());
    // With XDG_DATA_HOME set, everything goes below it.
    const QString data = m_root->filePath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    installBoth(m_program);
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/icons/hicolor/32x32/apps/sarwino.png")));
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/applications/Sarwino.desktop")));
    QCOMPARE(QFileInfo(data).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
}

QTEST_GUILESS_MAIN(TestShortcut)
#include "tst_shortcut.moc"
