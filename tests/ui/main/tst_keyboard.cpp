// Every action of the windows reached with the keyboard alone: Tab through
// the controls to the catalogue and the routes, the arrow keys within them,
// Enter or Space to choose; Ctrl+Tab out of the grid; the links; Return on a
// button; Escape closing a side window.
#include "../../common/Controls.h"
#include "../../common/ProgramFixture.h"
#include "../../common/UrlRecorder.h"
#include "Fixture.h"

#include "data/Catalogue.h"
#include "ui/bus/TFrmCar.h"
#include "ui/info/MakerAddresses.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/info/TsWebLabel.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/TextLabel.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void catalogueIsReachedAndChosenByKeys();
    void ctrlTabLeavesTheGrid();
    void routeIsChosenByKeys();
    void linksAreReachedAfterTheButton();
    void returnPressesTheFocusedButton();
    void escapeClosesASideWindow_data();
    void escapeClosesASideWindow();

private:
    // Opens a side window from the menu and makes sure it has the keyboard.
    static bool open(const char* action, QWidget* window);
    // Presses Tab (or key) on the focused widget until pred holds, at most
    // limit times.
    bool tabUntil(const std::function<bool(QWidget*)>& pred, int limit = 40, Qt::Key key = Qt::Key_Tab,
        Qt::KeyboardModifiers modifiers = {});
    static QString caption(int index)
    {
        const std::string_view text = catalogue::labels()[std::size_t(index)].caption;
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

    ProgramFixture m_program;
};

void TestKeyboard::initTestCase()
{
    MessageBox::setAnswerWithDefault(true);
    m_program.makeDatabase();
}

void TestKeyboard::cleanupTestCase()
{
    m_program.close();
}

void TestKeyboard::init()
{
    MessageBox::clearShown();
    FIXTURE_STEP(m_program.openWindows());
    QVERIFY(Form1 && FrmCar && FmAbout);
}

void TestKeyboard::cleanup()
{
    QVERIFY(MessageBox::shown().isEmpty());
    m_program.closeWindows();
}

bool TestKeyboard::open(const char* action, QWidget* window)
{
    control<QAction>(Form1, action)->trigger();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    QApplication::setActiveWindow(window);
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == window; });
}

bool TestKeyboard::tabUntil(
    const std::function<bool(QWidget*)>& pred, int limit, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    for (int i = 0; i < limit; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (focus && pred(focus))
            return true;
        // Tab walks the grid's cells; Ctrl+Tab leaves it.
        const bool grid = qobject_cast<DbGrid*>(focus) && key == Qt::Key_Tab;
        QTest::keyClick(
            focus ? focus : QApplication::activeWindow(), key, grid ? modifiers | Qt::ControlModifier : modifiers);
    }
    QWidget* focus = QApplication::focusWidget();
    return focus && pred(focus);
}

void TestKeyboard::catalogueIsReachedAndChosenByKeys()
{
    // The window's own controls come first, in their order; then the catalogue.
    control<QLineEdit>(Form1, "Edit1")->setFocus();
    QVERIFY(tabUntil([](QWidget* w) { return qobject_cast<TextLabel*>(w); }));
    auto* first = qobject_cast<TextLabel*>(QApplication::focusWidget());
    QCOMPARE(first->text(), caption(0)); // the first heading
    QVERIFY(first->grab().toImage() != [&] {
        first->clearFocus();
        const QImage unfocused = first->grab().toImage();
        first->setFocus();
        return unfocused;
    }()); // the focus shows

    // The arrow keys go through the labels in reading order, and back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    auto* chosen = qobject_cast<TextLabel*>(QApplication::focusWidget());
    QVERIFY(chosen);
    QCOMPARE(chosen->text(), caption(2));
    QTest::keyClick(chosen, Qt::Key_Return);
    QVERIFY(!currentCategory().isEmpty());
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QVERIFY(Form1->ADOTable1.filter().contains(currentCategory().left(4)));

    // Tab leaves the catalogue as one stop, and comes back to the label
    // last focused there; Space chooses too.
    QTest::keyClick(chosen, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != chosen);

    QVERIFY(tabUntil([](QWidget* w) { return qobject_cast<TextLabel*>(w); }));
    QCOMPARE(QApplication::focusWidget(), chosen);
    QTest::keyClick(chosen, Qt::Key_End);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(qobject_cast<TextLabel*>(QApplication::focusWidget())->text(), caption(catalogue::kLabelCount - 1));
}

