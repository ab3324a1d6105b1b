// The JPEG decoder on the kinds of file the program carries (baseline,
// progressive, with an Exif block instead of JFIF), checked against Qt's own
// JPEG reader, and on damaged files, which must give an error and no picture.
#include "../../common/JpegSegments.h"

#include "ui/widgets/JpegDecoder.h"
#include "ui/widgets/PictureLoader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>

#include <algorithm>

namespace {

QByteArray resource(const char* file)
{
    PictureLoader::load(QStringLiteral("icon.png")); // registers the resources
    QFile f(QStringLiteral(":/pictures/") + QLatin1String(file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The offset of the first entropy-coded byte (after the SOS segment).
qsizetype scanStart(const QByteArray& jpeg)
{
    const QVector<JpegSegment> segments = jpegSegments(jpeg);
    const JpegSegment* sos = findSegment(segments, 0xDA);
    return sos ? sos->offset + 4 + sos->payload.size() : -1;
}

QByteArray patched(QByteArray data, qsizetype at, const QByteArray& bytes)
{
    data.replace(at, bytes.size(), bytes);
    return data;
}

// A copy with the start-of-frame segment's payload byte `index` set.
QByteArray withFrameByte(const QByteArray& jpeg, int index, quint8 value)
{
    const JpegSegment* frame = findSegment(jpegSegments(jpeg), 0xC0);
    Q_ASSERT(frame);
    return patched(jpeg, frame->offset + 4 + index, QByteArray(1, char(value)));
}

// Largest difference of any channel between two RGB pictures.
int largestDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst
                = std::max({ worst, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)) });
        }
    return worst;
}

} // namespace

class TestJpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesLikeQtsReader_data();
    void decodesLikeQtsReader();
    void greyPictureComesOutAsRgb();
    void damagedFileGivesAnError_data();
    void damagedFileGivesAnError();
    void decoderWorksAgainAfterAnError();
};

void TestJpegDecoder::decodesLikeQtsReader_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("size");
    QTest::newRow("baseline") << resource("top_banner.jpg") << QSize(752, 102);
    QTest::newRow("progressive") << resource("credits.jpg") << QSize(244, 98);
    QTest::newRow("Exif instead of JFIF") << resource("bottom_banner.jpg") << QSize(640, 100);
    QTest::newRow("4:4:4, tiny") << resource("border_strip.jpg") << QSize(10, 7);
    QTest::newRow("progressive @2x") << resource("credits@2x.jpg") << QSize(488, 196);
}

void TestJpegDecoder::decodesLikeQtsReader()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    QVERIFY(!file.isEmpty());
    JpegDecoder decoder;
    const QImage image = decoder.decode(file);
    QVERIFY2(!image.isNull(), qPrintable(decoder.error()));
    QVERIFY(decoder.error().isEmpty());
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB888);

    QBuffer buffer(&file);
    QImageReader qt(&buffer, "jpeg");
    if (!qt.canRead())
        QSKIP("Qt's JPEG reader is not installed");
    const QImage reference = qt.read().convertToFormat(QImage::Format_RGB888);
    QCOMPARE(reference.size(), size);
    // Both go through libjpeg; only the upsampling and colour conversion
    // settings could differ.
    QVERIFY2(
        largestDifference(image, reference) <= 2, qPrintable(QString::number(largestDifference(image, reference))));
}

void TestJpegDecoder::greyPictureComesOutAsRgb()
{
    QImage grey(16, 8, QImage::Format_Grayscale8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            grey.scanLine(y)[x] = uchar(x * 16);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    if (!writer.write(grey))
        QSKIP("Qt's JPEG writer is not installed");
    JpegDecoder decoder;
    const QImage image = decoder.decode(bytes);
    QVERIFY2(!image.isNull(), qPrintable(decoder.error()));
    QCOMPARE(image.format(), QImage::Format_RGB888);
    for (int x = 0; x < 16; ++x) {
        const QRgb p = image.pixel(x, 4);
        QCOMPARE(qRed(p), qGreen(p));
        QCOMPARE(qGreen(p), qBlue(p));
        QVERIFY(qAbs(qRed(p) - x * 16) <= 2);
    }
}

void TestJpegDecoder::damagedFileGivesAnError_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    const QByteArray banner = resource("top_banner.jpg");
    const QByteArray credits = resource("credits.jpg");
    const qsizetype scan = scanStart(banner);
    QVERIFY(scan > 0);

    QTest::newRow("empty") << QByteArray() << "Empty";
    QTest::newRow("not a JPEG file") << resource("icon.png") << "Not a JPEG file";
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2) << "";
    QTest::newRow("cut in the headers") << banner.left(120) << "";
    QTest::newRow("cut in the scan") << banner.left(banner.size() / 2) << "Premature end";
    QTest::newRow("end marker missing") << banner.chopped(2) << "Premature end";
    QTest::newRow("progressive, cut") << credits.left(credits.size() * 3 / 5) << "Premature end";
    QTest::newRow("end marker in the scan") << patched(banner, scan + 2000, QByteArray("\xFF\xD9", 2)) << "";
    QTest::newRow("stray marker in the scan")
        << patched(banner, scan + 1000, QByteArray("\xFF\xD3\xFF\xD5", 4)) << "Corrupt JPEG data";
    QTest::newRow("zero width") << withFrameByte(withFrameByte(banner, 3, 0), 4, 0) << "";
    // 4097 × 4096: within libjpeg's limits, over the decoder's.
    QTest::newRow("too large to decode") << withFrameByte(
        withFrameByte(withFrameByte(withFrameByte(banner, 1, 0x10), 2, 0x01), 3, 0x10), 4, 0x00)
                                         << "too large";
    QTest::newRow("12-bit samples") << withFrameByte(banner, 0, 12) << "precision";
    QTest::newRow("no components") << withFrameByte(banner, 5, 0) << "";
}

void TestJpegDecoder::damagedFileGivesAnError()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    JpegDecoder decoder;
    const QImage image = decoder.decode(file);
    QVERIFY(image.isNull());
    QVERIFY(!decoder.error().isEmpty());
    if (!message.isEmpty())
        QVERIFY2(decoder.error().contains(message, Qt::CaseInsensitive), qPrintable(decoder.error()));
}

void TestJpegDecoder::decoderWorksAgainAfterAnError()
{
    const QByteArray banner = resource("top_banner.jpg");
    JpegDecoder decoder;
    QVERIFY(decoder.decode(banner.left(banner.size() / 3)).isNull());
    const QImage image = decoder.decode(banner);
    QVERIFY2(!image.isNull(), qPrintable(decoder.error()));
    QVERIFY(decoder.error().isEmpty());
}

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "tst_jpegdecoder.moc"
