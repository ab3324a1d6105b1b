// The category catalogue of the main window and the hover highlighting of
// its labels, driven as a user drives them: labels found by name, clicked and
// pointed at with the mouse, pressed through the accessibility interface.
#include "../../common/Controls.h"
#include "../../common/ProgramFixture.h"
#include "../../common/TestDatabase.h"
#include "Fixture.h"

#include "app/Application.h"
#include "data/Catalogue.h"
#include "data/GridModel.h"
#include "ui/bus/TFrmCar.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/Bevel.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/TextLabel.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAccessibleActionInterface>
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
#include <QSet>
#include <QTest>

#include <algorithm>
#include <memory>
#include <set>

namespace {

const QRgb aqua = qRgb(0, 255, 255);
const QRgb white = qRgb(255, 255, 255);
const QRgb yellow = qRgb(255, 255, 0);
const QColor darkBlue(0x12, 0x09, 0x42);

QString str(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString str(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The catalogue's labels as rows of a test table, each tagged with its name.
template <typename Row> void addLabelRows(Row row)
{
    for (const catalogue::CatalogueLabel& l : catalogue::labels())
        row(QTest::newRow(str(l.name).toLatin1().constData()) << str(l.name), l);
}

// Two firms for every category value (entered out of name order), and for
// every label whose value is not its caption a firm filed under the caption,
// which a click on that label must not show.
QVector<TestRecord> catalogueRecords()
{
    QVector<TestRecord> records;
    QSet<QString> values;
    QSet<QString> captions;
    for (const catalogue::CatalogueLabel& label : catalogue::labels()) {
        const QString value = str(catalogue::categoryValue(label.name));
        values.insert(value);
        if (value != str(label.caption))
            captions.insert(str(label.caption));
    }
    QStringList sortedValues = values.values();
    sortedValues.sort();
    int n = 0;
    for (const QString& value : sortedValues) {
        for (const char16_t* prefix : { u"Я-", u"Б-", u"А-" }) {
            if (prefix == std::u16string_view(u"Я-") && n % 3)
                continue;
            records.append({ str(prefix) + value, QStringLiteral("ул. Ленина, %1").arg(++n),
                QStringLiteral("3-00-%1").arg(n), value, QVariant() });
        }
    }
    for (const QString& caption : captions)
        if (!values.contains(caption))
            records.append({ QStringLiteral("В-") + caption, QStringLiteral("ул. Мира, 1"), QStringLiteral("3-11-11"),
                caption, QVariant() });
    return records;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void tableHasItsShape();
    void labelsStandAtTheirPlaces_data();
    void labelsStandAtTheirPlaces();
    void separatorsStandAtTheirPlaces();
    void labelsKeepClearOfEachOther();
    void clickChoosesTheCategory_data();
    void clickChoosesTheCategory();
    void clickKeepsSearchTextAndSortButton();
    void clickReplacesTheSearch();
    void clickingTwiceIsClickingOnce();
    void screenReaderChoosesACategory();

    void hover_data();
    void hover();
    void hoverCrossesWindows();
    void disabledMainWindowDoesNotHighlight();

private:
    TForm1* form() const { return Form1; }
    TextLabel* label(const QString& name) const;
    QStringList shownNames() const;
    QStringList expectedNames(const QString& value) const;
    // Moves the pointer over a control: "Label136" (main window), "Image2"
    // (a bare spot of the panel), "bus:Label5", "bus:Image1", or any other
    // control of the main window by name.
    void pointAt(const QString& target, int nudge = 0);
    void checkHighlighted(const QStringList& white, const QString& row);

    QVector<TestRecord> m_records;
    ProgramFixture m_program;
};

void TestCatalogue::initTestCase()
{
    MessageBox::setAnswerWithDefault(true);
    m_records = catalogueRecords();
    // Nothing here writes to the file: one database serves every test.
    m_program.makeDatabase(m_records);
}

void TestCatalogue::cleanupTestCase()
{
    m_program.close();
}

// The rows of the tests that read the layout or click one label each share
// one start (every click sets the whole state anew); every other test starts
// the program afresh.
static bool sharesOneStart()
{
    const char* const shared[] = { "labelsStandAtTheirPlaces", "clickChoosesTheCategory" };
    return std::any_of(std::begin(shared), std::end(shared),
        [](const char* f) { return qstrcmp(f, QTest::currentTestFunction()) == 0; });
}

void TestCatalogue::init()
{
    MessageBox::clearShown();
    if (m_program.windowsOpen() && sharesOneStart())
        return;
    FIXTURE_STEP(m_program.openWindows());
    QVERIFY(Form1 && FrmCar);
    // The pointer starts over the search box, where it lights nothing.
    QTest::mouseMove(Form1->windowHandle(), control<QLineEdit>(Form1, "Edit1")->geometry().center());
    new QAbstractItemModelTester(control<DbGrid>(Form1, "DBGrid1")->model(),
        QAbstractItemModelTester::FailureReportingMode::QtTest, control<DbGrid>(Form1, "DBGrid1"));
}

void TestCatalogue::cleanup()
{
    QVERIFY(MessageBox::shown().isEmpty());
    if (!sharesOneStart() || QTest::currentTestFailed())
        m_program.closeWindows();
}

TextLabel* TestCatalogue::label(const QString& name) const
{
    return form()->centralWidget()->findChild<TextLabel*>(name, Qt::FindDirectChildrenOnly);
}

QStringList TestCatalogue::shownNames() const
{
    QStringList names;
    const QAbstractItemModel* model = control<DbGrid>(form(), "DBGrid1")->gridModel();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

QStringList TestCatalogue::expectedNames(const QString& value) const
{
    QStringList names;
    for (const TestRecord& r : m_records)
        if (r.kind.toString() == value)
            names << r.name.toString();
    // The names start with a capital Cyrillic letter other than Ё, so code
    // order is alphabetical order.
    names.sort();
    return names;
}

// What the choice of a category relies on in the catalogue's table (its
// shape is checked where the table is compiled): the lookup of a label's
// value, the captions and values labels share, and values that can stand in
// a filter's quotes.
void TestCatalogue::tableHasItsShape()
{
    using namespace catalogue;
    for (const Override& o : overrides())
        QCOMPARE(str(categoryValue(o.labelName)), str(o.value));
    QVERIFY(categoryValue("NoSuchLabel").empty());
    // The shared captions and values.
    const std::pair<const char*, const char*> same[] = {
        { "Label120", "Label175" },
        { "Label125", "Label171" },
        { "Label126", "Label69" },
        { "Label135", "Label139" },
        { "Label127", "Label172" },
        { "Label6", "Label112" },
    };
    for (const auto& [a, b] : same)
        QCOMPARE(str(categoryValue(a)), str(categoryValue(b)));
    QVERIFY(categoryValue("Label22") != categoryValue("Label8"));
    QCOMPARE(str(findLabel("Label22")->caption), str(findLabel("Label8")->caption));
    QCOMPARE(str(categoryValue("Label2")), QStringLiteral("Магазины"));
    QCOMPARE(str(categoryValue("Label112")), QStringLiteral("Автомагазин"));
    for (const std::string_view value : distinctCategoryValues()) {
        QVERIFY(!value.empty());
        QVERIFY(value.find('\'') == std::string_view::npos);
    }
}

void TestCatalogue::labelsStandAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QPoint>("place");
    QTest::addColumn<bool>("heading");
    addLabelRows([](QTestData& row, const catalogue::CatalogueLabel& l) {
        row << str(l.caption) << QPoint(l.left, l.top) << (l.kind == catalogue::Kind::Heading);
    });
}

void TestCatalogue::labelsStandAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QPoint, place);
    QFETCH(bool, heading);
    TextLabel* l = label(name);
    QVERIFY(l);
    QVERIFY(l->isVisible());
    QCOMPARE(l->text(), caption);
    QCOMPARE(l->pos(), place);
    QCOMPARE(l->height(), heading ? 24 : 13);
    QCOMPARE(l->width(), qCeil(QFontMetricsF(l->font()).horizontalAdvance(caption)));
    QCOMPARE(l->fontPixels(), heading ? 19 : 11);
    QCOMPARE(l->bold(), heading);
    QCOMPARE(l->fontRgb(), heading ? white : aqua);
    QCOMPARE(l->backgroundColor(), darkBlue);
    QVERIFY(!l->transparent());
    QVERIFY(l->clickable());
    QCOMPARE(l->hasMouseTracking(), !heading); // only the items light up
    // Over the panel picture, under the bottom banner and the border strips.
    const QObjectList& order = form()->centralWidget()->children();
    QVERIFY(order.indexOf(l) > order.indexOf(control<PictureBox>(form(), "Image2")));
    QVERIFY(order.indexOf(l) < order.indexOf(control<PictureBox>(form(), "Image3")));
    QVERIFY(order.indexOf(l) < order.indexOf(control<PictureBox>(form(), "Image5")));
}

// Every item's caption can be read whole: no item runs into another, and
// none past the panel's right border strip. (Headings stand a little over
// the first row of their items by design.)
void TestCatalogue::labelsKeepClearOfEachOther()
{
    std::vector<TextLabel*> shown;
    for (const catalogue::CatalogueLabel& entry : catalogue::labels())
        if (entry.kind == catalogue::Kind::Item)
            shown.push_back(label(QString::fromUtf8(entry.name.data(), qsizetype(entry.name.size()))));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        QVERIFY2(shown[i]->geometry().right() < 999, qPrintable(shown[i]->objectName()));
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            // Rows stand 12 to 14 pixels apart, so boxes of neighbouring rows
            // may share their edge row; captions never touch that row.
            const QRect a = shown[i]->geometry().adjusted(0, 1, 0, -1);
            const QRect b = shown[j]->geometry().adjusted(0, 1, 0, -1);
            QVERIFY2(!a.intersects(b),
                qPrintable(shown[i]->objectName() + QLatin1Char('/') + shown[j]->objectName() + QLatin1Char(' ')
                    + QString::number(shown[i]->geometry().right()) + QLatin1Char(' ')
                    + QString::number(shown[j]->geometry().left())));
        }
    }
}

