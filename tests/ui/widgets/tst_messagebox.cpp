// Message boxes at the end of the session: a box waiting for an answer is
// answered at once (Cancel where it has one, else its default), and a box
// asked for afterwards is answered so without being shown. Only one session
// ends per process, so the cases run in order in one test.
#include "ui/widgets/MessageBox.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

static int openBoxes()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->isVisible() && qobject_cast<QMessageBox*>(w);
    return n;
}

class TestMessageBox : public QObject {
    Q_OBJECT

private slots:
    void endOfSessionAnswersEveryBox();
};

void TestMessageBox::endOfSessionAnswersEveryBox()
{
    // A question, and over it an error box shown while it waits.
    QMessageBox::StandardButton inner = QMessageBox::NoButton;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(0, this, [] {
            QTRY_COMPARE(openBoxes(), 2);
            MessageBox::endSession();
        });
        inner = MessageBox::show(nullptr, QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("error"),
            QMessageBox::Ok, QMessageBox::Ok);
    });
    const bool agreed = MessageBox::confirm(nullptr, QStringLiteral("t"), QStringLiteral("Delete record?"));
    QVERIFY(!agreed);
    QCOMPARE(inner, QMessageBox::Ok);
    QCOMPARE(openBoxes(), 0);

    // From now on no box shows.
    QTimer watchdog;
    bool shown = false;
    connect(&watchdog, &QTimer::timeout, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<QMessageBox*>(w)) {
                shown = true;
                w->close();
            }
    });
    watchdog.start(10);
    QVERIFY(!MessageBox::confirm(nullptr, QStringLiteral("t"), QStringLiteral("Delete record?")));
    QCOMPARE(MessageBox::show(nullptr, QMessageBox::Warning, QStringLiteral("t"), QStringLiteral("busy"),
                 QMessageBox::Ok | QMessageBox::Retry, QMessageBox::Retry),
        QMessageBox::Retry);
    QVERIFY(!shown);
    QCOMPARE(MessageBox::shown().size(), 4);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
