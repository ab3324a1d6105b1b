// The picture files the program carries, as compiled into its resources:
// the format, header and pixel size of each, the exact colours of the flat
// pictures and the border strip, the icon's transparency, and that each
// double-resolution version shows the same picture.
#include "../common/JpegSegments.h"

#include "ui/widgets/PictureLoader.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

namespace {

enum class Kind { Jpeg, ProgressiveJpeg, ExifJpeg, Bmp, Png };

QByteArray resource(const QString& file)
{
    QFile f(QStringLiteral(":/pictures/") + file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 le32(const QByteArray& data, int at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}
quint16 le16(const QByteArray& data, int at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

bool near(QRgb pixel, const QColor& expected, int tolerance)
{
    return qAbs(qRed(pixel) - expected.red()) <= tolerance && qAbs(qGreen(pixel) - expected.green()) <= tolerance
        && qAbs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QString describe(QRgb p)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p));
}

struct Entry {
    const char* name;
    Kind kind;
    int width, height;
};

const Entry entries[] = {
    { "dark_background.jpg", Kind::Jpeg, 10, 10 },
    { "light_background.jpg", Kind::Jpeg, 10, 10 },
    { "border_strip.jpg", Kind::Jpeg, 10, 7 },
    { "top_banner.jpg", Kind::Jpeg, 752, 102 },
    { "bottom_banner.jpg", Kind::ExifJpeg, 640, 100 },
    { "bus_banner.jpg", Kind::Jpeg, 468, 60 },
    { "mascot.bmp", Kind::Bmp, 89, 110 },
    { "credits.jpg", Kind::ProgressiveJpeg, 244, 98 },
    { "name_plate.jpg", Kind::Jpeg, 195, 30 },
    { "icon.png", Kind::Png, 32, 32 },
};

const QColor stripBands[7] = {
    { 101, 217, 250 },
    { 104, 216, 245 },
    { 102, 213, 242 },
    { 89, 208, 243 },
    { 80, 209, 253 },
    { 71, 204, 250 },
    { 73, 199, 239 },
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { PictureLoader::load(QStringLiteral("icon.png")); }

    void fileIsMadeAsTheProgramNeedsIt_data();
    void fileIsMadeAsTheProgramNeedsIt();
    void flatPicturesAreOneColour_data();
    void flatPicturesAreOneColour();
    void borderStripHasSevenBandsTopToBottom_data();
    void borderStripHasSevenBandsTopToBottom();
    void mascotStandsOnSkyBlue();
    void iconIsTransparentAroundTheFigure_data();
    void iconIsTransparentAroundTheFigure();
    void doubleVersionShowsTheSamePicture_data();
    void doubleVersionShowsTheSamePicture();
};

void TestPictures::fileIsMadeAsTheProgramNeedsIt_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const Entry& e : entries) {
        const QString name = QString::fromLatin1(e.name);
        QTest::newRow(e.name) << name << e.kind << e.width << e.height;
        const QString doubled = PictureLoader::resourcePath(name, 2).mid(QStringLiteral(":/pictures/").size());
        QTest::newRow(qPrintable(doubled)) << doubled << e.kind << e.width * 2 << e.height * 2;
    }
}

