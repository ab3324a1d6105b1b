// The main window driven as a user drives it: start-up, the grid and its
// keys, the menu and the side windows.
#include "../../common/Controls.h"
#include "../../common/ProgramFixture.h"
#include "../../common/TestDatabase.h"
#include "Fixture.h"

#include "data/DataSource.h"
#include "data/GridModel.h"
#include "data/NameSearch.h"
#include "ui/bus/TFrmCar.h"
#include "ui/form2/TForm2.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/ClassicGroupBox.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/ProgramFolder.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <memory>

namespace {

// Types text as a user would: each key goes to whatever has the focus, so the
// first key opens a cell editor and the rest land in it.
void typeText(QWidget* start, const QString& text)
{
    for (const QChar c : text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : start;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

} // namespace

class TestTForm1 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MessageBox::setAnswerWithDefault(true); }
    void init();
    void cleanup();

    void startsWithEveryRecord();
    void layoutOfTheWindow();
    void missingDatabaseGivesOneMessage();
    void insertsAreVetoedSilently_data();
    void insertsAreVetoedSilently();
    void downMovesOneRowWithoutFlicker();
    void editedCellIsPostedWhenLeavingTheRecord();
    void escapeCancelsTheEdit();
    void ctrlDeleteAsksThenDeletes();
    void pendingEditIsPostedOnClose();
    void recordIndicatorFollowsTheCursor();
    void secondaryWindowsDisableTheMainWindow();
    void maximisingKeepsTheControlsInPlace();
    void sortGroupFrameEnclosesItsButtons();
    void currentCellShowsSelectedOnlyWithFocus();

    void typingNarrowsToNamesBeginningWithText_data();
    void typingNarrowsToNamesBeginningWithText();
    void searchSortsByNameKeepingTheSelectedButton();
    void clearShowsEverythingByName();
    void clearWithEmptyBoxKeepsTheCategory();
    void sortButtonsOrderTheGrid();
    void arrowKeysMoveAmongSortButtons();
    void malformedFilterKeepsTheRows();

private:
    void startWithNames();
    QStringList shownNames() const;
    DbGrid* grid() const { return control<DbGrid>(Form1, "DBGrid1"); }
    void clickCell(int row, int column);
    // The cell editor being typed into.
    static QLineEdit* openEditor()
    {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor && editor->objectName() == QLatin1String("InplaceEditor") ? editor : nullptr;
    }

    ProgramFixture m_program;
};

void TestTForm1::init()
{
    MessageBox::clearShown();
    MessageBox::clearNextAnswers();
    errors::setApplicationTitle(QString());
}

void TestTForm1::cleanup()
{
    m_program.close();
}

