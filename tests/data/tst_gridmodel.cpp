// The grid's table model on its own (no widgets): the rows it shows while a
// big table is read in, the values, the record indicator and edits.
#include "../common/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/GridModel.h"
#include "data/RowWindow.h"
#include "data/Table.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>

#include <memory>

class TestGridModel : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void showsVisibleFieldsAndValues();
    void growsWhileRowsAreReadIn();
    void indicatorFollowsTheCursorAndState();
    void storesOnlyChangedValues();
    void refusedValueIsReported();
    void longValuesAreComparedByTheirHead_data();
    void longValuesAreComparedByTheirHead();
    void windowKeepsShowingItsRecords();

private:
    GridModel& start(const QVector<TestRecord>& records = TestDatabase::defaultRecords());

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<DataSource> m_source;
    std::unique_ptr<GridModel> m_model;
};

GridModel& TestGridModel::start(const QVector<TestRecord>& records)
{
    m_db = std::make_unique<TestDatabase>(records);
    m_connection = std::make_unique<Connection>();
    m_connection->setConnectionString(m_db->path());
    m_table = std::make_unique<Table>();
    m_table->setConnection(m_connection.get());
    m_table->setTableName(directoryTableName());
    m_table->setFields(directoryFields());
    m_source = std::make_unique<DataSource>();
    m_source->setDataSet(m_table.get());
    m_model = std::make_unique<GridModel>();
    new QAbstractItemModelTester(m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_model.get());
    m_model->setDataSource(m_source.get());
    m_table->open();
    return *m_model;
}

void TestGridModel::cleanup()
{
    m_model.reset();
    m_source.reset();
    m_table.reset();
    m_connection.reset();
    m_db.reset();
}

void TestGridModel::showsVisibleFieldsAndValues()
{
    GridModel& model = start();
    QCOMPARE(model.columnCount(), 5); // the key is never shown
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("название"));
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.index(4, 0).data().toString(), QStringLiteral("ёлочка"));
    QCOMPARE(model.fieldOf(4), 5);
}

void TestGridModel::growsWhileRowsAreReadIn()
{
    GridModel& model = start(TestDatabase::numbered(60000));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(model.rowCount() < 60000);
    QTRY_COMPARE(model.rowCount(), 60000);
    QVERIFY(!inserted.isEmpty());
    QCOMPARE(model.index(59999, 0).data().toString(), QStringLiteral("Фирма 59999"));
}

void TestGridModel::indicatorFollowsTheCursorAndState()
{
    GridModel& model = start();
    auto indicator = [&](int row) { return model.headerData(row, Qt::Vertical, GridModel::IndicatorRole).toInt(); };
    QCOMPARE(indicator(0), int(GridModel::BrowseIndicator));
    QCOMPARE(indicator(1), int(GridModel::NoIndicator));
    m_table->moveTo(1);
    QCOMPARE(indicator(1), int(GridModel::BrowseIndicator));
    m_table->edit();
    QCOMPARE(indicator(1), int(GridModel::EditIndicator));
}

