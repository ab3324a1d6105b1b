// The main window and the desktop around it: the mouse wheel as the arrow
// keys in the grid, the search box and the sort buttons, and the shortcuts
// that every start writes into the user's folders.
#include "../../common/Controls.h"
#include "../../common/ProgramFixture.h"
#include "../../common/TestDatabase.h"
#include "Fixture.h"

#include "data/GridModel.h"
#include "ui/main/ApplicationHook.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/main/WheelKeys.h"
#include "ui/widgets/ClassicGroupBox.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/ProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <memory>

namespace {

// Counts the key presses that reach one widget.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(QWidget* widget) { widget->installEventFilter(this); }
    int presses = 0;
    QList<int> keys;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            ++presses;
            keys += static_cast<QKeyEvent*>(event)->key();
        }
        return false;
    }
};

// A wheel event at the middle of widget, sent to widget itself or, as the
// platform does, to the window that holds it.
void wheel(QWidget* widget, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
    Qt::ScrollPhase phase = Qt::NoScrollPhase, QPoint pixel = {}, bool viaWindow = false)
{
    const QPoint centre = widget->rect().center();
    const QPointF global = widget->mapToGlobal(centre);
    if (viaWindow) {
        QWidget* top = widget->window();
        QWheelEvent event(widget->mapTo(top, centre), global, pixel, angle, Qt::NoButton, modifiers, phase, false);
        QApplication::sendEvent(top->windowHandle(), &event);
    } else {
        QWheelEvent event(centre, global, pixel, angle, Qt::NoButton, modifiers, phase, false);
        QApplication::sendEvent(widget, &event);
    }
}

} // namespace

class TestTForm1Shell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MessageBox::setAnswerWithDefault(true); }
    void init();
    void cleanup();

    void eachWheelEventMovesTheGridOneRow_data();
    void eachWheelEventMovesTheGridOneRow();
    void aStreamOfSmallStepsMovesOneRowEach();
    void theWheelAppendsNoRowAtTheEnd();
    void theSearchBoxTakesTheArrowKeys();
    void theWheelCyclesTheSortButtons();
    void sidewaysMovementScrollsAsBefore();
    void altTurnsReportedSidewaysAreTurnedBack_data();
    void altTurnsReportedSidewaysAreTurnedBack();
    void activationReplacesTheHook();
    void everyStartWritesBothShortcuts();
    void aFailedStartWritesNoShortcut();

private:
    void start(int records = 30);
    DbGrid* grid() const { return control<DbGrid>(Form1, "DBGrid1"); }
    void placeGridOn(int row);

    std::unique_ptr<QTemporaryDir> m_home;
    ProgramFixture m_program;
};

void TestTForm1Shell::init()
{
    MessageBox::clearShown();
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("HOME", QFile::encodeName(m_home->path()));
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DESKTOP_DIR");
    QVERIFY(QDir(m_home->path()).mkdir(QStringLiteral("Desktop")));
}

void TestTForm1Shell::cleanup()
{
    m_program.close();
    m_home.reset();
}

void TestTForm1Shell::start(int records)
{
    m_program.start(TestDatabase::numbered(records));
}

void TestTForm1Shell::placeGridOn(int row)
{
    grid()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), grid());
    Form1->ADOTable1.moveTo(row);
    QCOMPARE(grid()->currentIndex().row(), row);
}

void TestTForm1Shell::eachWheelEventMovesTheGridOneRow_data()
{
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("viaWindow");
    QTest::addColumn<int>("step"); // rows down; 0: the event is no vertical turn

    const int none = Qt::NoModifier, plain = Qt::NoScrollPhase;
    QTest::newRow("one notch towards the user") << QPoint(0, -120) << QPoint() << none << plain << false << 1;
    QTest::newRow("one notch away") << QPoint(0, 120) << QPoint() << none << plain << false << -1;
    QTest::newRow("fast turn of two notches") << QPoint(0, -240) << QPoint() << none << plain << false << 1;
    QTest::newRow("fast turn of six notches away") << QPoint(0, 720) << QPoint() << none << plain << false << -1;
    QTest::newRow("tiny step") << QPoint(0, -1) << QPoint() << none << plain << false << 1;
    QTest::newRow("pixels only") << QPoint() << QPoint(0, 3) << none << plain << false << -1;
    QTest::newRow("no movement") << QPoint() << QPoint() << none << plain << false << 1;
    QTest::newRow("Ctrl") << QPoint(0, -120) << QPoint() << int(Qt::ControlModifier) << plain << false << 1;
    QTest::newRow("Shift") << QPoint(0, 120) << QPoint() << int(Qt::ShiftModifier) << plain << false << -1;
    QTest::newRow("Ctrl+Shift") << QPoint(0, -120) << QPoint() << int(Qt::ControlModifier | Qt::ShiftModifier) << plain
                                << false << 1;
    QTest::newRow("touchpad update") << QPoint(0, -15) << QPoint(0, -2) << none << int(Qt::ScrollUpdate) << false << 1;
    QTest::newRow("touchpad start mark") << QPoint() << QPoint() << none << int(Qt::ScrollBegin) << false << 0;
    QTest::newRow("touchpad end mark") << QPoint() << QPoint() << none << int(Qt::ScrollEnd) << false << 0;
    QTest::newRow("sideways") << QPoint(120, 0) << QPoint() << none << plain << false << 0;
    QTest::newRow("diagonal") << QPoint(-40, -120) << QPoint() << none << plain << false << 1;
    QTest::newRow("through the window, towards") << QPoint(0, -120) << QPoint() << none << plain << true << 1;
    QTest::newRow("through the window, away")
        << QPoint(0, 360) << QPoint() << int(Qt::ControlModifier) << plain << true << -1;
}