void TestTForm1::clickCell(int row, int column)
{
    QVERIFY(grid()->showRow(row));
    const QModelIndex index = grid()->cellOf(row, column);
    const QRect cell = grid()->visualRect(index).intersected(grid()->viewport()->rect());
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestTForm1::startsWithEveryRecord()
{
    FIXTURE_STEP(m_program.start());
    new QAbstractItemModelTester(grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, grid());
    QCOMPARE(grid()->gridModel()->rowCount(), 5);
    QCOMPARE(grid()->gridModel()->columnCount(), 5); // the key is never shown
    const QStringList titles = { QStringLiteral("название"), QStringLiteral("адрес"), QStringLiteral("тел"),
        QStringLiteral("вид_деят"), QStringLiteral("пояснение") };
    for (int c = 0; c < titles.size(); ++c)
        QCOMPARE(grid()->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    QCOMPARE(grid()->gridModel()->index(1, 0).data().toString(), QStringLiteral("Магазин «Уют»"));
    QCOMPARE(errors::applicationTitle(), QStringLiteral("\"Сарвино\"- Справочник"));
    QCOMPARE(errors::applicationTitle().size(), 21);
    QVERIFY(MessageBox::shown().isEmpty());
    // The sort button "Название" is selected and has the focus; the box is empty.
    QVERIFY(control<QRadioButton>(Form1, "RadioButton3")->isChecked());
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton3"));
    QVERIFY(control<QLineEdit>(Form1, "Edit1")->text().isEmpty());
    QVERIFY(!Form2->isVisible());
}

void TestTForm1::layoutOfTheWindow()
{
    FIXTURE_STEP(m_program.start());
    QCOMPARE(Form1->windowTitle(), QStringLiteral("Сарвино- городской справочник"));
    QCOMPARE(Form1->centralWidget()->size(), QSize(1006, 651));
    QCOMPARE(Form1->minimumSize(), Form1->size()); // never smaller
    QCOMPARE(Form1->centralWidget()->palette().color(QPalette::Window), QColor(0xDE, 0xFE, 0xFB));
    QCOMPARE(grid()->geometry(), QRect(0, 88, 753, 417));
    QCOMPARE(control<QLineEdit>(Form1, "Edit1")->geometry(), QRect(40, 528, 121, 21));
    QCOMPARE(control<ClassicGroupBox>(Form1, "GroupBox1")->geometry(), QRect(264, 520, 305, 41));
    QCOMPARE(control<QRadioButton>(Form1, "RadioButton5")->text(), QStringLiteral("Телефон "));
    for (QWidget* hidden : { static_cast<QWidget*>(control<QPushButton>(Form1, "Button3")),
             static_cast<QWidget*>(control<QLabel>(Form1, "Label4")),
             static_cast<QWidget*>(control<QLabel>(Form1, "Label9")),
             static_cast<QWidget*>(control<QLabel>(Form1, "Label11")) })
        QVERIFY(!hidden->isVisible());

    // The menu, exactly: the first letter of the first caption is a Latin C.
    const QList<QAction*> bar = Form1->menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar[0]->text(), QStringLiteral("Cправочники"));
    QCOMPARE(bar[0]->text().at(0), QLatin1Char('C'));
    QCOMPARE(bar[1]->text(), QStringLiteral("Добавить запись"));
    QVERIFY(!bar[1]->menu());
    QCOMPARE(bar[2]->text(), QStringLiteral("О программе.."));
    QCOMPARE(bar[0]->menu()->actions().at(1)->text(), QStringLiteral("Электропоезда"));
    QCOMPARE(bar[2]->menu()->actions().at(1)->text(), QStringLiteral("О программе..."));

    // "Электропоезда" and "Справка" do nothing.
    control<QAction>(Form1, "N6")->trigger();
    control<QAction>(Form1, "N3")->trigger();
    QVERIFY(!QApplication::activeModalWidget());
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }), 1);
}

void TestTForm1::missingDatabaseGivesOneMessage()
{
    QTemporaryDir empty;
    setProgramFolderForTesting(empty.path());
    FIXTURE_STEP(m_program.openWindows(ProgramFixture::Show::Hidden));
    QCOMPARE(MessageBox::shown().size(), 1);
    const MessageBox::Shown box = MessageBox::shown().first();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("tst_tform1")); // the default title: the program's file name
    QVERIFY2(box.text.contains(empty.filePath(QStringLiteral("Sarvino.mdb"))), qPrintable(box.text));
    QVERIFY(box.text.endsWith(QLatin1Char('.')));
    QVERIFY(!QFile::exists(empty.filePath(QStringLiteral("Sarvino.mdb"))));

    Form1->show();
    QCOMPARE(Form1->windowTitle(), QStringLiteral("Сарвино- городской справочник"));
    QCOMPARE(grid()->gridModel()->rowCount(), 0);
    QVERIFY(!Form1->ADOTable1.active());
    // With the table closed the down arrow reports the closed table.
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(MessageBox::shown().size(), 2);
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("Cannot perform this operation on a closed dataset."));
    QTest::keyClick(grid(), Qt::Key_Down); // the handler leaves nothing disabled behind
    QCOMPARE(MessageBox::shown().size(), 3);
    QVERIFY(!Form1->ADOTable1.controlsDisabled());
}

void TestTForm1::insertsAreVetoedSilently_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("key");
    QTest::newRow("Insert") << 2 << 0 << int(Qt::Key_Insert);
    QTest::newRow("Down on the last record") << 4 << 1 << int(Qt::Key_Down);
    QTest::newRow("Tab from the last cell") << 4 << 4 << int(Qt::Key_Tab);
}

