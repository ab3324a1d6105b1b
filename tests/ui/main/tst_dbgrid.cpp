// The data grid on its own over a directory table: what reaches the file
// from its cell editor, and how it behaves after the file refused a change.
#include "../../common/TestDatabase.h"
#include "Fixture.h"

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/GridModel.h"
#include "data/RowWindow.h"
#include "data/Store.h"
#include "data/Table.h"
#include "ui/main/DbGrid.h"
#include "ui/widgets/MessageBox.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <memory>

class TestDbGrid : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MessageBox::setAnswerWithDefault(true); }
    void init();
    void cleanup();

    void refusalIsAnsweredOnce_data();
    void refusalIsAnsweredOnce();
    void untouchedEditorWritesNothing();
    void storedOverLongValueIsShownWhole();
    void clearedCellIsEmptyTextInTheFile();
    void recordWithUnusableKeyOpensNoEditor();
    void longValuesAreCutForDisplayOnly();
    void scrollingMovesTheRowsNotTheRecord();

private:
    void start(const QVector<TestRecord>& records = TestDatabase::defaultRecords());
    void clickCell(int row, int column);
    void type(const QString& text);
    QLineEdit* editor() const;
    bool selectionFollowsCurrent() const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<DataSource> m_source;
    std::unique_ptr<DbGrid> m_grid;
};

void TestDbGrid::init()
{
    MessageBox::clearShown();
    MessageBox::clearNextAnswers();
}

void TestDbGrid::cleanup()
{
    m_grid.reset();
    m_source.reset();
    m_table.reset();
    m_connection.reset();
    m_db.reset();
}

void TestDbGrid::start(const QVector<TestRecord>& records)
{
    if (!m_db)
        m_db = std::make_unique<TestDatabase>(records);
    m_connection = std::make_unique<Connection>();
    m_connection->setConnectionString(m_db->path());
    m_table = std::make_unique<Table>();
    m_table->setConnection(m_connection.get());
    m_table->setTableName(directoryTableName());
    m_table->setFields(directoryFields());
    m_table->open();
    m_source = std::make_unique<DataSource>();
    m_source->setDataSet(m_table.get());
    m_grid = std::make_unique<DbGrid>();
    m_grid->setDataSource(m_source.get());
    new QAbstractItemModelTester(m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_grid.get());
    m_grid->resize(700, 300);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowActive(m_grid.get()));
}

void TestDbGrid::clickCell(int row, int column)
{
    QVERIFY(m_grid->showRow(row));
    const QModelIndex index = m_grid->cellOf(row, column);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(index).center());
}

// Each key goes to whatever has the focus: the first opens a cell editor.
void TestDbGrid::type(const QString& text)
{
    for (const QChar c : text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_grid.get();
        QTest::sendKeyEvent(QTest::KeyAction::Click, target, Qt::Key_unknown, c, Qt::NoModifier);
    }
}

QLineEdit* TestDbGrid::editor() const
{
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return line && line->objectName() == QLatin1String("InplaceEditor") ? line : nullptr;
}

// The highlighted cell (the grid's current one: it selects nothing else)
// is on the current record.
bool TestDbGrid::selectionFollowsCurrent() const
{
    return m_grid->selectionModel()->selectedIndexes().isEmpty()
        && m_grid->tableRow(m_grid->currentIndex()) == m_table->currentRow();
}

void TestDbGrid::refusalIsAnsweredOnce_data()
{
    QTest::addColumn<QList<int>>("moves"); // keys pressed after the refusal
    QTest::newRow("page down") << QList<int> { Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageDown };
    QTest::newRow("down and up") << QList<int> { Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down };
    QTest::newRow("home and end") << QList<int> { Qt::Key_End, Qt::Key_Home, Qt::Key_PageDown };
}