void TestPictures::fileIsMadeAsTheProgramNeedsIt()
{
    QFETCH(QString, file);
    QFETCH(Kind, kind);
    QFETCH(int, width);
    QFETCH(int, height);
    const QByteArray data = resource(file);
    QVERIFY2(!data.isEmpty(), "not in the resources");

    switch (kind) {
    case Kind::Jpeg:
    case Kind::ProgressiveJpeg:
    case Kind::ExifJpeg: {
        const QVector<JpegSegment> segments = jpegSegments(data);
        QVERIFY2(!segments.isEmpty(), "not a well-formed JPEG file");
        QVERIFY(data.endsWith(QByteArray("\xFF\xD9", 2)));
        // The first segment after SOI is the header: JFIF, or Exif in its place.
        if (kind == Kind::ExifJpeg) {
            QCOMPARE(segments.first().marker, quint8(0xE1));
            QVERIFY(segments.first().payload.startsWith(QByteArray("Exif\0\0", 6)));
            const QByteArray tiff = segments.first().payload.mid(6);
            QVERIFY(tiff.startsWith(QByteArray("II*\0", 4)) || tiff.startsWith(QByteArray("MM\0*", 4)));
            QVERIFY2(!findSegment(segments, 0xE0), "an Exif file without a JFIF header");
        } else {
            QCOMPARE(segments.first().marker, quint8(0xE0));
            QVERIFY(segments.first().payload.startsWith(QByteArray("JFIF\0", 5)));
        }
        const quint8 frameMarker = kind == Kind::ProgressiveJpeg ? 0xC2 : 0xC0;
        const quint8 otherMarker = kind == Kind::ProgressiveJpeg ? 0xC0 : 0xC2;
        const JpegSegment* frame = findSegment(segments, frameMarker);
        QVERIFY2(frame, kind == Kind::ProgressiveJpeg ? "no progressive frame (SOF2)" : "no baseline frame (SOF0)");
        QVERIFY(!findSegment(segments, otherMarker));
        QCOMPARE(quint8(frame->payload[0]), quint8(8)); // bits per sample
        QCOMPARE(frameWidth(*frame), width);
        QCOMPARE(frameHeight(*frame), height);
        QCOMPARE(quint8(frame->payload[5]), quint8(3)); // three colour components
        break;
    }
    case Kind::Bmp: {
        QVERIFY(data.size() >= 66);
        QVERIFY(data.startsWith("BM"));
        QCOMPARE(le32(data, 2), quint32(data.size()));
        const quint32 stride = (quint32(width) * 2 + 3) & ~3u;
        QCOMPARE(le32(data, 10), quint32(66)); // pixels after the headers and the three masks
        QCOMPARE(le32(data, 14), quint32(40)); // BITMAPINFOHEADER
        QCOMPARE(qint32(le32(data, 18)), width);
        QCOMPARE(qint32(le32(data, 22)), height); // positive: rows bottom-up
        QCOMPARE(le16(data, 26), quint16(1));
        QCOMPARE(le16(data, 28), quint16(16));
        QCOMPARE(le32(data, 30), quint32(3)); // BI_BITFIELDS
        QCOMPARE(le32(data, 34), stride * quint32(height));
        QCOMPARE(le32(data, 54), quint32(0x7C00));
        QCOMPARE(le32(data, 58), quint32(0x03E0));
        QCOMPARE(le32(data, 62), quint32(0x001F));
        QCOMPARE(quint32(data.size()), 66 + stride * quint32(height));
        break;
    }
    case Kind::Png: {
        QVERIFY(data.startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(qFromBigEndian<quint32>(data.constData() + 16), quint32(width));
        QCOMPARE(qFromBigEndian<quint32>(data.constData() + 20), quint32(height));
        QCOMPARE(quint8(data[24]), quint8(8)); // bits per channel
        QCOMPARE(quint8(data[25]), quint8(6)); // colour with alpha
        break;
    }
    }

    // And the program decodes it to that size.
    QString error;
    const QImage image = PictureLoader::decode(file, data, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(width, height));
}

void TestPictures::flatPicturesAreOneColour_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("dark") << QStringLiteral("dark_background.jpg") << QColor(8, 13, 55);
    QTest::newRow("light") << QStringLiteral("light_background.jpg") << QColor(186, 242, 253);
}

void TestPictures::flatPicturesAreOneColour()
{
    QFETCH(QString, file);
    QFETCH(QColor, colour);
    for (int scale : { 1, 2 }) {
        const QImage image = PictureLoader::load(file, scale);
        QVERIFY(!image.isNull());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(near(image.pixel(x, y), colour, 1),
                    qPrintable(QStringLiteral("%1x pixel (%2, %3) is %4")
                                   .arg(scale)
                                   .arg(x)
                                   .arg(y)
                                   .arg(describe(image.pixel(x, y)))));
    }
}

