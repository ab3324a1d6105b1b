// The category catalogue of the main window and the hover highlighting of
// its labels, driven as a user drives them: labels found by name, clicked and
// pointed at with the mouse, pressed through the accessibility interface.
#include "../../common/Controls.h"
#include "../../common/TestDatabase.h"

#include "app/Application.h"
#include "app/WindowSet.h"
#include "ui/bus/TFrmCar.h"
#include "data/Catalogue.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/Bevel.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/ProgramFolder.h"
#include "ui/widgets/TextLabel.h"


#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <QApplication>
#include <QTest>

#include <algorithm>
#include <memory>
#include <set>

namespace {

const QRgb aqua = qRgb(0, 255, 255);
const QRgb white = qRgb(255, 255, 255);
const QRgb yellow = qRgb(255, 255, 0);
const QColor darkBlue(0x12, 0x09, 0x42);

// The catalogue as the design gives it: name, caption, place, whether the
// label is a group heading, and the category value it selects.
struct DesignLabel {
    const char* name;
    const char16_t* caption;
    int left;
    int top;
    bool heading;
    const char16_t* value;
};

const DesignLabel designLabels[] = {
    { "LbAvto", u"Авто", 758, 6, true, u"Авто" },
    { "Label112", u"Магазины", 759, 28, false, u"Автомагазин" },
    { "Label113", u"Мойка", 817, 28, false, u"Автомойка" },
    { "Label114", u"Предприятие", 855, 28, false, u"Автопредприятие" },
    { "Label118", u"Авторемонт", 930, 28, false, u"Авторемонт" },
    { "Label117", u"Стоянка", 759, 42, false, u"Автостоянка" },
    { "Label116", u"Автошкола", 807, 42, false, u"Автошкола" },
    { "Label115", u"Перевозки", 868, 42, false, u"Грузоперевозки" },
    { "Label119", u"ГСМ", 929, 43, false, u"ГСМ" },
    { "Label120", u"Такси", 955, 43, false, u"Такси" },
    { "Label1", u"Банки", 759, 61, true, u"Банки" },
    { "LbBank", u"Банк, Сберкасса", 838, 67, false, u"Банк, Сберкасса" },
    { "Label2", u"Магазины", 758, 89, true, u"Магазины" },
    { "Label6", u"Автомагазин", 758, 111, false, u"Автомагазин" },
    { "Label7", u"Аппаратура и бытовая техника", 834, 111, false, u"Аппаратура и бытовая техника" },
    { "Label10", u"Бытовая химия", 758, 124, false, u"Бытовая химия" },
    { "Label12", u"Детские товары", 844, 124, false, u"Детские товары" },
    { "Label13", u"Диски", 935, 124, false, u"Диски" },
    { "Label14", u"Замки", 757, 137, false, u"Замки" },
    { "Label15", u"Инструменты", 797, 137, false, u"Инструменты" },
    { "Label18", u"Канцтовары", 871, 137, false, u"Канцтовары" },
    { "Label24", u"Картины", 941, 137, false, u"Картины" },
    { "Label23", u"Книги", 758, 150, false, u"Книги, газеты, журналы" },
    { "Label19", u"Комиссионные", 796, 151, false, u"Комиссионные" },
    { "Label22", u"Компьютеры", 878, 151, false, u"Компьютеры и оргтехника" },
    { "Label21", u"Кондиционеры", 758, 164, false, u"Кондиционеры" },
    { "Label20", u"Мебель", 841, 164, false, u"Мебель" },
    { "Label25", u"Обувь", 887, 164, false, u"Обувь" },
    { "Label26", u"Одежда", 926, 164, false, u"Одежда" },
    { "Label89", u"Окна, двери", 758, 178, false, u"Окна, двери" },
    { "Label91", u"Оптика", 825, 178, false, u"Оптика" },
    { "Label122", u"Оптом", 869, 178, false, u"Оптом" },
    { "Label121", u"Посуда", 908, 179, false, u"Посуда" },
    { "Label98", u"Продукты", 949, 179, false, u"Продукты" },
    { "Label95", u"Рынки", 758, 192, false, u"Рынки" },
    { "Label123", u"Садоводство", 798, 192, false, u"Садоводство" },
    { "Label124", u"Светильники", 871, 192, false, u"Светильники" },
    { "Label125", u"Связь", 945, 193, false, u"Связь" },
    { "Label126", u"Спорт", 759, 205, false, u"Спорт" },
    { "Label128", u"Стекло и зеркала", 796, 206, false, u"Стекло и зеркала" },
    { "Label127", u"Столярное дело", 895, 206, false, u"Столярное дело" },
    { "Label129", u"Стройматериалы", 759, 219, false, u"Стройматериалы" },
    { "Label130", u"Сумки", 853, 219, false, u"Сумки" },
    { "Label131", u"Ткани", 891, 219, false, u"Ткани" },
    { "Label134", u"Фототовары", 926, 220, false, u"Фототовары и услуги" },
    { "Label133", u"Часы", 759, 232, false, u"Часы" },
    { "Label132", u"Ювелирные", 795, 233, false, u"Ювелирные изделия" },
    { "Label135", u"Медицина", 758, 249, true, u"Медицина" },
    { "Label136", u"Аптека", 760, 271, false, u"Аптека" },
    { "Label137", u"Ветеринар", 802, 271, false, u"Ветеринар" },
    { "Label138", u"Косметолог", 860, 271, false, u"Косметологи" },
    { "Label139", u"Медицина", 926, 271, false, u"Медицина" },
    { "Label108", u"Муниципалитет", 758, 289, true, u"Муниципалитет" },
    { "Label27", u"Аудитор", 758, 312, false, u"Аудитор" },
    { "Label28", u"Библиотека", 804, 312, false, u"Библиотека" },
    { "Label29", u"Власть", 871, 312, false, u"Власть" },
    { "Label30", u"Детский сад", 917, 311, false, u"Детский сад" },
    { "Label31", u"Детское творчество", 756, 325, false, u"Детское творчество" },
    { "Label32", u"Муниципальное хоз", 869, 325, false, u"Муниципальное хозяйство" },
    { "Label33", u"МЧС", 759, 338, false, u"МЧС" },
    { "Label34", u"Нотариус", 789, 338, false, u"Нотариус" },
    { "Label35", u"Образование", 842, 338, false, u"Образование" },
    { "Label36", u"Общежитие", 919, 337, false, u"Общежитие" },
    { "Label37", u"Охранно-пожарная безопасность", 758, 351, false, u"Охранно-пожарная безопасность" },
    { "Label38", u"Социальная сфера", 758, 365, false, u"Социальная сфера" },
    { "Label39", u"Юрист", 862, 365, false, u"Юрист" },
    { "Label3", u"Общест. орг-ии", 758, 382, true, u"Общест. орг-ии" },
    { "Label42", u"Общественные организации", 759, 403, false, u"Общественные организации" },
    { "Label43", u"Религия", 912, 403, false, u"Религия" },
    { "Label5", u"СМИ", 965, 404, false, u"СМИ" },
    { "Label44", u"Промышленность", 758, 421, true, u"Промышленность" },
    { "Label52", u"Металлопродукция", 758, 445, false, u"Металлопродукция" },
    { "Label53", u"Офис", 867, 445, false, u"Офис" },
    { "Label54", u"Оборудование", 909, 446, false, u"Торгово-промышленное оборудование" },
    { "Label55", u"Угольная промышленн", 758, 458, false, u"Угольная промышленность" },
    { "Label56", u"Энергетика", 893, 458, false, u"Энергетика" },
    { "Label45", u"Туризм, отдых", 758, 474, true, u"Туризм, отдых" },
    { "Label64", u"Авиа Ж/Д кассы", 758, 498, false, u"Авиа Ж/Д кассы" },
    { "Label65", u"Бассейн, сауна", 854, 499, false, u"Бассейн, сауна" },
    { "Label66", u"Гостиница", 938, 499, false, u"Гостиница" },
    { "Label67", u"ДК и кинотеатр", 757, 512, false, u"ДК и кинотеатр" },
    { "Label68", u"Кафе, ресторан", 842, 512, false, u"кафе, рестораны, таверны" },
    { "Label69", u"Спорт", 926, 512, false, u"Спорт" },
    { "Label70", u"Туризм", 958, 512, false, u"Туризм" },
    { "Label46", u"Услуги", 757, 529, true, u"Услуги" },
    { "Label71", u"Ателье", 757, 550, false, u"Ателье" },
    { "Label8", u"Компьютеры", 801, 550, false, u"Компьютеры" },
    { "Label72", u"Ксерокопирование", 874, 550, false, u"Ксерокопирование" },
    { "Label73", u"Недвижимость", 756, 562, false, u"Недвижимость" },
    { "Label74", u"Новые возможности", 836, 563, false, u"Новые возможности" },
    { "Label75", u"Охрана", 948, 563, false, u"Охрана" },
    { "Label76", u"Парикмахер", 757, 575, false, u"Парикмахерская" },
    { "Label163", u"Печати и штампы", 834, 576, false, u"Печати и штампы" },
    { "Label77", u"Полиграфия", 927, 576, false, u"Полиграфия" },
    { "Label164", u"Разные", 756, 587, false, u"Разные услуги" },
    { "Label165", u"Реклама", 800, 588, false, u"Реклама" },
    { "Label166", u"Ремонт", 850, 589, false, u"Ремонт" },
    { "Label167", u"Ритуальные", 892, 589, false, u"Ритуальные услуги" },
    { "Label168", u"Сайдинг", 956, 590, false, u"Сайдинг" },
    { "Label169", u"Сантехработы", 756, 600, false, u"Сантехработы и сантехника" },
    { "Label170", u"Свадьбы, торжества", 834, 600, false, u"Свадьбы, торжества, досуг" },
    { "Label171", u"Связь", 947, 601, false, u"Связь" },
    { "Label172", u"Столяр", 756, 613, false, u"Столярное дело" },
    { "Label173", u"Страховые компании", 798, 613, false, u"Страховые компании" },
    { "Label174", u"Строительство", 911, 613, false, u"Строительство" },
    { "Label175", u"Такси", 757, 626, false, u"Такси" },
    { "Label176", u"Химчистка", 795, 626, false, u"Химчистка" },
    { "Label177", u"Электромонтаж", 857, 627, false, u"Электромонтаж" },
};

struct DesignLine {
    const char* name;
    int left;
    int top;
    int width;
};

const DesignLine designLines[] = {
    { "Bevel2", 756, 57, 236 },
    { "Bevel3", 755, 85, 234 },
    { "Bevel4", 755, 247, 236 },
    { "Bevel5", 755, 287, 238 },
    { "Bevel6", 755, 380, 238 },
    { "Bevel7", 755, 418, 238 },
    { "Bevel8", 754, 472, 238 },
    { "Bevel9", 755, 527, 238 },
};

QString str(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString str(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Two firms for every category value (entered out of name order), and for
// every label whose value is not its caption a firm filed under the caption,
// which a click on that label must not show.
QVector<TestRecord> catalogueRecords()
{
    QVector<TestRecord> records;
    QSet<QString> values;
    QSet<QString> captions;
    for (const DesignLabel& label : designLabels) {
        values.insert(str(label.value));
        if (str(label.value) != str(label.caption))
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
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<WindowSet> m_windows;
};

void TestCatalogue::initTestCase()
{
    MessageBox::setAnswerWithDefault(true);
    m_records = catalogueRecords();
    // Nothing here writes to the file: one database serves every test.
    m_db = std::make_unique<TestDatabase>(m_records);
    setProgramFolderForTesting(m_db->folder());
}

void TestCatalogue::cleanupTestCase()
{
    m_windows.reset();
    m_db.reset();
    setProgramFolderForTesting(QString());
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
    if (m_windows && sharesOneStart())
        return;
    m_windows.reset();
    m_windows = std::make_unique<WindowSet>();
    QVERIFY(Form1 && FrmCar);
    Form1->show();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    // The pointer starts over the search box, where it lights nothing.
    QTest::mouseMove(Form1->windowHandle(), control<QLineEdit>(Form1, "Edit1")->geometry().center());
    new QAbstractItemModelTester(
        control<DbGrid>(Form1, "DBGrid1")->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, control<DbGrid>(Form1, "DBGrid1"));
}

void TestCatalogue::cleanup()
{
    QVERIFY(MessageBox::shown().isEmpty());
    if (!sharesOneStart() || QTest::currentTestFailed())
        m_windows.reset();
}

TextLabel* TestCatalogue::label(const QString& name) const
{
    return form()->centralWidget()->findChild<TextLabel*>(name, Qt::FindDirectChildrenOnly);
}

QStringList TestCatalogue::shownNames() const
{
    QStringList names;
    const QAbstractItemModel* model = control<DbGrid>(form(), "DBGrid1")->model();
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

void TestCatalogue::tableHasItsShape()
{
    using namespace catalogue;
    QCOMPARE(int(labels().size()), 108);
    QCOMPARE(int(groups().size()), 9);
    QCOMPARE(int(overrides().size()), 20);
    std::set<std::string_view> names;
    int headings = 0;
    for (const CatalogueLabel& l : labels()) {
        names.insert(l.name);
        headings += l.kind == Kind::Heading;
    }
    QCOMPARE(int(names.size()), 108);
    QCOMPARE(headings, 9);
    int lines = 0;
    for (const CatalogueGroup& g : groups())
        lines += g.hasSeparator;
    QCOMPARE(lines, 8);
    for (const Override& o : overrides()) {
        const CatalogueLabel* l = findLabel(o.labelName);
        QVERIFY2(l, o.labelName.data());
        QCOMPARE(str(l->caption), str(o.caption));
        QVERIFY(l->kind == Kind::Item);
        QCOMPARE(str(categoryValue(o.labelName)), str(o.value));
    }
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
    for (const DesignLabel& l : designLabels)
        QTest::newRow(l.name) << QString::fromLatin1(l.name) << str(l.caption) << QPoint(l.left, l.top) << l.heading;
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
    QCOMPARE(form()->centralWidget()->findChildren<Bevel*>().size(), int(std::size(designLines)));
    for (const DesignLine& line : designLines) {
        auto* bevel = form()->centralWidget()->findChild<Bevel*>(QString::fromLatin1(line.name));
        QVERIFY2(bevel, line.name);
        QCOMPARE(bevel->geometry(), QRect(line.left, line.top, line.width, 2));
    }
}

void TestCatalogue::clickChoosesTheCategory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    for (const DesignLabel& l : designLabels)
        QTest::newRow(l.name) << QString::fromLatin1(l.name) << str(l.value);
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
    for (const DesignLabel& d : designLabels) {
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(label(QString::fromLatin1(d.name)));
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
    for (const DesignLabel& d : designLabels)
        if (d.heading)
            QCOMPARE(label(QString::fromLatin1(d.name))->fontRgb(), white);
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
    checkHighlighted({}, QStringLiteral("at start"));
    for (const QString& step : path) {
        const bool nudged = step.endsWith(QLatin1Char('+'));
        pointAt(nudged ? step.chopped(1) : step, nudged ? 6 : 0);
        if (QTest::currentTestFailed())
            return;
    }
    checkHighlighted(lit, QString::fromLatin1(QTest::currentDataTag()));
}

void TestCatalogue::hoverCrossesWindows()
{
    // A route lit while the bus window was closed goes out with a move over a
    // catalogue item, and the other way round once the window is open.
    FrmCar->Label1MouseMove(FrmCar->findChild<TextLabel*>(QStringLiteral("Label5")), {}, 0, 0);
    checkHighlighted({ QStringLiteral("bus:Label5") }, QStringLiteral("route lit"));
    pointAt(QStringLiteral("Label136"));
    checkHighlighted({ QStringLiteral("Label136") }, QStringLiteral("item lit"));

    control<QAction>(form(), "N5")->trigger();
    QVERIFY(QTest::qWaitForWindowActive(FrmCar));
    QTRY_COMPARE(QApplication::activeModalWidget(), FrmCar);
    checkHighlighted({ QStringLiteral("Label136") }, QStringLiteral("bus window opened"));
    pointAt(QStringLiteral("bus:Label5"));
    checkHighlighted({ QStringLiteral("bus:Label5") }, QStringLiteral("route under the pointer"));
    pointAt(QStringLiteral("bus:Label20"));
    checkHighlighted({ QStringLiteral("bus:Label20") }, QStringLiteral("next route"));
    pointAt(QStringLiteral("bus:Label19")); // the heading does not react
    checkHighlighted({ QStringLiteral("bus:Label20") }, QStringLiteral("heading"));
    pointAt(QStringLiteral("bus:Image1"));
    checkHighlighted({}, QStringLiteral("background"));
    pointAt(QStringLiteral("bus:Label3"));
    FrmCar->close();
    QVERIFY(!QApplication::activeModalWidget());
    checkHighlighted({}, QStringLiteral("closed"));
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
    checkHighlighted({}, QStringLiteral("blocked"));
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