void TestKeyboard::ctrlTabLeavesTheGrid()
{
    auto* grid = control<DbGrid>(Form1, "DBGrid1");
    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());
    // Tab moves between the cells and stays in the grid.
    const QModelIndex start = grid->currentIndex();
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY(grid->hasFocus());
    QVERIFY(grid->currentIndex() != start);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(!grid->hasFocus());
    QWidget* next = QApplication::focusWidget();
    QVERIFY(next);
    QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_VERIFY(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!grid->hasFocus());
    // Shift+Tab alone walks back to the first record's first cell, and
    // from there out of the grid.
    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Home);
    QTest::keyClick(grid, Qt::Key_Tab);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(grid->hasFocus());
    QCOMPARE(grid->currentIndex().column(), 0);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(!grid->hasFocus());
}

void TestKeyboard::routeIsChosenByKeys()
{
    QVERIFY(open("N5", FrmCar));
    QVERIFY(tabUntil([](QWidget* w) { return w->objectName() == QLatin1String("Label1"); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // "Маршрут №3"
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(control<TextLabel>(FrmCar, "Disp")->isVisibleTo(FrmCar));
    QVERIFY(!control<TextLabel>(FrmCar, "Time1")->text().isEmpty());
    // The interval texts are no stops of the keyboard.
    for (const char* name : { "Label19", "Label21", "Label22", "Label23" })
        QCOMPARE(control<TextLabel>(FrmCar, name)->focusPolicy(), Qt::NoFocus);
}

void TestKeyboard::linksAreReachedAfterTheButton()
{
    UrlRecorder urls;
    QVERIFY(open("N4", FmAbout));
    auto* close = control<QPushButton>(FmAbout, "Button1");
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(FmAbout, "sWebLabel1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(FmAbout, "sWebLabel2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(urls.openedTexts(), QStringList { maker::coursesPage() });
    FmAbout->close();
}

void TestKeyboard::returnPressesTheFocusedButton()
{
    QVERIFY(open("N4", FmAbout));
    auto* close = control<QPushButton>(FmAbout, "Button1");
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Return);
    QTRY_VERIFY(!FmAbout->isVisible());
    QApplication::setActiveWindow(Form1);
    // In the main window too: "Очистить" empties the search box.
    auto* edit = control<QLineEdit>(Form1, "Edit1");
    edit->setText(QStringLiteral("Ап"));
    auto* clear = control<QPushButton>(Form1, "Button2");
    clear->setFocus();
    QTest::keyClick(clear, Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_VERIFY(edit->text().isEmpty());
}

void TestKeyboard::escapeClosesASideWindow_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("bus") << "N5";
    QTest::newRow("add record") << "N1";
    QTest::newRow("about") << "N4";
}

void TestKeyboard::escapeClosesASideWindow()
{
    QFETCH(QString, action);
    QWidget* const side = action == QLatin1String("N5") ? static_cast<QWidget*>(FrmCar)
        : action == QLatin1String("N4")                 ? static_cast<QWidget*>(FmAbout)
                                                        : static_cast<QWidget*>(FmAddRecord);
    QVERIFY(open(action.toLatin1().constData(), side));
    QTest::keyClick(side, Qt::Key_Escape);
    QTRY_VERIFY(!side->isVisible());
    // The main window takes input again.
    QTRY_VERIFY(Form1->isEnabled());
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