void TestCatalogue::separatorsStandAtTheirPlaces()
{
    int lines = 0;
    for (const catalogue::CatalogueGroup& group : catalogue::groups()) {
        if (!group.hasSeparator)
            continue;
        const catalogue::Separator& line = group.separator;
        auto* bevel = form()->centralWidget()->findChild<Bevel*>(str(line.name));
        QVERIFY2(bevel, line.name.data());
        QCOMPARE(bevel->geometry(), QRect(line.left, line.top, line.width, 2));
        ++lines;
    }
    QCOMPARE(form()->centralWidget()->findChildren<Bevel*>().size(), lines);
}

void TestCatalogue::clickChoosesTheCategory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    addLabelRows(
        [](QTestData& row, const catalogue::CatalogueLabel& l) { row << str(catalogue::categoryValue(l.name)); });
}

void TestCatalogue::clickChoosesTheCategory()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    TextLabel* l = label(name);
    QVERIFY(l);
    QTest::mouseClick(l, Qt::LeftButton, {}, QPoint(3, 5));
    QCOMPARE(form()->ADOTable1.filter(), QStringLiteral("вид_деят='") + value + QLatin1Char('\''));
    QCOMPARE(form()->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QCOMPARE(currentCategory(), value);
    QCOMPARE(control<QLabel>(form(), "Label11")->text(), value);
    QVERIFY(!control<QLabel>(form(), "Label11")->isVisible());
    QCOMPARE(shownNames(), expectedNames(value));
    QVERIFY(shownNames().size() >= 2);
}