void TestPictures::borderStripHasSevenBandsTopToBottom_data()
{
    QTest::addColumn<int>("scale");
    QTest::newRow("plain") << 1;
    QTest::newRow("@2x") << 2;
}

void TestPictures::borderStripHasSevenBandsTopToBottom()
{
    QFETCH(int, scale);
    const QImage strip = PictureLoader::load(QStringLiteral("border_strip.jpg"), scale);
    QCOMPARE(strip.size(), QSize(10, 7) * scale);
    for (int y = 0; y < strip.height(); ++y) {
        for (int x = 0; x < strip.width(); ++x) {
            QVERIFY2(near(strip.pixel(x, y), stripBands[y / scale], 2),
                qPrintable(QStringLiteral("pixel (%1, %2) is %3, band %4")
                               .arg(x)
                               .arg(y)
                               .arg(describe(strip.pixel(x, y)))
                               .arg(y / scale)));
        }
    }
}

void TestPictures::mascotStandsOnSkyBlue()
{
    for (int scale : { 1, 2 }) {
        const QImage mascot = PictureLoader::load(QStringLiteral("mascot.bmp"), scale);
        QCOMPARE(mascot.size(), QSize(89, 110) * scale);
        // Five bits a colour: each level is within 4 of the 8-bit one.
        const QColor ground(180, 238, 255);
        for (const QPoint& p : { QPoint(0, 0), QPoint(mascot.width() - 1, 0), QPoint(0, mascot.height() - 1),
                 QPoint(mascot.width() - 1, mascot.height() - 1) }) {
            QVERIFY2(near(mascot.pixel(p), ground, 4), qPrintable(describe(mascot.pixel(p))));
        }
        // Rows run bottom-up in the file: the feet are at the bottom, the
        // sky blue at the top.
        int groundTop = 0, groundBottom = 0;
        for (int x = 0; x < mascot.width(); ++x) {
            groundTop += near(mascot.pixel(x, 2 * scale), ground, 4);
            groundBottom += near(mascot.pixel(x, mascot.height() - 12 * scale), ground, 4);
        }
        QVERIFY2(groundTop > groundBottom, "the mascot stands upside down");
    }
}

void TestPictures::iconIsTransparentAroundTheFigure_data()
{
    QTest::addColumn<int>("scale");
    QTest::newRow("32") << 1;
    QTest::newRow("64") << 2;
}

void TestPictures::iconIsTransparentAroundTheFigure()
{
    QFETCH(int, scale);
    const QImage icon = PictureLoader::load(QStringLiteral("icon.png"), scale);
    QCOMPARE(icon.size(), QSize(32, 32) * scale);
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(0, icon.height() - 1)), 0);
    int opaque = 0, clear = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) {
            const int a = qAlpha(icon.pixel(x, y));
            opaque += a == 255;
            clear += a == 0;
        }
    const int all = icon.width() * icon.height();
    QVERIFY2(
        opaque > all / 4 && clear > all / 4, qPrintable(QStringLiteral("%1 opaque, %2 clear").arg(opaque).arg(clear)));
}

void TestPictures::doubleVersionShowsTheSamePicture_data()
{
    QTest::addColumn<QString>("file");
    for (const Entry& e : entries)
        QTest::newRow(e.name) << QString::fromLatin1(e.name);
}

void TestPictures::doubleVersionShowsTheSamePicture()
{
    QFETCH(QString, file);
    const QImage plain = PictureLoader::load(file, 1).convertToFormat(QImage::Format_ARGB32);
    const QImage doubled = PictureLoader::load(file, 2)
                               .convertToFormat(QImage::Format_ARGB32)
                               .scaled(plain.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(doubled.size(), plain.size());
    double difference = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb a = plain.pixel(x, y), b = doubled.pixel(x, y);
            difference += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b))
                + qAbs(qAlpha(a) - qAlpha(b));
        }
    difference /= plain.width() * plain.height() * 4.0;
    QVERIFY2(difference < 10, qPrintable(QStringLiteral("mean difference %1 per channel").arg(difference)));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
