// The filter language: what it accepts and how it says what is wrong.
#include "data/DataError.h"
#include "data/Filter.h"

#include <QTest>

namespace {

// A filter in a short, comparable form: alternatives by " | ", comparisons
// by " & ", each "field op value".
QString describe(const Filter& filter)
{
    static const char* const ops[] = { "=", "<>", "<", ">", "<=", ">=", "like" };
    static const char* const patterns[] = { "", " prefix", " contains" };
    QStringList alternatives;
    for (const auto& alternative : filter.alternatives) {
        QStringList comparisons;
        for (const Comparison& c : alternative) {
            comparisons << QStringLiteral("%1 %2 %3%4")
                               .arg(directoryFields()[std::size_t(c.field)].name, QLatin1String(ops[int(c.op)]),
                                   c.value ? QLatin1Char('[') + *c.value + QLatin1Char(']') : QStringLiteral("NULL"),
                                   QLatin1String(c.op == Comparison::Op::Like ? patterns[int(c.pattern)] : ""));
        }
        alternatives << comparisons.join(QStringLiteral(" & "));
    }
    return alternatives.join(QStringLiteral(" | "));
}

} // namespace

class TestFilter : public QObject {
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void sortFields();
};

void TestFilter::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks") << QStringLiteral("   ") << QString();
    QTest::newRow("category") << QStringLiteral("вид_деят='Аптека'") << QStringLiteral("вид_деят = [Аптека]");
    QTest::newRow("search, two blanks") << QStringLiteral("название>='Ап' and  название<'Ар'")
                                        << QStringLiteral("название >= [Ап] & название < [Ар]");
    QTest::newRow("doubled quote") << QStringLiteral("название>='О''Нил'") << QStringLiteral("название >= [О'Нил]");
    QTest::newRow("only a quote") << QStringLiteral("тел=''''") << QStringLiteral("тел = [']");
    QTest::newRow("field case, brackets")
        << QStringLiteral("[НАЗВАНИЕ] = 'x' AND Тел<>'1'") << QStringLiteral("название = [x] & тел <> [1]");
    QTest::newRow("keywords any case") << QStringLiteral("адрес='a' oR адрес='b' Or адрес='c'")
                                       << QStringLiteral("адрес = [a] | адрес = [b] | адрес = [c]");
    QTest::newRow("and groups under or") << QStringLiteral("(тел='1' and адрес='2') or (тел='3' and адрес='4')")
                                         << QStringLiteral("тел = [1] & адрес = [2] | тел = [3] & адрес = [4]");
    QTest::newRow("nested parentheses") << QStringLiteral("((тел='1'))") << QStringLiteral("тел = [1]");
    QTest::newRow("or group alone") << QStringLiteral("(тел='1' or тел='2')")
                                    << QStringLiteral("тел = [1] | тел = [2]");
    QTest::newRow("number for the key") << QStringLiteral("Код>=10 and Код<=-1")
                                        << QStringLiteral("Код >= [10] & Код <= [-1]");
    QTest::newRow("all operators") << QStringLiteral("тел<'a' and тел>'b' and тел<='c' and тел>='d' and тел<>'e'")
                                   << QStringLiteral("тел < [a] & тел > [b] & тел <= [c] & тел >= [d] & тел <> [e]");
    QTest::newRow("like prefix *") << QStringLiteral("название LIKE 'Ап*'")
                                   << QStringLiteral("название like [Ап] prefix");
    QTest::newRow("like prefix %") << QStringLiteral("название like 'Ап%'")
                                   << QStringLiteral("название like [Ап] prefix");
    QTest::newRow("like contains") << QStringLiteral("название like '*ап*'")
                                   << QStringLiteral("название like [ап] contains");
    QTest::newRow("like whole") << QStringLiteral("название like 'Ап'") << QStringLiteral("название like [Ап]");
    QTest::newRow("like any") << QStringLiteral("название like '*'") << QStringLiteral("название like [] prefix");
    QTest::newRow("null") << QStringLiteral("пояснение = NULL or пояснение <> null")
                          << QStringLiteral("пояснение = NULL | пояснение <> NULL");
    QTest::newRow("no blanks at all") << QStringLiteral("тел='1'and(адрес='2')")
                                      << QStringLiteral("тел = [1] & адрес = [2]");
}

void TestFilter::accepted()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    QCOMPARE(describe(Filter::parse(text, directoryFields())), parsed);
}