void TestCatalogue::clickKeepsSearchTextAndSortButton()
{
    control<QRadioButton>(form(), "RadioButton4")->click(); // "адрес"
    QCOMPARE(form()->ADOTable1.indexFieldNames(), QStringLiteral("адрес"));
    control<QLineEdit>(form(), "Edit1")->setText(QStringLiteral("Б-"));
    QTest::mouseClick(label(QStringLiteral("Label136")), Qt::LeftButton); // "Аптека"
    QCOMPARE(shownNames(), expectedNames(QStringLiteral("Аптека")));
    QCOMPARE(form()->ADOTable1.indexFieldNames(), QStringLiteral("название"));
    QVERIFY(control<QRadioButton>(form(), "RadioButton4")->isChecked());
    QVERIFY(!control<QRadioButton>(form(), "RadioButton3")->isChecked());
    QCOMPARE(control<QLineEdit>(form(), "Edit1")->text(), QStringLiteral("Б-"));
}

void TestCatalogue::clickReplacesTheSearch()
{
    control<QLineEdit>(form(), "Edit1")->setText(QStringLiteral("А-А"));
    QVERIFY(currentCategory().isEmpty());
    const QStringList searched = shownNames();
    QVERIFY(!searched.isEmpty());
    QTest::mouseClick(label(QStringLiteral("Label23")), Qt::LeftButton); // "Книги"
    QCOMPARE(currentCategory(), QStringLiteral("Книги, газеты, журналы"));
    QCOMPARE(shownNames(), expectedNames(QStringLiteral("Книги, газеты, журналы")));
    // A search afterwards clears the category again.
    control<QLineEdit>(form(), "Edit1")->setText(QStringLiteral("А-"));
    QVERIFY(currentCategory().isEmpty());
    const QStringList names = shownNames();
    QVERIFY(names.size() > searched.size());
    QVERIFY(
        std::all_of(names.begin(), names.end(), [](const QString& n) { return n.startsWith(QStringLiteral("А-")); }));
}