void TestTForm1::insertsAreVetoedSilently()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, key);
    FIXTURE_STEP(m_program.start());
    clickCell(row, column);
    QCOMPARE(Form1->ADOTable1.currentRow(), row);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(grid(), Qt::Key(key));
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Browse);
    QCOMPARE(Form1->ADOTable1.currentRow(), row);
    QCOMPARE(grid()->gridModel()->rowCount(), 5);
    QCOMPARE(m_program.db().count(), 5);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestTForm1::downMovesOneRowWithoutFlicker()
{
    FIXTURE_STEP(m_program.start(TestDatabase::numbered(40)));
    clickCell(0, 0);
    QSignalSpy resets(grid()->gridModel(), &QAbstractItemModel::modelReset);
    QSignalSpy viewResets(grid()->model(), &QAbstractItemModel::modelReset);
    for (int i = 1; i <= 39; ++i) {
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(Form1->ADOTable1.currentRow(), i);
        QCOMPARE(grid()->tableRow(grid()->currentIndex()), i);
        // Shown whole: the rows scroll along.
        QVERIFY(grid()->viewport()->rect().contains(grid()->visualRect(grid()->currentIndex())));
    }
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(Form1->ADOTable1.currentRow(), 39);
    QCOMPARE(grid()->gridModel()->rowCount(), 40);
    QCOMPARE(resets.count(), 0); // the probe of the next record never rebuilds the grid
    QCOMPARE(viewResets.count(), 0);
    QTest::keyClick(grid(), Qt::Key_Up);
    QCOMPARE(Form1->ADOTable1.currentRow(), 38);
}

void TestTForm1::editedCellIsPostedWhenLeavingTheRecord()
{
    FIXTURE_STEP(m_program.start());
    clickCell(0, 1);
    typeText(grid(), QStringLiteral("ул. Новая, 1"));
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Edit);
    QLineEdit* editor = openEditor();
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 50);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor hands its text over once the key is done
    QCOMPARE(m_program.db().value(1, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Ленина, 5")); // not yet
    QCOMPARE(grid()->gridModel()->index(0, 1).data().toString(), QStringLiteral("ул. Новая, 1"));
    QSignalSpy resets(grid()->gridModel(), &QAbstractItemModel::modelReset);
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Browse);
    QCOMPARE(m_program.db().value(1, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Новая, 1"));
    QCOMPARE(Form1->ADOTable1.currentRow(), 1);
    QCOMPARE(grid()->currentIndex(), grid()->cellOf(1, 1)); // still in the same column
    QCOMPARE(resets.count(), 0);

    // A change someone else made meanwhile is reported and not overwritten.
    m_program.db().exec(QStringLiteral("UPDATE \"главная\" SET \"тел\"='чужой' WHERE \"Код\"=2"));
    clickCell(1, 2);
    typeText(grid(), QStringLiteral("мой"));
    QTest::keyClick(openEditor(), Qt::Key_Down);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().first().text, Store::rowNotFoundMessage(m_program.db().path()));
    QCOMPARE(m_program.db().value(2, QStringLiteral("тел")).toString(), QStringLiteral("чужой"));
    QCOMPARE(Form1->ADOTable1.currentRow(), 1); // still on the record that could not be saved
    QCOMPARE(grid()->currentIndex().row(), 1);
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Edit);
}

void TestTForm1::escapeCancelsTheEdit()
{
    FIXTURE_STEP(m_program.start());
    clickCell(2, 0);
    typeText(grid(), QStringLiteral("XYZ"));
    QTest::keyClick(openEditor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Edit);
    QTest::keyClick(grid(), Qt::Key_Escape);
    QCOMPARE(Form1->ADOTable1.state(), Table::State::Browse);
    QCOMPARE(grid()->gridModel()->index(2, 0).data().toString(), QStringLiteral("ООО 'Ромашка'"));
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(m_program.db().value(3, QStringLiteral("название")).toString(), QStringLiteral("ООО 'Ромашка'"));
}

void TestTForm1::ctrlDeleteAsksThenDeletes()
{
    FIXTURE_STEP(m_program.start());
    clickCell(1, 0);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().first().text, QStringLiteral("Delete record?"));
    QCOMPARE(MessageBox::shown().first().icon, QMessageBox::Question);
    QCOMPARE(m_program.db().count(), 5);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_program.db().count(), 4);
    QVERIFY(!m_program.db().value(2, QStringLiteral("название")).isValid());
    QCOMPARE(grid()->gridModel()->rowCount(), 4);
    QCOMPARE(grid()->currentIndex().row(), 1);
    QCOMPARE(grid()->gridModel()->index(1, 0).data().toString(), QStringLiteral("ООО 'Ромашка'"));
}

