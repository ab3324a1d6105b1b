// Picture controls: every picture a window layout names is in the
// resources; a stretched flat picture stays one colour at any size; a picture
// at natural size is clipped and leaves the rest of its control to what lies
// beneath; on a scaled screen the double-resolution picture is drawn.
#include "../../common/PixelCheck.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/PictureLoader.h"

#include <QApplication>
#include <QDirIterator>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

using namespace pixels;

class TestPictureBox : public QObject {
    Q_OBJECT

private slots:
    void everyNamedPictureIsInTheResources_data();
    void everyNamedPictureIsInTheResources();
    void stretchedFlatPictureIsUniform();
    void naturalSizeLeavesTheRestToWhatLiesBeneath();
    void unknownNameKeepsTheFill();
    void doublePictureIsChosenAboveRatioOne();
    void scaledScreenDrawsTheDoublePicture();
};

void TestPictureBox::everyNamedPictureIsInTheResources_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const QRegularExpression picture(
        QStringLiteral(
            R"re(<widget class="PictureBox" name="(\w+)">(?:(?!</widget>).)*?<property name="pictureName"><string>([^<]*)</string>)re"),
        QRegularExpression::DotMatchesEverythingOption);
    QDirIterator layouts(QStringLiteral(SARWINO_SOURCE_DIR "/src/ui"), { QStringLiteral("*.ui") }, QDir::Files,
        QDirIterator::Subdirectories);
    int count = 0;
    while (layouts.hasNext()) {
        QFile file(layouts.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = picture.globalMatch(text); m.hasNext(); ++count) {
            const auto match = m.next();
            const QString row = QFileInfo(file.fileName()).baseName() + QLatin1Char('.') + match.captured(1);
            QTest::newRow(qPrintable(row)) << file.fileName() << match.captured(1) << match.captured(2);
        }
    }
    // The main window alone names ten.
    QVERIFY2(count >= 11, qPrintable(QString::number(count)));
}

void TestPictureBox::everyNamedPictureIsInTheResources()
{
    QFETCH(QString, name);
    QVERIFY2(!PictureLoader::load(name, 1).isNull(), qPrintable(name));
    const QImage doubled = PictureLoader::load(name, 2);
    QVERIFY2(!doubled.isNull(), "no double-resolution version");
    QCOMPARE(doubled.size(), PictureLoader::load(name, 1).size() * 2);
}

// The bus timetable window's background: 10 × 10 pixels over 681 × 489.
void TestPictureBox::stretchedFlatPictureIsUniform()
{
    PictureBox box;
    box.resize(681, 489);
    box.setStretch(true);
    box.setPictureName(QStringLiteral("dark_background.jpg"));
    const QImage shot = box.grab().toImage();
    QCOMPARE(shot.size(), QSize(681, 489) * shot.devicePixelRatio());
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
            QVERIFY2(near(shot.pixel(x, y), QColor(8, 13, 55), 1),
                qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(describe(shot.pixel(x, y)))));
}

// The bus banner is 468 pixels wide in a 469-pixel control.
void TestPictureBox::naturalSizeLeavesTheRestToWhatLiesBeneath()
{
    QWidget window;
    window.resize(681, 489);
    window.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(255, 0, 255));
    window.setPalette(palette);
    auto* box = new PictureBox(&window);
    box->setGeometry(104, 0, 469, 60);
    box->setStretch(false);
    box->setPictureName(QStringLiteral("bus_banner.jpg"));
    const QImage banner = PictureLoader::load(QStringLiteral("bus_banner.jpg"));
    QCOMPARE(banner.size(), QSize(468, 60));
    // In device pixels: a scaled screen draws the double picture.
    const QImage shot = window.grab().toImage();
    const int r = qRound(shot.devicePixelRatio());
    const QImage drawn = box->pictureFor(r);
    QCOMPARE(drawn.size(), banner.size() * r);
    for (int y = 0; y < 60 * r; ++y) {
        QVERIFY2(near(shot.pixel((104 + 468) * r, y), QColor(255, 0, 255), 0),
            qPrintable(describe(shot.pixel((104 + 468) * r, y))));
        QVERIFY2(near(shot.pixel((104 + 468) * r - 1, y), drawn.pixelColor(468 * r - 1, y), 1),
            qPrintable(QString::number(y)));
        QVERIFY2(near(shot.pixel(104 * r, y), drawn.pixelColor(0, y), 1), qPrintable(QString::number(y)));
    }
    QVERIFY(near(shot.pixel(300 * r, 60 * r), QColor(255, 0, 255), 0));
}

void TestPictureBox::unknownNameKeepsTheFill()
{
    PictureBox box;
    box.resize(20, 20);
    box.setFillColor(QColor(10, 200, 30));
    QTest::ignoreMessage(QtWarningMsg, "The picture :/pictures/no_such_picture.jpg is not in the program's resources");
    box.setPictureName(QStringLiteral("no_such_picture.jpg"));
    QVERIFY(box.picture().isNull());
    QCOMPARE(box.grab().toImage().pixelColor(10, 10), QColor(10, 200, 30));
}

void TestPictureBox::doublePictureIsChosenAboveRatioOne()
{
    PictureBox box;
    box.setPictureName(QStringLiteral("top_banner.jpg"));
    QCOMPARE(box.pictureFor(1).size(), QSize(752, 102));
    QCOMPARE(box.pictureFor(2).size(), QSize(1504, 204));
    QCOMPARE(box.pictureFor(2).devicePixelRatio(), 2.0);
    QCOMPARE(box.pictureFor(1.5).size(), QSize(1504, 204));
    // A picture set directly has no double version.
    QImage plain(5, 5, QImage::Format_RGB32);
    plain.fill(Qt::red);
    box.setPicture(plain);
    QCOMPARE(box.pictureFor(2).size(), QSize(5, 5));
    QVERIFY(box.pictureName().isEmpty());
}

// Run with QT_SCALE_FACTOR=2 (its own CTest entry); skipped at 1x.
void TestPictureBox::scaledScreenDrawsTheDoublePicture()
{
    if (qApp->devicePixelRatio() < 2)
        QSKIP("needs a screen scaled by 2 (QT_SCALE_FACTOR=2)");
    PictureBox mascot;
    mascot.resize(89, 110);
    mascot.setStretch(false);
    mascot.setPictureName(QStringLiteral("mascot.bmp"));
    const QImage shot = mascot.grab().toImage();
    QCOMPARE(shot.size(), QSize(178, 220));
    const QImage sharp = PictureLoader::load(QStringLiteral("mascot.bmp"), 2);
    QVERIFY2(meanDifference(shot, sharp) < 0.5, qPrintable(QString::number(meanDifference(shot, sharp))));

    PictureBox banner;
    banner.resize(753, 89);
    banner.setPictureName(QStringLiteral("top_banner.jpg"));
    const QImage stretched = banner.grab().toImage();
    QCOMPARE(stretched.size(), QSize(1506, 178));
    const QImage fromSharp = PictureLoader::load(QStringLiteral("top_banner.jpg"), 2)
                                 .scaled(stretched.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage fromPlain = PictureLoader::load(QStringLiteral("top_banner.jpg"), 1)
                                 .scaled(stretched.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(meanDifference(stretched, fromSharp) < meanDifference(stretched, fromPlain) / 2,
        qPrintable(QStringLiteral("%1 against %2")
                       .arg(meanDifference(stretched, fromSharp))
                       .arg(meanDifference(stretched, fromPlain))));
}

QTEST_MAIN(TestPictureBox)
#include "tst_picturebox.moc"
