// The committed pictures are what the generator in tools/pictures draws: a
// change to the artwork must come with its redrawn files
// (cmake --build build --target redraw_pictures).
#include "ui/widgets/PictureLoader.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString committed = QStringLiteral(SARWINO_SOURCE_DIR "/src/assets/pictures");

QStringList pictureFiles(const QString& folder)
{
    return QDir(folder).entryList(
        { QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.png") }, QDir::Files, QDir::Name);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPicturesRedraw : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void generatorMakesTheSameFiles();
    void committedPicturesMatchTheArtwork_data();
    void committedPicturesMatchTheArtwork();

private:
    QTemporaryDir m_out;
};

void TestPicturesRedraw::initTestCase()
{
    QVERIFY(m_out.isValid());
    QProcess generator;
    generator.setProcessChannelMode(QProcess::MergedChannels);
    generator.start(QStringLiteral(PICTURES_PATH), { m_out.path() });
    QVERIFY(generator.waitForFinished(120000));
    QVERIFY2(
        generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0, generator.readAll().constData());
}

void TestPicturesRedraw::generatorMakesTheSameFiles()
{
    QCOMPARE(pictureFiles(m_out.path()), pictureFiles(committed));
}

void TestPicturesRedraw::committedPicturesMatchTheArtwork_data()
{
    QTest::addColumn<QString>("file");
    for (const QString& file : pictureFiles(committed))
        QTest::newRow(qPrintable(file)) << file;
}

void TestPicturesRedraw::committedPicturesMatchTheArtwork()
{
    QFETCH(QString, file);
    const QByteArray before = contents(committed + QLatin1Char('/') + file);
    const QByteArray after = contents(m_out.filePath(file));
    QVERIFY(!before.isEmpty());
    QVERIFY2(!after.isEmpty(), "the generator did not draw it");
    if (before == after)
        return;
    // Another processor may round a few antialiased edges differently; the
    // picture must still be the same.
    QString error;
    const QImage a = PictureLoader::decode(file, before, &error).convertToFormat(QImage::Format_ARGB32);
    const QImage b = PictureLoader::decode(file, after, &error).convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!a.isNull() && !b.isNull(), qPrintable(error));
    QCOMPARE(b.size(), a.size());
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : { qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q) }) {
                worst = qMax(worst, qAbs(d));
                sum += qAbs(d);
            }
        }
    const double mean = sum / (a.width() * a.height() * 4.0);
    QVERIFY2(worst <= 24 && mean < 0.5,
        qPrintable(QStringLiteral("differs from its artwork (largest difference %1, mean %2): redraw the "
                                  "pictures with cmake --build build --target redraw_pictures")
                       .arg(worst)
                       .arg(mean)));
}

QTEST_GUILESS_MAIN(TestPicturesRedraw)
#include "tst_pictures_redraw.moc"