void TestTForm1::pendingEditIsPostedOnClose()
{
    FIXTURE_STEP(m_program.start());
    clickCell(3, 4);
    typeText(grid(), QStringLiteral("Сохранить при выходе"));
    QVERIFY(Form1->close());
    QCOMPARE(m_program.db().value(4, QStringLiteral("пояснение")).toString(), QStringLiteral("Сохранить при выходе"));
}

void TestTForm1::recordIndicatorFollowsTheCursor()
{
    FIXTURE_STEP(m_program.start());
    auto* model = grid()->model();
    auto indicator = [&](int row) { return model->headerData(row, Qt::Vertical, GridModel::IndicatorRole).toInt(); };
    QCOMPARE(indicator(0), int(GridModel::BrowseIndicator));
    clickCell(2, 1);
    QCOMPARE(indicator(0), int(GridModel::NoIndicator));
    QCOMPARE(indicator(2), int(GridModel::BrowseIndicator));
    typeText(grid(), QStringLiteral("a"));
    QCOMPARE(indicator(2), int(GridModel::EditIndicator));

    // The mark is really painted in the indicator column.
    const QImage picture = grid()->verticalHeader()->grab().toImage();
    const int y = grid()->verticalHeader()->sectionViewportPosition(2) + grid()->verticalHeader()->sectionSize(2) / 2;
    int dark = 0;
    for (int x = 0; x < picture.width(); ++x)
        dark += qGray(picture.pixel(x, y)) < 64;
    QVERIFY(dark > 0);
}

void TestTForm1::secondaryWindowsDisableTheMainWindow()
{
    FIXTURE_STEP(m_program.start());
    struct Case {
        QAction* action;
        QWidget* window;
        QString title;
        QSize size;
    };
    const Case cases[] = {
        { control<QAction>(Form1, "N5"), FrmCar, QStringLiteral("Городские автобусы"), QSize(680, 490) },
        { control<QAction>(Form1, "N1"), FmAddRecord, QStringLiteral("Добавить запись ..."), QSize(414, 243) },
        { control<QAction>(Form1, "N4"), FmAbout, QStringLiteral("О программе..."), QSize(413, 290) },
    };
    for (const Case& c : cases) {
        c.action->trigger();
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        QCOMPARE(c.window->windowTitle(), c.title);
        QCOMPARE(c.window->size(), c.size);
        QTRY_COMPARE(QApplication::activeModalWidget(), c.window);
        QCOMPARE(c.window->windowHandle()->transientParent(), Form1->windowHandle());
        // Only transient kinds of window carry WM_TRANSIENT_FOR on X11.
        QCOMPARE(c.window->windowType(), Qt::Dialog);
        if (c.window == FrmCar) {
            FrmCar->close();
        } else {
            auto* close = c.window->findChild<QPushButton*>(QStringLiteral("Button1"));
            QCOMPARE(close->text(), QStringLiteral("Закрыть"));
            QTest::mouseClick(close, Qt::LeftButton);
        }
        QVERIFY(!c.window->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }
    // Without title-bar buttons, the about window still gives the main window back
    // if something else closes it.
    control<QAction>(Form1, "N4")->trigger();
    QVERIFY(QTest::qWaitForWindowActive(FmAbout));
    QVERIFY(!(FmAbout->windowFlags() & Qt::WindowCloseButtonHint));
    FmAbout->close();
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!Form2->isVisible());
}

void TestTForm1::startWithNames()
{
    QVector<TestRecord> records;
    int i = 0;
    for (const char* name : { "Арбуз", "Аптека №1", "ап-студия", "Апельсин", "Я-центр", "ящик", "Юла", "О'Нил", "Овощи",
             "О\"Уют\"", "1000 мелочей", "zoo", "Zebra", "9 кругов", "Ёлка", "Ель", "Ж/д кассы" }) {
        ++i;
        records.append(
            { QString::fromUtf8(name), QStringLiteral("ул. Ленина, %1").arg(100 - i), QStringLiteral("3-%1").arg(i % 7),
                i % 2 ? QStringLiteral("Продукты") : QStringLiteral("Аптека"), QVariant() });
    }
    FIXTURE_STEP(m_program.start(records));
}