void TestDbGrid::refusalIsAnsweredOnce()
{
    QFETCH(QList<int>, moves);
    FIXTURE_STEP(start(TestDatabase::numbered(60)));
    m_db->exec(QStringLiteral("UPDATE \"главная\" SET \"адрес\"='чужой' WHERE \"Код\"=1"));
    clickCell(0, 1);
    type(QStringLiteral("мой"));
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().first().text, Store::rowNotFoundMessage(m_db->path()));

    for (int key : moves)
        QTest::keyClick(m_grid.get(), Qt::Key(key),
            key == Qt::Key_End || key == Qt::Key_Home ? Qt::ControlModifier : Qt::NoModifier);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(m_grid->cellOf(5, 2)).center());
    QTRY_VERIFY(selectionFollowsCurrent());
    QCOMPARE(MessageBox::shown().size(), 1); // no more boxes
    QCOMPARE(m_table->currentRow(), 0);
    QCOMPARE(m_table->state(), Table::State::Edit);
    QVERIFY(selectionFollowsCurrent());
    QCOMPARE(m_db->value(1, QStringLiteral("адрес")).toString(), QStringLiteral("чужой"));

    // Escape gives the edit up, and the grid moves again.
    QTest::keyClick(m_grid.get(), Qt::Key_Escape);
    QTest::keyClick(m_grid.get(), Qt::Key_Down);
    QCOMPARE(m_table->currentRow(), 1);
    QVERIFY(selectionFollowsCurrent());
    QCOMPARE(MessageBox::shown().size(), 1);
}