void TestGridModel::storesOnlyChangedValues()
{
    GridModel& model = start();
    // The same text back: the record is left alone.
    QVERIFY(!model.setData(model.index(2, 1), QStringLiteral("ул. Мира, 1")));
    QCOMPARE(m_table->state(), Table::State::Browse);
    QVERIFY(model.setData(model.index(2, 1), QStringLiteral("ул. Мира, 3")));
    QCOMPARE(m_table->currentRow(), 2);
    QCOMPARE(m_table->state(), Table::State::Edit);
    m_table->post();
    QCOMPARE(m_db->value(3, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Мира, 3"));
}

void TestGridModel::refusedValueIsReported()
{
    GridModel& model = start();
    std::exception_ptr reported;
    model.onError = [&](std::exception_ptr e) { reported = e; };
    QVERIFY(!model.setData(model.index(0, 2), QString(51, QLatin1Char('9'))));
    QVERIFY(reported);
    QVERIFY(model.lastWriteRefused());
    QVERIFY(model.setData(model.index(0, 2), QStringLiteral("3-00-00")));
    QVERIFY(!model.lastWriteRefused());
}

// A value is compared with what the editor gives back without being read
// whole, and one longer than an editor holds never gets one.
void TestGridModel::longValuesAreComparedByTheirHead_data()
{
    enum Outcome { Untouched, Changed, Refused };
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("tooLong");
    const QString editorFull(GridModel::EditLimit, QChar(0x044F));
    QString lastDiffers = editorFull;
    lastDiffers.back() = QLatin1Char('x');
    // A long value already in the file is taken back as it is; a change
    // that leaves it longer than its field is refused.
    QTest::newRow("the same long text") << QVariant(editorFull) << editorFull << int(Untouched) << false;
    QTest::newRow("its last character changed") << QVariant(editorFull) << lastDiffers << int(Refused) << false;
    QTest::newRow("one character more") << QVariant(editorFull) << editorFull + QLatin1Char('x') << int(Refused)
                                        << false;
    QTest::newRow("beyond the editor") << QVariant(editorFull + QLatin1Char('x')) << editorFull << int(Refused) << true;
    QTest::newRow("a short change") << QVariant(QStringLiteral("Заметка")) << QStringLiteral("Заметки") << int(Changed)
                                    << false;
    QTest::newRow("an empty text for no value") << QVariant() << QString() << int(Untouched) << false;
    QTest::newRow("an empty text for an empty one")
        << QVariant(QString(QLatin1String(""))) << QString() << int(Untouched) << false;
}

void TestGridModel::longValuesAreComparedByTheirHead()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, typed);
    QFETCH(int, outcome);
    QFETCH(bool, tooLong);
    GridModel& model = start({ { QStringLiteral("Фирма"), {}, {}, {}, stored } });
    model.onError = [](std::exception_ptr) {};
    const QModelIndex note = model.index(0, model.columnCount() - 1);
    QCOMPARE(model.tooLongToEdit(note), tooLong);
    QCOMPARE(model.setData(note, typed), outcome == 1);
    QCOMPARE(model.lastWriteRefused(), outcome == 2);
    if (outcome != 2)
        QCOMPARE(m_table->state(), outcome == 1 ? Table::State::Edit : Table::State::Browse);
}

QTEST_GUILESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"

// The view's window onto the rows: the rows from top on, as many as the view
// has room for. A row shown keeps standing for its record (so an open editor
// stays on it) while rows come and go above, inside or below the window.
void TestGridModel::windowKeepsShowingItsRecords()
{
    QStringList names;
    for (int i = 0; i < 100; ++i)
        names << QStringLiteral("r%1").arg(i);
    QStringListModel table(names);
    RowWindow window(&table);
    new QAbstractItemModelTester(&window, QAbstractItemModelTester::FailureReportingMode::QtTest, &window);
    const auto shown = [&](int row) { return window.index(row, 0).data().toString(); };
    window.setCapacity(5, 4);
    QCOMPARE(window.rowCount(), 5);
    window.setTop(200);
    QCOMPARE(window.top(), 96); // a whole page stays in view
    QCOMPARE(window.rowCount(), 4);
    QCOMPARE(shown(3), QStringLiteral("r99"));
    QCOMPARE(window.headerData(3, Qt::Vertical), table.headerData(99, Qt::Vertical));

    window.setTop(50);
    QCOMPARE(window.rowCount(), 5);
    const QPersistentModelIndex r52 = window.index(2, 0);
    QVERIFY(table.removeRows(10, 5)); // above the window
    QCOMPARE(window.top(), 45);
    QCOMPARE(shown(0), QStringLiteral("r50"));
    QVERIFY(table.removeRows(45, 1)); // the first row shown
    QCOMPARE(r52.row(), 1);
    QCOMPARE(shown(4), QStringLiteral("r55")); // filled from below
    QVERIFY(table.insertRows(46, 2)); // inside
    QCOMPARE(r52.row(), 3);
    QCOMPARE(r52.data().toString(), QStringLiteral("r52"));
    QCOMPARE(window.rowCount(), 5);

    // At the end of the table, rows going bring top back: rows come in at
    // the window's start and the rows shown keep their records.
    window.setTop(1000);
    const QPersistentModelIndex last = window.index(window.rowCount() - 1, 0);
    QCOMPARE(last.data().toString(), QStringLiteral("r99"));
    QVERIFY(table.removeRows(window.tableRow(1), 2));
    QCOMPARE(window.rowCount(), 4);
    QCOMPARE(last.row(), 3);
    QCOMPARE(last.data().toString(), QStringLiteral("r99"));
    QCOMPARE(window.top(), table.rowCount() - 4);

    // A new room: as many rows as fit, top kept where the table allows.
    window.setCapacity(10, 9);
    QCOMPARE(window.rowCount(), 9);
    QCOMPARE(last.data().toString(), QStringLiteral("r99"));
    table.setStringList(names.mid(0, 3));
    QCOMPARE(window.top(), 0);
    QCOMPARE(window.rowCount(), 3);
    QCOMPARE(window.windowRow(2), 2);
    QCOMPARE(window.windowRow(3), -1);
}