QStringList TestTForm1::shownNames() const
{
    QStringList names;
    for (int row = 0; row < grid()->gridModel()->rowCount(); ++row)
        names << grid()->gridModel()->index(row, 0).data().toString();
    return names;
}

void TestTForm1::maximisingKeepsTheControlsInPlace()
{
    FIXTURE_STEP(m_program.start());
    const QSize normal = Form1->size();
    const QRect gridPlace = grid()->geometry();
    const QRect groupPlace = control<ClassicGroupBox>(Form1, "GroupBox1")->geometry();
    const QPoint clientPlace = Form1->centralWidget()->pos();
    // (The test screen is smaller than the window; the end-to-end tests see
    // the window grow on a real one.)
    Form1->showMaximized();
    QTRY_VERIFY(Form1->isMaximized());
    QCOMPARE(grid()->geometry(), gridPlace);
    QCOMPARE(control<ClassicGroupBox>(Form1, "GroupBox1")->geometry(), groupPlace);
    QCOMPARE(Form1->centralWidget()->pos(), clientPlace);
    // The window's own colour fills what the maximised window adds.
    QCOMPARE(Form1->centralWidget()->size(), Form1->size() - QSize(0, clientPlace.y()));
    Form1->showNormal();
    QTRY_COMPARE(Form1->size(), normal);
    // A size forced from outside while not maximised springs back.
    Form1->resize(normal + QSize(120, 80));
    QTRY_COMPARE(Form1->size(), normal);
    QCOMPARE(Form1->centralWidget()->size(), QSize(1006, 651));
}

void TestTForm1::sortGroupFrameEnclosesItsButtons()
{
    FIXTURE_STEP(m_program.start());
    auto* box = qobject_cast<ClassicGroupBox*>(control<ClassicGroupBox>(Form1, "GroupBox1"));
    QVERIFY(box);
    const QRect frame = box->frameRect();
    const QRect caption = box->captionRect();
    // The caption sits on the frame's top edge, the buttons inside the frame.
    QVERIFY(caption.top() < frame.top() && frame.top() < caption.bottom());
    for (QRadioButton* button : box->findChildren<QRadioButton*>()) {
        QVERIFY2(frame.adjusted(1, 1, -1, -1).contains(button->geometry()), qPrintable(button->text()));
        QVERIFY(!button->geometry().intersects(caption));
    }
    // The frame line shows left of the caption and is broken under it.
    const QImage image = box->grab().toImage();
    const QColor window = box->palette().color(QPalette::Window);
    QVERIFY(image.pixelColor(2, frame.top()) != window);
    QCOMPARE(image.pixelColor(caption.left() + 1, frame.top()), window);
}

void TestTForm1::currentCellShowsSelectedOnlyWithFocus()
{
    FIXTURE_STEP(m_program.start());
    const auto cellColour = [this](int row, int column) {
        const QRect cell = grid()->visualRect(grid()->cellOf(row, column));
        return grid()->viewport()->grab(cell.adjusted(2, 2, -2, -2)).toImage().pixelColor(1, 1);
    };
    const QColor base = grid()->palette().color(QPalette::Base);
    // The style shades the selection slightly.
    const auto highlighted = [this](const QColor& c) {
        const QColor h = grid()->palette().color(QPalette::Highlight);
        return qAbs(c.red() - h.red()) < 12 && qAbs(c.green() - h.green()) < 12 && qAbs(c.blue() - h.blue()) < 12;
    };
    QVERIFY(!grid()->hasFocus());
    QCOMPARE(cellColour(0, 0), base);
    clickCell(1, 1);
    QVERIFY(grid()->hasFocus());
    QVERIFY(highlighted(cellColour(1, 1)));
    QCOMPARE(cellColour(0, 0), base);
    control<QLineEdit>(Form1, "Edit1")->setFocus();
    QTRY_VERIFY(!grid()->hasFocus());
    QCOMPARE(cellColour(1, 1), base);
    QCOMPARE(grid()->currentIndex().row(), 1); // the record stays current
}