void TestFilter::rejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("position"); // 1-based

    QTest::newRow("unknown field") << QStringLiteral("имя='x'") << QStringLiteral("нет поля «имя»") << 1;
    QTest::newRow("unterminated literal") << QStringLiteral("название>='О'Нил'") << QStringLiteral("AND или OR") << 14;
    QTest::newRow("open literal") << QStringLiteral("тел='12") << QStringLiteral("не закрыта кавычка") << 5;
    QTest::newRow("stray token") << QStringLiteral("тел='1' адрес='2'") << QStringLiteral("ожидалось AND или OR") << 9;
    QTest::newRow("stray character") << QStringLiteral("тел='1' ; ") << QStringLiteral("непонятный знак «;»") << 9;
    QTest::newRow("or group under and") << QStringLiteral("(тел='1' or тел='2') and адрес='3'")
                                        << QStringLiteral("с OR не может соединяться с AND") << 1;
    QTest::newRow("and over or group") << QStringLiteral("адрес='3' AND (тел='1' or тел='2')")
                                       << QStringLiteral("с OR не может соединяться с AND") << 15;
    QTest::newRow("wildcard in the middle")
        << QStringLiteral("название like 'А*п'") << QStringLiteral("знак подстановки") << 17;
    QTest::newRow("leading wildcard only")
        << QStringLiteral("название like '*п'") << QStringLiteral("знак подстановки") << 16;
    QTest::newRow("missing operator") << QStringLiteral("тел '1'") << QStringLiteral("знак сравнения") << 5;
    QTest::newRow("missing value") << QStringLiteral("тел=") << QStringLiteral("ожидалось значение") << 5;
    QTest::newRow("value not quoted") << QStringLiteral("тел=abc") << QStringLiteral("ожидалось значение") << 5;
    QTest::newRow("open parenthesis") << QStringLiteral("(тел='1'") << QStringLiteral("не закрыта скобка") << 1;
    QTest::newRow("extra parenthesis") << QStringLiteral("тел='1')") << QStringLiteral("лишняя закрывающая скобка")
                                       << 8;
    QTest::newRow("dangling and") << QStringLiteral("тел='1' and") << QStringLiteral("ожидалось имя поля") << 12;
    QTest::newRow("text for the key") << QStringLiteral("Код='abc'") << QStringLiteral("целым числом") << 5;
    QTest::newRow("null with <") << QStringLiteral("тел<NULL") << QStringLiteral("NULL") << 5;
    QTest::newRow("open bracket") << QStringLiteral("[тел='1'") << QStringLiteral("квадратная скобка") << 1;
    // Placeholders in the user's text are quoted as they stand.
    QTest::newRow("percent signs") << QStringLiteral("%1%2 = '%3'") << QStringLiteral("непонятный знак «%»") << 1;
    QTest::newRow("percent in a field name")
        << QStringLiteral("тел='%1' and %2='x'") << QStringLiteral("непонятный знак «%»") << 14;
    // Nesting is limited before it can exhaust the stack.
    QTest::newRow("deep nesting") << QString(
        QString(10000, QLatin1Char('(')) + QStringLiteral("тел='1'") + QString(10000, QLatin1Char(')')))
                                  << QStringLiteral("слишком много вложенных скобок") << 65;
}

void TestFilter::rejected()
{
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(int, position);
    try {
        Filter::parse(text, directoryFields());
        QFAIL("accepted");
    } catch (const DataError& e) {
        QVERIFY2(e.message().contains(what), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QStringLiteral("(символ %1)").arg(position)), qPrintable(e.message()));
        QVERIFY2(e.message().contains(text), qPrintable(e.message()));
        QVERIFY2(
            !e.message().contains(QLatin1String("%3")) || text.contains(QLatin1String("%3")), qPrintable(e.message()));
    }
}

void TestFilter::sortFields()
{
    const auto keys = parseSortFields(QStringLiteral("название, [ТЕЛ] DESC ,адрес asc"), directoryFields());
    QCOMPARE(keys.size(), std::size_t(3));
    QCOMPARE(keys[0].field, 1);
    QVERIFY(!keys[0].descending);
    QCOMPARE(keys[1].field, 3);
    QVERIFY(keys[1].descending);
    QCOMPARE(keys[2].field, 2);
    QVERIFY(parseSortFields(QString(), directoryFields()).empty());
    QVERIFY_THROWS_EXCEPTION(DataError, parseSortFields(QStringLiteral("имя"), directoryFields()));
}

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
