// The text comparison of the directory, and the bounds of a name search.
#include "data/Collation.h"
#include "data/NameSearch.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/ucol.h>

class TestCollation : public QObject {
    Q_OBJECT

private slots:
    void order_data();
    void order();
    void keysAgreeWithIcu();
    void keyHeadIsTheKeysBeginning();
    void upperBound_data();
    void upperBound();
    void filterTexts();
};

static int sign(int v)
{
    return (v > 0) - (v < 0);
}

void TestCollation::order_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("case does not count") << QStringLiteral("аптека") << QStringLiteral("АПТЕКА") << 0;
    QTest::newRow("Ё is Е") << QStringLiteral("Ёлка") << QStringLiteral("елка") << 0;
    QTest::newRow("Russian alphabet") << QStringLiteral("Ель") << QStringLiteral("Жук") << -1;
    QTest::newRow("Я is last") << QStringLiteral("Ящик") << QStringLiteral("Юла") << 1;
    QTest::newRow("digits before letters") << QStringLiteral("1000 мелочей") << QStringLiteral("Аптека") << -1;
    QTest::newRow("digits in order") << QStringLiteral("2") << QStringLiteral("10") << 1;
    QTest::newRow("Latin before Cyrillic") << QStringLiteral("Яблоко") << QStringLiteral("Apple") << 1;
    QTest::newRow("Latin among itself") << QStringLiteral("apple") << QStringLiteral("Banana") << -1;
    QTest::newRow("punctuation before digits") << QStringLiteral("\"Уют\"") << QStringLiteral("1") << -1;
    QTest::newRow("space before letters") << QStringLiteral("Ап ") << QStringLiteral("Апа") << -1;
    QTest::newRow("prefix first") << QStringLiteral("Ап") << QStringLiteral("Апа") << -1;
    QTest::newRow("apostrophe counts") << QStringLiteral("О'Нил") << QStringLiteral("ОНил") << -1;
    QTest::newRow("accents do not count") << QStringLiteral("café") << QStringLiteral("CAFE") << 0;
    QTest::newRow("U+FFFF after everything") << QStringLiteral("Ап") + QChar(0xFFFF) << QStringLiteral("Апяяя") << 1;
    QTest::newRow("U+FFFF after Latin") << QStringLiteral("z") + QChar(0xFFFF) << QStringLiteral("zzz") << 1;
    QTest::newRow("empty first") << QString() << QStringLiteral(" ") << -1;
}

void TestCollation::order()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    const Collation& c = Collation::instance();
    QCOMPARE(sign(c.compare(a, b)), expected);
    QCOMPARE(sign(c.compare(b, a)), -expected);
    // The UTF-8 road gives the same key as the UTF-16 one.
    std::string fromUtf8;
    const QByteArray bytes = a.toUtf8();
    c.appendKey(std::string_view(bytes.constData(), std::size_t(bytes.size())), fromUtf8);
    QCOMPARE(fromUtf8, c.key(a));
}

// Keys built from the per-character table order texts exactly as ICU's own
// comparison does, also for texts that need ICU in full.
void TestCollation::keysAgreeWithIcu()
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* icu = ucol_open("ru", &status);
    QVERIFY(U_SUCCESS(status));
    ucol_setStrength(icu, UCOL_PRIMARY);
    ucol_setReorderCodes(icu, nullptr, 0, &status);

    const QString alphabet = QStringLiteral("аАбвеЕёЁжзийЙклмнопрстуфхцчшщъыьэюяЯ abcxyzABZ019'-.,\"«»№é")
        + QChar(0x0306) + QChar(0x0308) + QChar(0x00AD) + QStringLiteral("ßæ");
    QRandomGenerator random(12345);
    auto text = [&] {
        QString s;
        const int n = int(random.bounded(6));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(random.bounded(alphabet.size()));
        return s;
    };
    const Collation& c = Collation::instance();
    for (int i = 0; i < 20000; ++i) {
        const QString a = text();
        const QString b = text();
        const int expected = ucol_strcoll(icu, reinterpret_cast<const UChar*>(a.utf16()), int(a.size()),
            reinterpret_cast<const UChar*>(b.utf16()), int(b.size()));
        if (sign(c.compare(a, b)) != expected)
            QFAIL(qPrintable(QStringLiteral("«%1» against «%2»: ICU says %3").arg(a, b).arg(expected)));
    }
    ucol_close(icu);
}