void TestTForm1::typingNarrowsToNamesBeginningWithText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("bound");
    const QString beyond(QChar(0xFFFF));
    QTest::newRow("Ап") << QStringLiteral(
        "Ап") << QStringList { QStringLiteral("ап-студия"), QStringLiteral("Апельсин"), QStringLiteral("Аптека №1") }
                        << QStringLiteral("Ар");
    QTest::newRow("any case") << QStringLiteral(
        "аП") << QStringList { QStringLiteral("ап-студия"), QStringLiteral("Апельсин"), QStringLiteral("Аптека №1") }
                              << QStringLiteral("аР");
    QTest::newRow("Я: the next code is а")
        << QStringLiteral("Я") << QStringList { QStringLiteral("Я-центр"), QStringLiteral("ящик") }
        << QStringLiteral("Я") + beyond;
    QTest::newRow("я: no next code") << QStringLiteral("я")
                                     << QStringList { QStringLiteral("Я-центр"), QStringLiteral("ящик") }
                                     << QStringLiteral("я") + beyond;
    QTest::newRow("quote") << QStringLiteral("О'") << QStringList { QStringLiteral("О'Нил") }
                           << QStringLiteral("О'") + beyond;
    QTest::newRow("z") << QStringLiteral("z") << QStringList { QStringLiteral("Zebra"), QStringLiteral("zoo") }
                       << QStringLiteral("z") + beyond;
    QTest::newRow("9") << QStringLiteral("9") << QStringList { QStringLiteral("9 кругов") }
                       << QStringLiteral("9") + beyond;
    QTest::newRow("Ё is Е") << QStringLiteral("ел") << QStringList { QStringLiteral("Ёлка"), QStringLiteral("Ель") }
                            << QStringLiteral("ел") + beyond; // "љ" lies between л and м
    QTest::newRow("nothing") << QStringLiteral("Щ") << QStringList {} << QStringLiteral("Ъ");
}

void TestTForm1::typingNarrowsToNamesBeginningWithText()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QFETCH(QString, bound);
    startWithNames();
    QLineEdit* box = control<QLineEdit>(Form1, "Edit1");
    box->setFocus();
    typeText(box, typed);
    QCOMPARE(box->text(), typed);
    QCOMPARE(shownNames(), names);
    QCOMPARE(control<QLabel>(Form1, "Label9")->text(), bound);
    QCOMPARE(Form1->ADOTable1.filter(), namesearch::prefixFilter(typed, bound));
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QCOMPARE(Form1->ADOTable1.currentRow(), names.isEmpty() ? -1 : 0);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestTForm1::searchSortsByNameKeepingTheSelectedButton()
{
    startWithNames();
    QTest::mouseClick(control<QRadioButton>(Form1, "RadioButton4"), Qt::LeftButton);
    QVERIFY(control<QRadioButton>(Form1, "RadioButton4")->isChecked());
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("адрес"));
    QCOMPARE(shownNames().first(), QStringLiteral("Ж/д кассы")); // the lowest house number
    control<QLineEdit>(Form1, "Edit1")->setText(QStringLiteral("О"));
    QCOMPARE(
        shownNames(), (QStringList { QStringLiteral("О'Нил"), QStringLiteral("О\"Уют\""), QStringLiteral("Овощи") }));
    QVERIFY(control<QRadioButton>(Form1, "RadioButton4")->isChecked());
    // Clicking the selected button again changes nothing.
    QTest::mouseClick(control<QRadioButton>(Form1, "RadioButton4"), Qt::LeftButton);
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    // "Поиск" does what a change of the box does.
    Form1->ADOTable1.setIndexFieldNames(QStringLiteral("тел"));
    QTest::mouseClick(control<QPushButton>(Form1, "Button1"), Qt::LeftButton);
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QCOMPARE(shownNames().size(), 3);
}