void TestCatalogue::clickingTwiceIsClickingOnce()
{
    TextLabel* l = label(QStringLiteral("Label68")); // "Кафе, ресторан"
    QTest::mouseClick(l, Qt::LeftButton);
    const QString filter = form()->ADOTable1.filter();
    const QStringList names = shownNames();
    QTest::mouseDClick(l, Qt::LeftButton);
    QTest::mouseClick(l, Qt::LeftButton);
    QCOMPARE(form()->ADOTable1.filter(), filter);
    QCOMPARE(filter, QStringLiteral("вид_деят='кафе, рестораны, таверны'"));
    QCOMPARE(shownNames(), names);
    QCOMPARE(currentCategory(), QStringLiteral("кафе, рестораны, таверны"));
}

void TestCatalogue::screenReaderChoosesACategory()
{
    int pressable = 0;
    for (const catalogue::CatalogueLabel& d : catalogue::labels()) {
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(label(str(d.name)));
        QVERIFY(item);
        QCOMPARE(item->text(QAccessible::Name), str(d.caption));
        QCOMPARE(item->role(), QAccessible::Button);
        pressable += item->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction());
    }
    QCOMPARE(pressable, 108);
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(label(QStringLiteral("Label45")));
    item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(form()->ADOTable1.filter(), QStringLiteral("вид_деят='Туризм, отдых'"));
    QCOMPARE(shownNames(), expectedNames(QStringLiteral("Туризм, отдых")));
}

void TestCatalogue::pointAt(const QString& target, int nudge)
{
    QWidget* widget = nullptr;
    QPoint at;
    if (target == QLatin1String("Image2")) {
        // A spot of the panel that no label or line covers.
        widget = control<PictureBox>(form(), "Image2");
        at = widget->mapFrom(form()->centralWidget(), QPoint(990, 300));
    } else if (target == QLatin1String("bus:Image1")) {
        widget = control<PictureBox>(FrmCar, "Image1");
        at = QPoint(600, 450);
    } else if (target.startsWith(QLatin1String("bus:"))) {
        widget = FrmCar->findChild<QWidget*>(target.mid(4), Qt::FindDirectChildrenOnly);
    } else {
        widget = form()->centralWidget()->findChild<QWidget*>(target);
    }
    QVERIFY2(widget, qPrintable(target));
    if (at.isNull())
        at = QPoint(qMin(3 + nudge, widget->width() - 1), widget->height() / 2);
    QWidget* window = widget->window();
    const QPoint inWindow = widget->mapTo(window, at);
    QWidget* under = window->childAt(inWindow);
    QVERIFY2(under == widget || widget->isAncestorOf(under), qPrintable(target));
    // Through the window the widget lies in, as the window system delivers
    // a move; the windows overlap on the screen.
    QTest::mouseMove(window->windowHandle(), inWindow);
}

void TestCatalogue::checkHighlighted(const QStringList& lit, const QString& row)
{
    for (TextLabel* item : form()->catalogueItems())
        QVERIFY2(item->fontRgb() == (lit.contains(item->objectName()) ? white : aqua),
            qPrintable(row + QStringLiteral(": ") + item->objectName()));
    for (TextLabel* route : FrmCar->hoverLabels())
        QVERIFY2(route->fontRgb() == (lit.contains(QStringLiteral("bus:") + route->objectName()) ? white : aqua),
            qPrintable(row + QStringLiteral(": bus ") + route->objectName()));
    for (const catalogue::CatalogueLabel& d : catalogue::labels())
        if (d.kind == catalogue::Kind::Heading)
            QCOMPARE(label(str(d.name))->fontRgb(), white);
}

