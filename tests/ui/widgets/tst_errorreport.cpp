// The one place where errors reach the user: the message box, its caption,
// the full-stop rule and the silent abort.
#include "data/DataError.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/MessageBox.h"

#include <QTest>

#include <stdexcept>

class TestErrorReport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MessageBox::setAnswerWithDefault(true); }
    void init() { MessageBox::clearShown(); }

    void errorMessagesGetAFullStop_data();
    void errorMessagesGetAFullStop();
    void oneBoxCaptionedWithTheTitle();
    void silentAbortShowsNothing();
};

void TestErrorReport::errorMessagesGetAFullStop_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << QStringLiteral("Ошибка") << QStringLiteral("Ошибка.");
    QTest::newRow("full stop") << QStringLiteral("Ошибка.") << QStringLiteral("Ошибка.");
    QTest::newRow("question") << QStringLiteral("Delete record?") << QStringLiteral("Delete record?.");
    QTest::newRow("bracket") << QStringLiteral("(ошибка)") << QStringLiteral("(ошибка)");
    QTest::newRow("empty") << QString() << QString();
}

void TestErrorReport::errorMessagesGetAFullStop()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(errors::withFullStop(message), shown);
}

void TestErrorReport::oneBoxCaptionedWithTheTitle()
{
    errors::setApplicationTitle(QStringLiteral("\"Сарвино\"- Справочник"));
    QVERIFY(!guarded([] { throw DataError(QStringLiteral("Файл не найден")); }));
    QVERIFY(!guarded([] { throw std::bad_alloc(); }));
    QCOMPARE(MessageBox::shown().size(), 2);
    QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
    QCOMPARE(MessageBox::shown().at(0).title, QStringLiteral("\"Сарвино\"- Справочник"));
    QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("Файл не найден."));
    QCOMPARE(MessageBox::shown().at(1).text, QStringLiteral("Не хватает памяти, чтобы выполнить это действие."));
    errors::setApplicationTitle(QString());
    QCOMPARE(errors::applicationTitle(), QStringLiteral("tst_errorreport")); // the executable's name
}

void TestErrorReport::silentAbortShowsNothing()
{
    QVERIFY(!guarded([] { throw SilentAbort(); }));
    QVERIFY(guarded([] {}));
    QVERIFY(MessageBox::shown().isEmpty());
}

QTEST_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
