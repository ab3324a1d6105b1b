// Tests of the bundled stand-in for "MS Sans Serif": that the name resolves to
// the bundled faces, that they cover the Cyrillic alphabet, and that the key
// label widths stay where the layouts were checked against, so a change of
// font or font file that would upset the windows is caught here.

#include "app/Fonts.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>
#include <QRect>
#include <QTest>

#include <algorithm>

namespace {

const QString bundledFamily = QStringLiteral("DejaVu Sans Condensed");

// How far a measured width may move from the one recorded below: rounding
// and hinting settings (full hinting rounds every advance) move a long
// caption by up to 2 % of its width, a short one by a pixel or two.
int widthTolerance(int width)
{
    return std::max(2, (width * 2 + 99) / 100);
}

QString text(const char16_t* s)
{
    return QString::fromUtf16(s);
}

bool sameFamily(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

class TestFonts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installReturnsTheBundledFamily();
    void replacedNamesResolveToTheBundledFaces_data();
    void replacedNamesResolveToTheBundledFaces();
    void msSansSerifHasTheRequestedSize();
    void coversCyrillic_data();
    void coversCyrillic();
    void keyWidths_data();
    void keyWidths();
    void spaceRunsCoverTheStopCaptions_data();
    void spaceRunsCoverTheStopCaptions();
    void wrappedAddRecordLabelTakesTwoLines();
};

void TestFonts::initTestCase()
{
    QCOMPARE(fonts::installSubstituteFont(), bundledFamily);
}

void TestFonts::installReturnsTheBundledFamily()
{
    // A second call changes nothing and gives the same answer.
    QCOMPARE(fonts::installSubstituteFont(), bundledFamily);
    // Qt keeps substitutions in lower case; family names match regardless.
    QVERIFY(sameFamily(QFont::substitute(QStringLiteral("MS Sans Serif")), bundledFamily));
    QVERIFY(sameFamily(QFont::substitute(QStringLiteral("Microsoft Sans Serif")), bundledFamily));
}

void TestFonts::replacedNamesResolveToTheBundledFaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("bold");
    QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif") << false;
    QTest::newRow("MS Sans Serif bold") << QStringLiteral("MS Sans Serif") << true;
    QTest::newRow("Microsoft Sans Serif") << QStringLiteral("Microsoft Sans Serif") << false;
    QTest::newRow("Microsoft Sans Serif bold") << QStringLiteral("Microsoft Sans Serif") << true;
}

void TestFonts::replacedNamesResolveToTheBundledFaces()
{
    QFETCH(QString, name);
    QFETCH(bool, bold);
    QFont font(name);
    font.setPixelSize(11);
    font.setBold(bold);
    const QFontInfo info(font);
    QCOMPARE(info.family(), bundledFamily);
    QCOMPARE(info.bold(), bold);
    QCOMPARE(info.pixelSize(), 11);
    // The bold request gets the real bold face, not an emboldened regular.
    QCOMPARE(info.styleName(), bold ? QStringLiteral("Condensed Bold") : QStringLiteral("Condensed"));
}

void TestFonts::msSansSerifHasTheRequestedSize()
{
    const QFont font = fonts::msSansSerif(13, true);
    QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(font.pixelSize(), 13);
    QVERIFY(font.bold());
    QCOMPARE(QFontInfo(font).family(), bundledFamily);

    const QFont plain = fonts::msSansSerif(11);
    QCOMPARE(plain.pixelSize(), 11);
    QVERIFY(!plain.bold());
}

void TestFonts::coversCyrillic_data()
{
    QTest::addColumn<bool>("bold");
    QTest::newRow("regular") << false;
    QTest::newRow("bold") << true;
}

void TestFonts::coversCyrillic()
{
    QFETCH(bool, bold);
    const QFont font = fonts::msSansSerif(11, bold);
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    QVERIFY2(sameFamily(raw.familyName(), bundledFamily), qPrintable(raw.familyName()));

    QString letters = text(u"ЁёЇїЄєІіЎў№«»–—");
    for (char16_t c = u'А'; c <= u'я'; ++c)
        letters += QChar(c);
    const QFontMetrics metrics(font);
    for (const QChar c : letters) {
        QVERIFY2(raw.supportsCharacter(c), qPrintable(QStringLiteral("no glyph for %1").arg(c)));
        QVERIFY2(metrics.inFont(c), qPrintable(QStringLiteral("%1 not in font").arg(c)));
    }
}