void TestCatalogue::hover_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<QStringList>("lit");
    const auto L = [](std::initializer_list<const char*> names) {
        QStringList list;
        for (const char* n : names)
            list << QString::fromLatin1(n);
        return list;
    };
    QTest::newRow("onto an item") << L({ "Label136" }) << L({ "Label136" });
    QTest::newRow("item to item") << L({ "Label136", "Label137" }) << L({ "Label137" });
    QTest::newRow("across a group") << L({ "Label112", "Label177" }) << L({ "Label177" });
    QTest::newRow("within an item") << L({ "Label136", "Label136+" }) << L({ "Label136" });
    QTest::newRow("item to heading") << L({ "Label136", "Label135" }) << L({ "Label136" });
    QTest::newRow("item to line") << L({ "Label136", "Bevel5" }) << L({ "Label136" });
    QTest::newRow("item to grid") << L({ "Label136", "DBGrid1" }) << L({ "Label136" });
    QTest::newRow("item to bottom banner") << L({ "Label136", "Image3" }) << L({ "Label136" });
    QTest::newRow("item to panel") << L({ "Label136", "Image2" }) << L({});
    QTest::newRow("headings alone") << L({ "LbAvto", "Label2", "Label46" }) << L({});
    QTest::newRow("panel, then item") << L({ "Image2", "Label177" }) << L({ "Label177" });
}

void TestCatalogue::hover()
{
    QFETCH(QStringList, path);
    QFETCH(QStringList, lit);
    FIXTURE_STEP(checkHighlighted({}, QStringLiteral("at start")));
    for (const QString& step : path) {
        const bool nudged = step.endsWith(QLatin1Char('+'));
        FIXTURE_STEP(pointAt(nudged ? step.chopped(1) : step, nudged ? 6 : 0));
        if (QTest::currentTestFailed())
            return;
    }
    FIXTURE_STEP(checkHighlighted(lit, QString::fromLatin1(QTest::currentDataTag())));
}

void TestCatalogue::hoverCrossesWindows()
{
    // A route lit while the bus window was closed goes out with a move over a
    // catalogue item, and the other way round once the window is open.
    FrmCar->Label1MouseMove(FrmCar->findChild<TextLabel*>(QStringLiteral("Label5")), {}, 0, 0);
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("bus:Label5") }, QStringLiteral("route lit")));
    FIXTURE_STEP(pointAt(QStringLiteral("Label136")));
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("Label136") }, QStringLiteral("item lit")));

    control<QAction>(form(), "N5")->trigger();
    QVERIFY(QTest::qWaitForWindowActive(FrmCar));
    QTRY_COMPARE(QApplication::activeModalWidget(), FrmCar);
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("Label136") }, QStringLiteral("bus window opened")));
    FIXTURE_STEP(pointAt(QStringLiteral("bus:Label5")));
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("bus:Label5") }, QStringLiteral("route under the pointer")));
    FIXTURE_STEP(pointAt(QStringLiteral("bus:Label20")));
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("bus:Label20") }, QStringLiteral("next route")));
    pointAt(QStringLiteral("bus:Label19")); // the heading does not react
    FIXTURE_STEP(checkHighlighted({ QStringLiteral("bus:Label20") }, QStringLiteral("heading")));
    FIXTURE_STEP(pointAt(QStringLiteral("bus:Image1")));
    FIXTURE_STEP(checkHighlighted({}, QStringLiteral("background")));
    FIXTURE_STEP(pointAt(QStringLiteral("bus:Label3")));
    FrmCar->close();
    QVERIFY(!QApplication::activeModalWidget());
    FIXTURE_STEP(checkHighlighted({}, QStringLiteral("closed")));
}

void TestCatalogue::disabledMainWindowDoesNotHighlight()
{
    control<QAction>(form(), "N5")->trigger();
    QVERIFY(QTest::qWaitForWindowActive(FrmCar));
    QTRY_COMPARE(QApplication::activeModalWidget(), FrmCar);
    QTest::mouseMove(form()->windowHandle(), label(QStringLiteral("Label136"))->geometry().center());
    // Through the window system, where the bus window's modality acts.
    QTest::mouseClick(form()->windowHandle(), Qt::LeftButton, {},
        label(QStringLiteral("Label136"))->mapTo(form(), label(QStringLiteral("Label136"))->rect().center()));
    FIXTURE_STEP(checkHighlighted({}, QStringLiteral("blocked")));
    QVERIFY(currentCategory().isEmpty());
    QVERIFY(form()->ADOTable1.filter().isEmpty());
    // Nor can a screen reader press a label of the blocked window.
    QAccessible::queryAccessibleInterface(label(QStringLiteral("Label136")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(form()->ADOTable1.filter().isEmpty());
    FrmCar->close();
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestCatalogue test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_catalogue.moc"