void TestTForm1Shell::eachWheelEventMovesTheGridOneRow()
{
    QFETCH(QPoint, angle);
    QFETCH(QPoint, pixel);
    QFETCH(int, modifiers);
    QFETCH(int, phase);
    QFETCH(bool, viaWindow);
    QFETCH(int, step);
    FIXTURE_STEP(start());
    FIXTURE_STEP(placeGridOn(10));
    KeyCounter keys(grid());
    // Qt offers a wheel event to the viewport first, then to each parent.
    wheel(grid()->viewport(), angle, Qt::KeyboardModifiers(modifiers), Qt::ScrollPhase(phase), pixel, viaWindow);
    QCOMPARE(keys.presses, step == 0 ? 0 : 1);
    if (step != 0)
        QCOMPARE(keys.keys.first(), step > 0 ? int(Qt::Key_Down) : int(Qt::Key_Up));
    QCOMPARE(Form1->ADOTable1.currentRow(), 10 + step);
    QCOMPARE(grid()->tableRow(grid()->currentIndex()), 10 + step);
    QCOMPARE(grid()->gridModel()->rowCount(), 30);
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Browse);
    QCOMPARE(QApplication::focusWidget(), grid());
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestTForm1Shell::aStreamOfSmallStepsMovesOneRowEach()
{
    FIXTURE_STEP(start());
    FIXTURE_STEP(placeGridOn(0));
    // The wheel needs no pointer over the grid: the focused control takes the keys.
    for (int i = 0; i < 7; ++i)
        wheel(control<QPushButton>(Form1, "Button2"), QPoint(0, -8), Qt::NoModifier, Qt::ScrollUpdate, QPoint(0, -1),
            true);
    QCOMPARE(Form1->ADOTable1.currentRow(), 7);
    for (int i = 0; i < 3; ++i)
        wheel(grid()->viewport(), QPoint(0, 8));
    QCOMPARE(Form1->ADOTable1.currentRow(), 4);
}

void TestTForm1Shell::theWheelAppendsNoRowAtTheEnd()
{
    FIXTURE_STEP(start(5));
    FIXTURE_STEP(placeGridOn(3));
    for (int i = 0; i < 4; ++i)
        wheel(grid()->viewport(), QPoint(0, -120), i % 2 ? Qt::ControlModifier : Qt::NoModifier);
    QCOMPARE(Form1->ADOTable1.currentRow(), 4);
    QCOMPARE(grid()->gridModel()->rowCount(), 5);
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Browse);
    QCOMPARE(m_program.db().count(), 5);
    QVERIFY(MessageBox::shown().isEmpty());
    wheel(grid()->viewport(), QPoint(0, 120));
    QCOMPARE(Form1->ADOTable1.currentRow(), 3);
}

void TestTForm1Shell::theSearchBoxTakesTheArrowKeys()
{
    FIXTURE_STEP(start());
    FIXTURE_STEP(placeGridOn(2));
    QLineEdit* box = control<QLineEdit>(Form1, "Edit1");
    box->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), box);
    box->setText(QStringLiteral("Фирма 001"));
    const int row = Form1->ADOTable1.currentRow();
    KeyCounter keys(box);
    wheel(grid()->viewport(), QPoint(0, -120));
    wheel(grid()->viewport(), QPoint(0, 120));
    QCOMPARE(keys.keys, (QList<int> { Qt::Key_Down, Qt::Key_Up }));
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->text(), QStringLiteral("Фирма 001"));
    QCOMPARE(Form1->ADOTable1.currentRow(), row);
    QVERIFY(control<QRadioButton>(Form1, "RadioButton3")->isChecked());
}

void TestTForm1Shell::theWheelCyclesTheSortButtons()
{
    FIXTURE_STEP(start());
    // At start the selected sort button has the focus.
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton3"));
    wheel(grid()->viewport(), QPoint(0, -120));
    QVERIFY(control<QRadioButton>(Form1, "RadioButton4")->isChecked());
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton4"));
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("адрес"));
    QCOMPARE(Form1->ADOTable1.currentRow(), 0);
    wheel(control<QRadioButton>(Form1, "RadioButton4"), QPoint(0, 240), Qt::ShiftModifier);
    QVERIFY(control<QRadioButton>(Form1, "RadioButton3")->isChecked());
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    wheel(control<ClassicGroupBox>(Form1, "GroupBox1"), QPoint(0, 120), Qt::NoModifier, Qt::NoScrollPhase, {}, true);
    QVERIFY(control<QRadioButton>(Form1, "RadioButton6")->isChecked()); // round from the first to the last
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("вид_деят"));
}