// A key's head, read from as little of a long text as it takes, is the
// beginning of the whole key, on the quick road and through ICU alike.
void TestCollation::keyHeadIsTheKeysBeginning()
{
    const QString plain = QStringLiteral("аАбвеЕёЁжзийЙклмнопрстуфхцчшщъыьэюяЯ abcxyz019'-.,");
    const QString marks = QString(QChar(0x0306)) + QChar(0x0308) + QChar(0x00AD) + QStringLiteral("ßæé");
    QRandomGenerator random(777);
    const Collation& c = Collation::instance();
    for (int i = 0; i < 400; ++i) {
        const QString& from = i % 2 ? plain : plain + marks;
        QString text;
        const int n = int(random.bounded(i % 10 == 0 ? 20000 : 600));
        for (int k = 0; k < n; ++k)
            text += from.at(random.bounded(from.size()));
        const QByteArray bytes = text.toUtf8();
        const std::string_view utf8(bytes.constData(), std::size_t(bytes.size()));
        std::string whole;
        c.appendKey(utf8, whole);
        const std::size_t limit = random.bounded(i % 3 == 0 ? 4000 : 80);
        std::string head = "x"; // appended to what is there
        c.appendKeyHead(utf8, limit, head);
        head.erase(0, 1);
        QVERIFY(head.size() >= std::min(limit, whole.size()));
        QCOMPARE(head, whole.substr(0, head.size()));
    }
}

void TestCollation::upperBound_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bound");
    const QString beyond(QChar(0xFFFF));
    QTest::newRow("Ап") << QStringLiteral("Ап") << QStringLiteral("Ар");
    QTest::newRow("Ж") << QStringLiteral("Ж") << QStringLiteral("З");
    QTest::newRow("Є lies between Е and Ж") << QStringLiteral("Е") << QStringLiteral("Е") + beyond;
    QTest::newRow("a digit") << QStringLiteral("1") << QStringLiteral("2");
    QTest::newRow("Latin") << QStringLiteral("Compu") << QStringLiteral("Compv");
    QTest::newRow("Я gives а, which sorts first") << QStringLiteral("Я") << QStringLiteral("Я") + beyond;
    QTest::newRow("я has no next code") << QStringLiteral("Мая") << QStringLiteral("Мая") + beyond;
    QTest::newRow("z gives {") << QStringLiteral("z") << QStringLiteral("z") + beyond;
    QTest::newRow("9 gives :") << QStringLiteral("9") << QStringLiteral("9") + beyond;
    QTest::newRow("not in the code page") << QStringLiteral("日") << QStringLiteral("日") + beyond;
    QTest::newRow("quote") << QStringLiteral("О'") << QStringLiteral("О'") + beyond;
}

void TestCollation::upperBound()
{
    QFETCH(QString, text);
    QFETCH(QString, bound);
    QCOMPARE(namesearch::upperBound(text), bound);
}

void TestCollation::filterTexts()
{
    QCOMPARE(namesearch::prefixFilter(QStringLiteral("Ап"), QStringLiteral("Ар")),
        QStringLiteral("название>='Ап' and  название<'Ар'"));
    QCOMPARE(namesearch::prefixFilter(QStringLiteral("О'"), QStringLiteral("О'") + QChar(0xFFFF)),
        QStringLiteral("название>='О''' and  название<'О''") + QChar(0xFFFF) + QLatin1Char('\''));
    QCOMPARE(namesearch::categoryFilter(QStringLiteral("Аптека")), QStringLiteral("вид_деят='Аптека'"));
}

QTEST_GUILESS_MAIN(TestCollation)
#include "tst_collation.moc"