void TestFonts::keyWidths_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<int>("layoutWidth"); // the label's width in the window layout
    QTest::addColumn<int>("width"); // what the bundled font gave when chosen

    QTest::newRow("route 3") << text(u"Маршрут №3") << 11 << false << 65 << 68;
    QTest::newRow("route 5a") << text(u"Маршрут №5а ") << 11 << false << 74 << 77;
    QTest::newRow("route 10 extra") << text(u"Маршрут №10 (дополнительный)") << 11 << false << 165 << 174;
    QTest::newRow("space") << QStringLiteral(" ") << 11 << false << 3 << 3;
    QTest::newRow("send a letter") << text(u"Отправьте письмо по адресу: ") << 11 << false << 154 << 158;
    QTest::newRow("interval heading") << text(u"Интервал движения автобусов:") << 11 << true << 189 << 181;
    QTest::newRow("about subtitle") << text(u"предприятий и организаций г.Светлоборска") << 11 << true << 276 << 255;
    QTest::newRow("from the depot") << text(u"От диспетчерской") << 13 << true << 137 << 123;
    QTest::newRow("from the station") << text(u"От ж/д вокзала") << 13 << true << 114 << 105;
    QTest::newRow("about title") << text(u"Справочник ") << 16 << true << 107 << 104;
    QTest::newRow("heading Промышленность") << text(u"Промышленность") << 19 << true << 175 << 176;
    QTest::newRow("heading Муниципалитет") << text(u"Муниципалитет") << 19 << true << 156 << 156;
    QTest::newRow("heading Услуги") << text(u"Услуги") << 19 << true << 68 << 68;
}

void TestFonts::keyWidths()
{
    QFETCH(QString, caption);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    QFETCH(int, layoutWidth);
    QFETCH(int, width);

    const int measured = QFontMetrics(fonts::msSansSerif(pixelSize, bold)).horizontalAdvance(caption);
    const int tolerance = widthTolerance(width);
    QVERIFY2(qAbs(measured - width) <= tolerance,
        qPrintable(QStringLiteral("\"%1\" is %2 px wide, expected %3 ± %4 (layout width %5)")
                       .arg(caption)
                       .arg(measured)
                       .arg(width)
                       .arg(tolerance)
                       .arg(layoutWidth)));
}

void TestFonts::spaceRunsCoverTheStopCaptions_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("spaces");
    // The bus window's first line of times starts after a run of spaces
    // (8 pt regular) that has to clear the bold stop caption written over it;
    // the shortest runs used with each caption.
    QTest::newRow("from the depot") << text(u"От диспетчерской") << 46;
    QTest::newRow("from the station") << text(u"От ж/д вокзала") << 38;
}

void TestFonts::spaceRunsCoverTheStopCaptions()
{
    QFETCH(QString, caption);
    QFETCH(int, spaces);
    const int captionWidth = QFontMetrics(fonts::msSansSerif(13, true)).horizontalAdvance(caption);
    const int runWidth = QFontMetrics(fonts::msSansSerif(11)).horizontalAdvance(QString(spaces, QLatin1Char(' ')));
    QVERIFY2(runWidth >= captionWidth,
        qPrintable(
            QStringLiteral("%1 spaces are %2 px, the caption %3 px").arg(spaces).arg(runWidth).arg(captionWidth)));
}

void TestFonts::wrappedAddRecordLabelTakesTwoLines()
{
    const QFontMetrics metrics(fonts::msSansSerif(11));
    const QRect r = metrics.boundingRect(
        QRect(0, 0, 178, 1000), Qt::TextWordWrap, text(u"название фирмы, телефон, адрес, вид деятельности"));
    QCOMPARE(r.height(), 2 * metrics.lineSpacing());
    QVERIFY(r.width() <= 178);
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