void TestTForm1Shell::sidewaysMovementScrollsAsBefore()
{
    FIXTURE_STEP(start());
    FIXTURE_STEP(placeGridOn(4));
    QScrollBar* bar = grid()->horizontalScrollBar();
    QVERIFY(bar->maximum() > 0); // the note column reaches past the grid's edge
    QCOMPARE(bar->value(), 0);
    KeyCounter keys(grid());
    wheel(grid()->viewport(), QPoint(-120, 0));
    QVERIFY(bar->value() > 0);
    QCOMPARE(keys.presses, 0);
    QCOMPARE(Form1->ADOTable1.currentRow(), 4);
    // A diagonal turn does both: one row down, and sideways.
    bar->setValue(0);
    wheel(grid()->viewport(), QPoint(-120, -120), Qt::NoModifier, Qt::NoScrollPhase, {}, true);
    QCOMPARE(keys.presses, 1);
    QCOMPARE(Form1->ADOTable1.currentRow(), 5);
    QVERIFY(bar->value() > 0);
}

void TestTForm1Shell::altTurnsReportedSidewaysAreTurnedBack_data()
{
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("altSwapped");
    QTest::addColumn<int>("key");
    const int alt = Qt::AltModifier;
    // X11 reports a turn with Alt held on the other axis.
    QTest::newRow("X11: Alt, turned towards") << QPoint(-120, 0) << alt << true << int(Qt::Key_Down);
    QTest::newRow("X11: Alt, turned away") << QPoint(120, 0) << alt << true << int(Qt::Key_Up);
    QTest::newRow("X11: Alt, tilted sideways") << QPoint(0, 120) << alt << true << 0;
    QTest::newRow("X11: no Alt, sideways") << QPoint(120, 0) << int(Qt::NoModifier) << true << 0;
    QTest::newRow("elsewhere: Alt, turned towards") << QPoint(0, -120) << alt << false << int(Qt::Key_Down);
    QTest::newRow("elsewhere: Alt, sideways") << QPoint(-120, 0) << alt << false << 0;
}

void TestTForm1Shell::altTurnsReportedSidewaysAreTurnedBack()
{
    QFETCH(QPoint, angle);
    QFETCH(int, modifiers);
    QFETCH(bool, altSwapped);
    QFETCH(int, key);
    const QWheelEvent event(QPointF(), QPointF(), QPoint(), angle, Qt::NoButton, Qt::KeyboardModifiers(modifiers),
        Qt::NoScrollPhase, false);
    QCOMPARE(wheelkeys::arrowKey(event, altSwapped), key);
}

void TestTForm1Shell::activationReplacesTheHook()
{
    FIXTURE_STEP(start());
    QVERIFY(ApplicationHook::isSet());
    for (int i = 0; i < 3; ++i)
        Form1->FormActivate(Form1);
    FIXTURE_STEP(placeGridOn(0));
    KeyCounter keys(grid());
    wheel(grid()->viewport(), QPoint(0, -120));
    QCOMPARE(keys.presses, 1);
    QCOMPARE(Form1->ADOTable1.currentRow(), 1);
    // The hook goes with the window.
    m_program.closeWindows();
    QVERIFY(!ApplicationHook::isSet());
}

void TestTForm1Shell::everyStartWritesBothShortcuts()
{
    for (int run = 0; run < 2; ++run) {
        FIXTURE_STEP(start(3));
        m_program.closeWindows();
    }
    const QString home = m_home->path();
    const QString desktop = home + QStringLiteral("/Desktop"),
                  menu = home + QStringLiteral("/.local/share/applications");
    // The launcher starts the running file, here the test, named as it is.
    const QString running = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString& folder : { desktop, menu }) {
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { running + QStringLiteral(".desktop") });
        QFile entry(folder + QLatin1Char('/') + running + QStringLiteral(".desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        // The program's folder of the test is a plain temporary path.
        QVERIFY2(text.contains(QStringLiteral("\nExec=\"") + m_program.db().folder() + QLatin1Char('/') + running
                     + QStringLiteral("\"\n")),
            qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("\nComment=Description\n")));
        QVERIFY(text.contains(QStringLiteral("\nPath=") + m_program.db().folder() + QStringLiteral("/\n")));
    }
}

void TestTForm1Shell::aFailedStartWritesNoShortcut()
{
    QTemporaryDir empty;
    setProgramFolderForTesting(empty.path());
    FIXTURE_STEP(m_program.openWindows(ProgramFixture::Show::Hidden));
    QCOMPARE(MessageBox::shown().size(), 1);
    QVERIFY(QDir(m_home->path() + QStringLiteral("/Desktop")).isEmpty());
    QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/.local")));
}

QTEST_MAIN(TestTForm1Shell)
#include "tst_tform1_shell.moc"