void TestTForm1::clearShowsEverythingByName()
{
    startWithNames();
    currentCategory() = QStringLiteral("Аптека");
    control<QLineEdit>(Form1, "Edit1")->setText(QStringLiteral("Ап"));
    QCOMPARE(shownNames().size(), 3);
    QVERIFY(currentCategory().isEmpty());
    currentCategory() = QStringLiteral("Аптека");
    QTest::mouseClick(control<QPushButton>(Form1, "Button2"), Qt::LeftButton);
    QVERIFY(control<QLineEdit>(Form1, "Edit1")->text().isEmpty());
    QVERIFY(currentCategory().isEmpty());
    QCOMPARE(control<QLabel>(Form1, "Label4")->text(), QStringLiteral("яя"));
    const QStringList names = shownNames();
    QCOMPARE(names.size(), 17);
    QCOMPARE(names.first(), QStringLiteral("1000 мелочей"));
    QCOMPARE(names.last(), QStringLiteral("ящик"));
    QCOMPARE(Form1->ADOTable1.filter(), QString());
    // "Поиск" on the empty box: the same.
    Form1->ADOTable1.setIndexFieldNames(QStringLiteral("тел"));
    QTest::mouseClick(control<QPushButton>(Form1, "Button1"), Qt::LeftButton);
    QCOMPARE(shownNames(), names);
}

void TestTForm1::clearWithEmptyBoxKeepsTheCategory()
{
    startWithNames();
    Form1->ADOTable1.setIndexFieldNames(QStringLiteral("название"));
    Form1->ADOTable1.setFilter(namesearch::categoryFilter(QStringLiteral("Аптека")));
    const QStringList category = shownNames();
    QCOMPARE(category.size(), 8);
    QTest::mouseClick(control<QPushButton>(Form1, "Button2"), Qt::LeftButton);
    QCOMPARE(shownNames(), category);
    QCOMPARE(Form1->ADOTable1.filter(), namesearch::categoryFilter(QStringLiteral("Аптека")));
}

void TestTForm1::sortButtonsOrderTheGrid()
{
    startWithNames();
    const QStringList stored = shownNames();
    QCOMPARE(stored.first(), QStringLiteral("Арбуз")); // at start: the stored order
    QTest::mouseClick(control<QRadioButton>(Form1, "RadioButton6"), Qt::LeftButton);
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("вид_деят"));
    QCOMPARE(grid()->gridModel()->index(0, 3).data().toString(), QStringLiteral("Аптека"));
    QCOMPARE(grid()->gridModel()->index(16, 3).data().toString(), QStringLiteral("Продукты"));
    QTest::mouseClick(control<QRadioButton>(Form1, "RadioButton5"), Qt::LeftButton);
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("тел"));
    QCOMPARE(grid()->gridModel()->index(0, 2).data().toString(), QStringLiteral("3-0"));
    QTest::mouseClick(control<QRadioButton>(Form1, "RadioButton3"), Qt::LeftButton);
    QCOMPARE(shownNames().first(), QStringLiteral("1000 мелочей"));
    QCOMPARE(Form1->ADOTable1.currentRow(), 0);
}

void TestTForm1::arrowKeysMoveAmongSortButtons()
{
    startWithNames();
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton4"));
    QVERIFY(control<QRadioButton>(Form1, "RadioButton4")->isChecked());
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("адрес"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton6"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // after the last, the first
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton3"));
    QVERIFY(control<QRadioButton>(Form1, "RadioButton3")->isChecked());
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up); // and back round
    QCOMPARE(QApplication::focusWidget(), control<QRadioButton>(Form1, "RadioButton6"));
    QCOMPARE(Form1->ADOTable1.indexFieldNames(), QStringLiteral("вид_деят"));
}

void TestTForm1::malformedFilterKeepsTheRows()
{
    startWithNames();
    control<QLineEdit>(Form1, "Edit1")->setText(QStringLiteral("Ап"));
    clickCell(1, 0);
    const QStringList before = shownNames();
    guarded([] { Form1->ADOTable1.setFilter(QStringLiteral("название like 'а*б'")); });
    QCOMPARE(MessageBox::shown().size(), 1);
    QVERIFY(MessageBox::shown().first().text.contains(QStringLiteral("знак подстановки")));
    QCOMPARE(shownNames(), before);
    QCOMPARE(Form1->ADOTable1.currentRow(), 1);
    QCOMPARE(Form1->ADOTable1.filter(), namesearch::prefixFilter(QStringLiteral("Ап"), QStringLiteral("Ар")));
}

QTEST_MAIN(TestTForm1)
#include "tst_tform1.moc"