void TestDbGrid::untouchedEditorWritesNothing()
{
    FIXTURE_STEP(start());
    clickCell(3, 0);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QVERIFY(editor());
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(m_table->currentRow(), 4);
    QCOMPARE(m_table->state(), Table::State::Browse);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestDbGrid::storedOverLongValueIsShownWhole()
{
    m_db = std::make_unique<TestDatabase>();
    const QString longName = QString(155, QChar(0x0411));
    m_db->exec(QStringLiteral("UPDATE \"главная\" SET \"название\"=? WHERE \"Код\"=1"), { longName });
    FIXTURE_STEP(start());
    clickCell(0, 0);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QVERIFY(editor());
    QCOMPARE(editor()->text(), longName);
    // Opened and left untouched: the file keeps every character.
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(m_table->currentRow(), 1);
    QCOMPARE(m_db->value(1, QStringLiteral("название")).toString(), longName);
    QVERIFY(MessageBox::shown().isEmpty());

    // Shortened by one but still too long: refused with one message, not cut.
    clickCell(0, 0);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QVERIFY(editor());
    QTest::keyClick(editor(), Qt::Key_End);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QCOMPARE(editor()->text().size(), 154);
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(MessageBox::shown().size(), 1);
    QVERIFY2(
        MessageBox::shown().first().text.contains(QStringLiteral("100")), qPrintable(MessageBox::shown().first().text));
    QCOMPARE(m_db->value(1, QStringLiteral("название")).toString(), longName);
    QCOMPARE(m_table->currentRow(), 0);
    // The editor stays open with what was typed, to be put right or given up;
    // paging on asks nothing more.
    QVERIFY(editor());
    QCOMPARE(editor()->text().size(), 154);
    QTest::keyClick(editor(), Qt::Key_PageDown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(m_table->currentRow(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClick(m_grid.get(), Qt::Key_Down);
    QCOMPARE(m_table->currentRow(), 1);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(m_db->value(1, QStringLiteral("название")).toString(), longName);
}

void TestDbGrid::clearedCellIsEmptyTextInTheFile()
{
    FIXTURE_STEP(start());
    clickCell(0, 2);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QTest::keyClick(editor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(m_db->exec(QStringLiteral("SELECT typeof(\"тел\") FROM \"главная\" WHERE \"Код\"=1")).toString(),
        QStringLiteral("text"));
    clickCell(0, 2);
    type(QStringLiteral("3-00-00"));
    QTest::keyClick(editor(), Qt::Key_Down);
    QCOMPARE(m_db->value(1, QStringLiteral("тел")).toString(), QStringLiteral("3-00-00"));
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestDbGrid::recordWithUnusableKeyOpensNoEditor()
{
    m_db = std::make_unique<TestDatabase>();
    // Two records share a key: neither can be told apart in the file.
    m_db->exec(QStringLiteral("CREATE TABLE copy AS SELECT * FROM \"главная\""));
    m_db->exec(QStringLiteral("DROP TABLE \"главная\""));
    m_db->exec(QStringLiteral("ALTER TABLE copy RENAME TO \"главная\""));
    m_db->exec(QStringLiteral("UPDATE \"главная\" SET \"Код\"=1 WHERE \"Код\"=2"));
    FIXTURE_STEP(start());
    clickCell(1, 0);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QVERIFY(!editor());
    QCOMPARE(MessageBox::shown().size(), 1);
    QVERIFY(MessageBox::shown().first().text.contains(QStringLiteral("не уникален")));
    type(QStringLiteral("x"));
    QVERIFY(!editor());
    QCOMPARE(MessageBox::shown().size(), 2); // each attempt is answered
    QCOMPARE(m_table->state(), Table::State::Browse);
    // Other records stay editable.
    clickCell(2, 0);
    type(QStringLiteral("Ок"));
    QVERIFY(editor());
}

void TestDbGrid::longValuesAreCutForDisplayOnly()
{
    m_db = std::make_unique<TestDatabase>();
    const QString huge(100000, QLatin1Char('z'));
    m_db->exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"=? WHERE \"Код\"=1"), { huge });
    FIXTURE_STEP(start());
    const QModelIndex cell = m_grid->cellOf(0, 4);
    QCOMPARE(cell.data(Qt::DisplayRole).toString().size(), qsizetype(GridModel::DisplayLimit));
    QCOMPARE(cell.data(Qt::EditRole).toString(), huge);
}

// The grid's scroll bar moves the rows shown, never the record: what was
// typed stays in the record, and the next key brings the record back.
void TestDbGrid::scrollingMovesTheRowsNotTheRecord()
{
    m_db = std::make_unique<TestDatabase>(TestDatabase::numbered(500));
    const QString longName = QString(155, QChar(0x0411));
    m_db->exec(QStringLiteral("UPDATE \"главная\" SET \"название\"=? WHERE \"Код\"=1"), { longName });
    FIXTURE_STEP(start());
    QScrollBar* bar = m_grid->rowsScrollBar();
    QVERIFY(bar->isVisible());
    QVERIFY(m_grid->model()->rowCount() <= m_grid->rowWindow()->page() + 1); // the view holds what it shows

    // A text the record refuses keeps the rows where they are.
    clickCell(0, 0);
    QTest::keyClick(m_grid.get(), Qt::Key_F2);
    QTest::keyClick(editor(), Qt::Key_End);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    bar->setValue(bar->maximum());
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(bar->value(), 0);
    QVERIFY(editor());
    QTest::keyClick(editor(), Qt::Key_Escape);

    clickCell(2, 1);
    type(QStringLiteral("Новый адрес"));
    bar->setValue(bar->maximum());
    QVERIFY(!editor());
    QCOMPARE(m_grid->tableRow(m_grid->model()->index(m_grid->model()->rowCount() - 1, 0)), 499);
    QCOMPARE(m_table->currentRow(), 2);
    QCOMPARE(m_table->state(), Table::State::Edit);
    QVERIFY(!m_grid->currentIndex().isValid());
    QTest::keyClick(m_grid.get(), Qt::Key_Down);
    QCOMPARE(m_table->currentRow(), 3);
    QVERIFY(selectionFollowsCurrent());
    QCOMPARE(bar->value(), 2); // scrolled back as little as needed
    QCOMPARE(m_db->value(3, QStringLiteral("адрес")).toString(), QStringLiteral("Новый адрес"));

    QTest::keyClick(m_grid.get(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(m_table->currentRow(), 499);
    QVERIFY(m_grid->viewport()->rect().contains(m_grid->visualRect(m_grid->currentIndex())));
    QCOMPARE(bar->value(), bar->maximum());
    QTest::keyClick(m_grid.get(), Qt::Key_PageUp);
    QCOMPARE(m_table->currentRow(), 499 - m_grid->rowWindow()->page());
    QVERIFY(selectionFollowsCurrent());
    QCOMPARE(MessageBox::shown().size(), 1);

    // The row cut off at the bottom is edited where it is clicked: the rows
    // do not move under the pointer between the two clicks.
    QTest::keyClick(m_grid.get(), Qt::Key_Home, Qt::ControlModifier);
    const int cut = m_grid->rowWindow()->page();
    const QRect shown = m_grid->visualRect(m_grid->cellOf(cut, 0)).intersected(m_grid->viewport()->rect());
    QVERIFY(!shown.isEmpty());
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, shown.center());
    QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, {}, shown.center());
    QCOMPARE(m_table->currentRow(), cut);
    QVERIFY(editor());
    QCOMPARE(editor()->text(), QStringLiteral("Фирма %1").arg(cut, 4, 10, QLatin1Char('0')));
    QTest::keyClick(editor(), Qt::Key_Escape);
}

QTEST_MAIN(TestDbGrid)
#include "tst_dbgrid.moc"
