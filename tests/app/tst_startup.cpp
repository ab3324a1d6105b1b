// The program before and around its windows: Qt's own texts in Russian,
// --version and --help answered on the console without a window (by the
// program and the converter), and one clear line with exit status 1 where no
// window can be opened.
#include "app/Application.h"
#include "app/Startup.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool hasCyrillic(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[А-Яа-яЁё]")));
}

// The environment a program starts in: the test's, without any display, with
// a home of its own.
QProcessEnvironment withoutDisplay(const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QLatin1String(name));
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DESKTOP_DIR" })
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void qtTextsAreRussian();
    void theConsoleIsAnsweredWithoutAWindow_data();
    void theConsoleIsAnsweredWithoutAWindow();
};

void TestStartup::qtTextsAreRussian()
{
    int argc = 1;
    char name[] = "tst_startup";
    char* argv[] = { name, nullptr };
    Application app(argc, argv);

    QLineEdit edit(QStringLiteral("Аптека"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    int texts = 0;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        ++texts;
        QVERIFY2(hasCyrillic(action->text()), qPrintable(action->text()));
    }
    QVERIFY(texts >= 6); // undo, redo, cut, copy, paste, delete, select all

    QMessageBox box(QMessageBox::Question, QStringLiteral("\"Сарвино\"- Справочник"), QStringLiteral("Delete record?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::Close);
    for (const QMessageBox::StandardButton button :
        { QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel, QMessageBox::Close })
        QVERIFY2(hasCyrillic(box.button(button)->text()), qPrintable(box.button(button)->text()));
    // A text the program gives is shown as it is.
    QCOMPARE(box.text(), QStringLiteral("Delete record?"));
}

void TestStartup::theConsoleIsAnsweredWithoutAWindow_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("display"); // empty: none at all
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern of the whole of standard output
    QTest::addColumn<QString>("err"); // and of standard error
    const QString program = QStringLiteral(SARWINO_PROGRAM);
    const QString convert = QStringLiteral(SARWINO_CONVERT);
    const QString version = QRegularExpression::escape(QStringLiteral(SARWINO_VERSION));
    QTest::newRow("version") << program << QStringList { QStringLiteral("--version") } << QString() << 0
                             << QStringLiteral("Sarwino %1\n").arg(version) << QString();
    QTest::newRow("help") << program << QStringList { QStringLiteral("--help") } << QString() << 0
                          << QStringLiteral("Использование: sarwino .*--version.*--help.*\n") << QString();
    QTest::newRow("no display") << program << QStringList() << QString() << 1 << QString()
                                << QStringLiteral("Sarwino: нет графического дисплея[^\n]*\n");
    QTest::newRow("a display nobody answers")
        << program << QStringList() << QStringLiteral(":93") << 1 << QString()
        << QStringLiteral("Sarwino: не удаётся подключиться к графическому дисплею «:93».\n");
    QTest::newRow("converter version") << convert << QStringList { QStringLiteral("--version") } << QString() << 0
                                       << QStringLiteral("sarwino-convert %1\n").arg(version) << QString();
    QTest::newRow("converter help") << convert << QStringList { QStringLiteral("--help") } << QString() << 0
                                    << QStringLiteral("Использование: sarwino-convert .*") << QString();
}

void TestStartup::theConsoleIsAnsweredWithoutAWindow()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, display);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment environment = withoutDisplay(home.path());
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(program, arguments);
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    const QString said = QString::fromUtf8(run.readAllStandardOutput());
    const QString complained = QString::fromUtf8(run.readAllStandardError());
    QCOMPARE(run.exitCode(), status);
    const auto whole = [](const QString& pattern) {
        return QRegularExpression(
            QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption);
    };
    QVERIFY2(whole(out).match(said).hasMatch(), qPrintable(said));
    QVERIFY2(whole(err).match(complained).hasMatch(), qPrintable(complained));
    // Nothing was written for a program that never started.
    QVERIFY(QDir(home.path()).isEmpty());
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
